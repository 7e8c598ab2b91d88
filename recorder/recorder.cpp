// SPDX-License-Identifier: GPL-3.0-or-later
// The strip-chart recorder: control of the recorder panel, the timed sample with its
// 500-point window, and the recording file.
#include "recorder.h"

#include "feed.h"
#include "handles.h"
#include "info.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "protocol.h"
#include "recording_line.h"
#include "resume.h"
#include "ui.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

double abtast = 1.0;
int was[2] = {1, 1};
double skl[4] = {0.0, 10.0, 0.0, 10.0};
int plot;
int speichern;
unsigned char wat;
double tstart;
int xmin, xmax;
int mpoint;
double mzeit;
double mw;
char mw_buf[32];
double g1wert[kWindow];
int xsec[kWindow];
int filedat;
char d_dat[kMaxPathname];

static int starts;
static long long samples;   // taken in the current recording
static RecordingInfo info;  // of the recording to a file that runs
static void info_save();

constexpr int kColourRunning = 0x800000;  // dark red
constexpr int kColourIdle = 0x008000;     // dark green
constexpr int kColourOff = 0xA0A0A0;      // grey
constexpr int kColourPlot = 0x0000FF;     // blue
constexpr double kSamplePause = 0.05;     // [s] after each sample

// A double truncated toward zero into an int; values beyond the int range saturate
// instead of being undefined.
static int to_int(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

// ----- recorder control ------------------------------------------------------------------------

void faerben(int running) {
    SetCtrlAttribute(psc, PSC_IDLE_CTRL, ATTR_DIMMED, running ? 1 : 0);
    SetCtrlAttribute(psc, PSC_VALUE, ATTR_DIMMED, running ? 0 : 1);
    SetCtrlAttribute(psc, PSC_IDLE_INDICATOR, ATTR_COLOR, running ? kColourOff : kColourIdle);
    SetCtrlAttribute(psc, PSC_RUN_INDICATOR, ATTR_COLOR, running ? kColourRunning : kColourOff);
}

void recorder_einstellen(double interval, const int autoscale[2], const double scale[4]) {
    abtast = interval;
    was[0] = autoscale[0];
    was[1] = autoscale[1];
    for (int i = 0; i < 4; ++i) skl[i] = scale[i];
}

static void offer_resume();

void stripch(int, int, void*, int) {
    DisplayPanel(psc);
    offer_resume();
    SetCtrlVal(psc, PSC_INTERVAL, abtast);
    SetCtrlVal(psc, PSC_YMIN, skl[0]);
    SetCtrlVal(psc, PSC_YMAX, skl[1]);
    SetCtrlVal(psc, PSC_AUTOSCALE, was[0]);
}

int skalieren(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    double before = abtast;
    GetCtrlVal(psc, PSC_INTERVAL, &abtast);
    SetCtrlAttribute(psc, PSC_TIMER, ATTR_INTERVAL, abtast);
    if (plot && speichern && abtast != before) {
        info.changes.push_back({samples, abtast});
        info_save();
    }
    GetCtrlVal(psc, PSC_YMIN, &skl[0]);
    GetCtrlVal(psc, PSC_YMAX, &skl[1]);
    GetCtrlVal(psc, PSC_AUTOSCALE, &was[0]);
    SetAxisScalingMode(psc, PSC_GRAPH, 1, was[0] ? 1 : 0, skl[0], skl[1]);
    return 0;
}


// A recording's start or stop to the feed.
static void recording_event(const char* kind, const char* endedBy) {
    char details[kMaxPathname + 160];
    if (endedBy)
        Fmt(details, "file=%s samples=%d ended_by=%s", speichern ? d_dat : "", static_cast<int>(samples), endedBy);
    else
        Fmt(details, "file=%s interval_s=%f display_mode=%d unit=%s", speichern ? d_dat : "", abtast,
            static_cast<int>(wat), unit_name(feed_unit()));
    feed_event(kind, details);
}

int recorder_starts() { return starts; }

// ----- recording info ----------------------------------------------------------------------------

static void info_save() {
    if (info_write(d_dat, info) != 0) {
        char details[kMaxPathname + 32];
        Fmt(details, "file=%s%s not written", d_dat, kInfoSuffix);
        feed_event("recording-info", details);
    }
}

// The info of a recording to a file that starts at `unixMs`.
static void info_begin(long long unixMs) {
    info = RecordingInfo{};
    char at[64];
    LocalTimeTextAt(unixMs, at, sizeof at, 1);
    info.start = at;
    info.startUnixMs = unixMs;
    info.unit = feed_unit();
    info.displayMode = wat;
    info.interval_s = abtast;
    if (feed_unit() != kFeedUnknown) {
        info.moduleType = set[12];
        info.settingsWord = set[0];
    }
    info.port = com_nummer;
    char device[kMaxPathname];
    if (ComPortDevice(com_nummer, device, sizeof device) == 0) info.device = device;
    info.programVersion = PAVRO_VERSION;
    info_save();
}

static void info_finish(const char* endedBy) {
    char at[64];
    LocalTimeText(at, sizeof at, 1);
    info.ended = true;
    info.end = at;
    info.samples = samples;
    info.endedBy = endedBy;
    GetFileInfo(d_dat, &info.bytes);
    info_save();
}

// A recording's end by `endedBy`: its event, and its info when it goes to a file.
static void recording_stops(const char* endedBy) {
    if (!plot) return;
    recording_event("recording-stop", endedBy);
    if (speichern) info_finish(endedBy);
}

void ansicht_folgen() {
    ResetGraphView(psc, PSC_GRAPH);
    SetCtrlVal(psc, PSC_FOLLOW, 1);
}

void recording_ended(const char* endedBy) { recording_stops(endedBy); }

// The graph of a recording that begins at `x0` [whole s]: the display mode taken, the window
// empty, the x axis from x0 over 100 s, the timer at the interval.
static void graph_begin(int x0) {
    GetCtrlVal(p1, P1_MODE, &wat);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_COPY_ORIGINAL_DATA, 0);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_DATA_MODE, 0);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_SMOOTH_UPDATE, 1);
    DeleteGraphPlot(psc, PSC_GRAPH, -1, 1);
    ansicht_folgen();
    xmax = x0 + 100;
    xmin = x0;
    mpoint = 0;
    SetAxisScalingMode(psc, PSC_GRAPH, 0, 0, xmin, xmax);
    SetCtrlAttribute(psc, PSC_TIMER, ATTR_INTERVAL, abtast);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_YMAP_MODE, wat == 0 ? 1 : 0);
}

