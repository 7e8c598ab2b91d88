// SPDX-License-Identifier: GPL-3.0-or-later
// Module configuration: reading and writing the module's settings, zero-point calibration.
#pragma once

extern int solltemp;  // set-point temperature shown: set[3] * 10

// Settings read: s0..s8, t12, d1..d3, then the panel is filled.
void holset();
// Settings write: D1..D3, S0, S8, S!S!, then the settings read.
void stset();
int setsp(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Settings word helpers: the composed word for the panel's flags and mode, and the mode a
// word holds.
int settings_word(int word, int flag0, int flag1, int flag3, int mode);
int mode_of_word(int word);

int nullen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int setzen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int st_pumpe(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void stpumpe();
