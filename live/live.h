// SPDX-License-Identifier: GPL-3.0-or-later
// Live readings: timer-driven polling and the presentation of values by display mode.
#pragma once

extern int hol;      // live polling enabled: P1_TIMER polls while it is 1
extern int fehlx;    // the last live poll failed
extern int Label_H;  // module-type digit: set[12] % 10

// Live polling on (1) or off (0).
void hol_setzen(int on);
int timer1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// One live poll: u1..u6 and m2.
void holen();

// Applies the display mode of P1_MODE and the layout for the module type set[12].
void dimzpoint();
int dimmen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Digits after the point of P1_O2 by the size of the main reading, in display mode 1.
void dezimalpunkt();
// Digits after the point for a reading in display mode 1: 0 from 100 on, 1 from 10, 2 from 1,
// 3 below (negative readings included).
int digits_by_size(double r);
