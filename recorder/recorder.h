// SPDX-License-Identifier: GPL-3.0-or-later
// Strip-chart recorder: recorder control, sampling step and recording file.
#pragma once

constexpr int kWindow = 500;  // samples in the recorder's window

extern double abtast;           // sampling interval [s]
extern int was[2];              // was[0]: y autoscale (non-zero on); was[1]: carried in the settings file only
extern double skl[4];           // skl[0], skl[1]: y minimum and maximum; skl[2], skl[3]: carried only
extern int plot;                // recording running
extern int speichern;           // recording file open
extern unsigned char wat;       // display mode taken at the start of a recording
extern double tstart;           // Timer() at the start [s]
extern int xmin, xmax;          // x-axis range [whole s]
extern int mpoint;              // slot for the next sample
extern double mzeit;            // seconds from tstart to this sample
extern double mw;               // value of this sample
extern char mw_buf[32];         // value text shown in PSC_VALUE
extern double g1wert[kWindow];  // window values
extern int xsec[kWindow];       // window times [whole s]
extern int filedat;             // handle of the recording file
extern char d_dat[260];         // path of the recording file

// The recorder's settings as the settings file gives them.
void recorder_einstellen(double interval, const int autoscale[2], const double scale[4]);

void stripch(int menuBar, int menuItem, void* callbackData, int panel);
int skalieren(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int m_run(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int m_stop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int endSC(int panel, int event, void* callbackData, int eventData1, int eventData2);
void faerben(int running);

int timer2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void plotten();
void messwert();
// The value text of display mode `mode` for `value`, as messwert builds it.
void werttext(char (&out)[32], double value, int mode);
// The graph back to its full view, the Follow light on.
void ansicht_folgen();
// A recording that runs ends now, by `endedBy` (its recording-stop event); nothing else changes.
void recording_ended(const char* endedBy);
// Recordings started since the program began.
int recorder_starts();

void speichern_starten();

// [recording] resume of the watch file: a ResumeMode.
void recorder_resume_mode(int mode);
// The port confirmed: under "always", the cut-off recording goes on without asking.
void recorder_link_up();
// The Resume recording button shown or hidden as the offer and the panel's room stand.
void resume_offer_show();
int fortsetzen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
