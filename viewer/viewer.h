// SPDX-License-Identifier: GPL-3.0-or-later
// Recorded-file viewer: loads, thins and plots a recording file.
#pragma once

constexpr int kViewerPoints = 1000;  // slots of the viewer's arrays

extern char o_dat[260];  // path of the viewed file
extern int file_o;       // handle of the viewed file while it is read

int oeffnen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void darstellen();
// Reads groups of `step` lines from `file` into time and value (1000 slots each), the last
// line of each group; returns the points to draw (998 when all 999 groups were read).
int lesen(int file, long long step, double* time, double* value);