// The recording file filedat (d_dat) open: kept synced, locked, shown, the port's time-out for
// recording.
static void recording_file_taken() {
    KeepFileSynced(d_dat);  // a power cut loses at most the last second of it
    LockFile(filedat);      // no other pavro takes it up while it is recorded
    speichern = 1;
    SetCtrlVal(psc, PSC_FILE, d_dat);
    SetComTime(com_nummer, kTimeoutRecording);
    ResetTimer(p1, P1_TIMER);
}

// ----- a recording taken up again ----------------------------------------------------------------

static int resumeMode = kResumeOffer;
static bool lookedAtLast;   // the last recording looked at since the program started
static ResumeCheck offered; // resumable while offered

void recorder_resume_mode(int mode) {
    resumeMode = mode;
    lookedAtLast = false;
    offered = ResumeCheck{};
}

// Says why the last recording cannot be taken up, on the log and on stderr, one line.
static void not_resumed(const ResumeCheck& c) {
    if (c.why.empty()) return;
    char details[kMaxPathname + 300];
    std::snprintf(details, sizeof details, "file=%s why=%s", c.path.c_str(), c.why.c_str());
    std::fprintf(stderr, "pavro: the recording in %s is not resumed: %s\n", c.path.c_str(), c.why.c_str());
    feed_event("resume-refused", details);
}

// Once per program run: the last recording, if it was cut off.
static void look_at_last() {
    if (lookedAtLast || resumeMode == kResumeNever) return;
    lookedAtLast = true;
    offered = resume_check();
    not_resumed(offered);
}

// The button, while the offer stands and the viewer's controls leave it room.
void resume_offer_show() {
    int viewing = 0;
    GetCtrlAttribute(psc, PSC_EXPORT, ATTR_VISIBLE, &viewing);
    bool show = resumeMode == kResumeOffer && offered.resumable && !plot && !viewing;
    SetCtrlAttribute(psc, PSC_RESUME, ATTR_VISIBLE, show ? 1 : 0);
}

