// SPDX-License-Identifier: GPL-3.0-or-later
// Recorded-file viewer: loads, thins and plots a recording file.
#pragma once

constexpr int kViewerPoints = 1000;  // slots of the viewer's arrays

extern char o_dat[260];  // path of the viewed file
extern int file_o;       // handle of the viewed file while it is read

class Pass;
struct HalvesPlan;
struct RecordingInfo;

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
// the least and greatest value of each drawn group in lo and hi (1000 slots each). Each group
// is a step of the progress (ProgressStep, the share of a file of `size` bytes); -1 when the
// operator cancelled.
int lesen(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi,
          long long size = 0);
// The file's remaining lines into `pass`, in groups of `step` lines, each a step of the
// progress; false when the operator cancelled.
bool lesen_rest(int file, long long step, Pass* pass, long long size = 0);
// The whole load: what lesen with a pass and then lesen_rest read, a long file's stretch of
// recorder lines read in two halves at once (as `plan` says); the count, or -1 when the
// operator cancelled.
int lesen_ganz(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi,
               long long size);
int lesen_ganz(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi,
               long long size, const HalvesPlan& plan);
// The display mode whose value text a recording's values take: its unit's, else its own.
int recording_mode(const RecordingInfo& info);
// The unit of the viewed file on the graph, by its recording info; kFeedUnknown without.
int viewed_unit();
// "Export CSV…": the viewed file, or the range in view, as a table.
int exportieren(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// "Elapsed / Clock time": the x axis of a viewed file with its info.
int zeitachse(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// An event of the feed: at a recording's start the graph leaves the viewed file (elapsed
// seconds, no note, no toggle, no export).
void viewer_event(const char* kind, const char* details);
