// SPDX-License-Identifier: GPL-3.0-or-later
// Recorded-file viewer: loads, thins and plots a recording file.
#pragma once

constexpr int kViewerPoints = 1000;  // slots of the viewer's arrays

extern char o_dat[260];  // path of the viewed file
extern int file_o;       // handle of the viewed file while it is read

class Pass;

int oeffnen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void darstellen();
// The recorder graph's callback: the cursor readout, the Follow light and, for a viewed file,
// a closer look when the operator zooms or pans and the whole file again at the full view.
int grafik(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// "Reset view": the graph back to its full view.
int ansicht(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Reads groups of `step` lines from `file` into time and value (1000 slots each), the last
// line of each group; returns the points to draw (998 when all 999 groups were read).
int lesen(int file, long long step, double* time, double* value);
// The same, with every line read also going to `pass`, each group in a group of its own, and
// the least and greatest value of each drawn group in lo and hi (1000 slots each).
int lesen(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi);
// The file's remaining lines into `pass`, in groups of `step` lines.
void lesen_rest(int file, long long step, Pass* pass);