static void offer_resume() {
    if (resumeMode != kResumeOffer) return;
    look_at_last();
    resume_offer_show();
}

static void withdraw_offer() {
    offered = ResumeCheck{};
    lookedAtLast = true;
    SetCtrlAttribute(psc, PSC_RESUME, ATTR_VISIBLE, 0);
}

// Appends to the file of the cut-off recording, its times counted on from its start, as
// m_run starts a recording otherwise.
static void resume(std::string path) {
    withdraw_offer();
    ResumeCheck c = resume_check_file(path.c_str());  // again: the file may have changed since
    auto refuse = [&](const std::string& why) {
        c.resumable = false;
        c.why = why;
    };
    if (c.resumable && c.info.unit != kFeedUnknown && feed_unit() != kFeedUnknown && feed_unit() != c.info.unit)
        refuse(std::string("the module measures in ") + unit_name(feed_unit()) + " now, the recording in " +
               unit_name(c.info.unit));
    if (c.resumable && c.path.size() >= kMaxPathname) refuse("its path is too long");
    if (c.resumable && c.keep < c.size && TruncateFile(c.path.c_str(), c.keep) != 0)
        refuse("its half last line cannot be cut");
    if (c.resumable) {
        std::snprintf(d_dat, sizeof d_dat, "%s", c.path.c_str());
        filedat = OpenFile(d_dat, 0, 1, 1);
        if (filedat <= 0) refuse("the file cannot be opened");
    }
    if (!c.resumable) {
        if (c.why.empty()) c.why = "it ended";
        not_resumed(c);
        return;
    }
    ++starts;
    hol_setzen(0);
    faerben(1);
    recording_file_taken();
    // On from the original start; a clock set back since never makes time run backward.
    long long nowMs = UnixTimeMs();
    double elapsed = static_cast<double>(nowMs - c.info.startUnixMs) / 1000.0;
    if (!(elapsed >= c.last_s)) elapsed = c.last_s;
    graph_begin(to_int(elapsed));
    tstart = Timer() - elapsed;
    samples = c.samples;
    {
        info = c.info;
        char at[64];
        LocalTimeTextAt(nowMs, at, sizeof at, 1);
        info.interruptions.push_back({c.samples, c.last_s, at, nowMs});
        double last = info.changes.empty() ? info.interval_s : info.changes.back().interval_s;
        if (abtast != last) info.changes.push_back({samples, abtast});
        info_save();
    }
    char details[kMaxPathname + 200];
    std::snprintf(details, sizeof details, "file=%s samples=%lld last_s=%.1f gap_s=%.1f cut_bytes=%lld",
                  c.path.c_str(), c.samples, c.last_s, elapsed - c.last_s, c.size - c.keep);
    plotten();
    plot = 1;
    feed_event("recording-resume", details);
}

int fortsetzen(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || plot || !offered.resumable) return 0;
    resume(offered.path);
    return 0;
}

void recorder_link_up() {
    if (resumeMode != kResumeAlways || plot) return;
    look_at_last();
    if (!offered.resumable) return;
    stripch(0, 0, nullptr, 0);
    resume(offered.path);
}

// The recording file closed, its last second synced by the syncing thread.
static void recording_file_close() {
    if (speichern) {
        CloseFile(filedat);
        StopFileSynced(d_dat);
    }
    speichern = 0;
}

int m_run(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || plot) return 0;
    withdraw_offer();
    ++starts;
    hol_setzen(0);
    faerben(1);
    speichern_starten();
    graph_begin(0);
    tstart = Timer();
    long long startMs = UnixTimeMs();
    samples = 0;
    if (speichern) info_begin(startMs);
    plotten();
    plot = 1;
    recording_event("recording-start", nullptr);
    return 0;
}

int m_stop(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    recording_stops("stop");
    plot = 0;
    recording_file_close();
    faerben(0);
    return 0;
}

int endSC(int, int event, void*, int, int) {
    if (event != EVENT_CLOSE) return 0;
    recording_stops("panel closed");
    recording_file_close();
    plot = 0;
    HidePanel(psc);
    return 0;
}

