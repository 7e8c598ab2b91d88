// Recorded-file viewer: loads, thins and plots a recording file.
#pragma once

constexpr int kViewerPoints = 1000;  // slots of the viewer's arrays

extern char o_dat[260];  // path of the viewed file
extern int file_o;       // handle of the viewed file while it is read

int oeffnen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void darstellen();