// ----- sampling step ---------------------------------------------------------------------------

int timer2(int, int, int event, void*, int, int) {
    if (event == EVENT_TIMER_TICK && plot) plotten();
    return 0;
}

void messwert() { werttext(mw_buf, mw, wat); }

void werttext(char (&out)[32], double value, int mode) {
    char format[32];
    switch (mode) {
    case 0:
        Fmt(format, " %cf[e2w10] ppm O2", kPercent);
        break;
    case 1:
        Fmt(format, " %cf[p%dw10] ppm O2", kPercent, digits_by_size(value));
        break;
    case 2:
        Fmt(format, " %cf[p1w10] mV    ", kPercent);
        break;
    default:
        Fmt(format, " 0.0 mV    ");
        break;
    }
    Fmt(out, format, value);
}

// Adds the sample to the window: filling, slot mpoint; full, at the top with a shift down.
static void window_update() {
    if (mpoint <= kWindow - 1) {
        g1wert[mpoint] = mw;
        xsec[mpoint] = to_int(mzeit);
        return;
    }
    mpoint = kWindow - 1;
    g1wert[kWindow - 1] = mw;
    xsec[kWindow - 1] = to_int(mzeit);
    for (int j = 1; j <= kWindow - 1; ++j) {
        g1wert[j - 1] = g1wert[j];
        xsec[j - 1] = xsec[j];
    }
}

// Scrolls the x axis when the sample lies beyond its end, then draws the window.
static void axis_and_draw() {
    if (mzeit > xmax) {
        xmax = to_int(xmax + abtast * 10.0);
        xmin = to_int(xmax - abtast * 499.0 + 1.0);
        if (xmin < xsec[0]) xmin = xsec[0];
        SetAxisScalingMode(psc, PSC_GRAPH, 0, 0, xmin, xmax);
        DeleteGraphPlot(psc, PSC_GRAPH, -1, 1);
    }
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_ACTIVE_YAXIS, 1);
    PlotXY(psc, PSC_GRAPH, xsec, g1wert, mpoint, VAL_INTEGER, VAL_DOUBLE, 5, 0, 0, 1, kColourPlot);
}

void plotten() {
    SetCtrlVal(psc, PSC_BUSY, 1);
    mzeit = Timer() - tstart;
    Fmt(out_buf, kCommands[kCmdM2].format, kCR);
    clear_in_buf();
    tx_exchange();
    reply_double(kCmdM2, in_buf, &mw);
    if (reply_letter_ok(kCmdM2, in_buf)) {
        messwert();
    } else {
        Fmt(mw_buf, "* %s  *", in_buf);
        mw = 0.0;
    }
    bool ok = reply_letter_ok(kCmdM2, in_buf) && ReturnRS232Err() == 0;
    char status[kBufSize];
    Fmt(status, "%s", ok ? "ok" : in_buf);
    if (ReturnRS232Err() != 0) {
        Fmt(mw_buf, "NO CONNECTION");
        Fmt(status, "NO CONNECTION");
        uebertragungsfehler();
    }
    SetCtrlVal(psc, PSC_VALUE, mw_buf);
    window_update();
    if (mpoint > 1) axis_and_draw();
    ++mpoint;
    if (speichern) FmtFile(filedat, kRecordingLine, mzeit, mw);
    ++samples;
    feed_reading({mw, ok, feed_unit(), kSourceRecorder, status, nullptr, Timer()});
    Delay(kSamplePause);
    SetCtrlVal(psc, PSC_BUSY, 0);
}

// ----- recording file --------------------------------------------------------------------------

void speichern_starten() {
    if (speichern) return;
    int r;
    do {
        r = FileSelectPopup("", "*.dat", "*.dat;*.*;", "Filename", 0, 0, 0, 1, 0, d_dat);
        if (r == 1 && ConfirmPopup("File already exists !", "Do you want to overwrite it ?")) r = 2;
    } while (r == 1);
    if (r == 2) {
        filedat = OpenFile(d_dat, 0, 0, 1);
        if (filedat <= 0) return;
        last_recording_remember(d_dat);
        recording_file_taken();
    } else {
        SetCtrlVal(psc, PSC_FILE, "no file");
        speichern = 0;
    }
}
