// SPDX-License-Identifier: GPL-3.0-or-later
// The recorded-file viewer: at most 998 points, the last line of each group of `step` lines,
// and behind them a band from the least to the greatest value of each group, so no excursion
// hides between two points. The same pass indexes the groups and sums up the file; a zoom
// then re-reads only the visible time range.
#include "viewer.h"

#include "export.h"
#include "feed.h"
#include "halves.h"
#include "handles.h"
#include "info.h"
#include "io.h"
#include "reading.h"
#include "recorder.h"
#include "recording_line.h"
#include "ui.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

char o_dat[kMaxPathname];
int file_o;

constexpr long long kBytesPerStep = 20000;  // the group size grows by one line per 20000 bytes
constexpr int kGroups = 999;
constexpr int kColourView = 0x000080;  // dark blue
constexpr int kColourBand = 0xC6D2EE;  // light blue behind it

namespace {

// What the graph shows of the viewed file, to return to after a closer look.
struct Viewed {
    bool shown = false;
    int recording = 0;  // recorder_starts() when it was drawn
    long long size = 0;
    long long step = 1;
    std::vector<IndexEntry> index;
    bool hasInfo = false;  // the file's recording info, checked to belong to it
    RecordingInfo info;
    double time[kViewerPoints], value[kViewerPoints], lo[kViewerPoints], hi[kViewerPoints];
    int count = 0;
};
Viewed& viewed() {
    static auto v = std::make_unique<Viewed>();
    return *v;
}

// The value as the current display mode shows it ("1.23e+01 ppm O2", "12.3 mV"), no blanks
// before it.
void value_text(char (&out)[32], double v) {
    unsigned char mode = wat;
    if (!plot) GetCtrlVal(p1, P1_MODE, &mode);
    if (!plot && viewed().hasInfo) mode = static_cast<unsigned char>(recording_mode(viewed().info));
    char text[32];
    werttext(text, v, mode);
    const char* t = text;
    while (*t == ' ') ++t;
    Fmt(out, "%s", t);
    for (int n = static_cast<int>(std::strlen(out)); n > 0 && out[n - 1] == ' '; --n) out[n - 1] = '\0';
}

// The clock time `seconds` after the viewed recording's start, in `form` of LocalTimeText.
void clock_text(char (&out)[32], double seconds, int form) {
    double ms = static_cast<double>(viewed().info.startUnixMs) + seconds * 1000.0;
    LocalTimeTextAt(std::isfinite(ms) ? static_cast<long long>(std::llround(std::clamp(ms, 0.0, 9e15))) : 0, out,
                    sizeof out, form);
}

void show_stats(const FileStats& s, bool opened) {
    char text[320], first[32], least[32], greatest[32], mean[32];
    if (!opened) {
        Fmt(text, "The file could not be read.");
    } else if (s.lines == s.unreadable) {
        Fmt(text, "%d lines, none with a time and a value", static_cast<int>(std::min(s.lines, 2147483647LL)));
    } else {
        value_text(least, s.least);
        value_text(greatest, s.greatest);
        value_text(mean, s.mean);
        Fmt(first, "%f[p1]", s.first);
        char clock[80] = "";
        if (viewed().hasInfo) {
            char from[32], to[32];
            clock_text(from, s.first, 2);
            clock_text(to, s.last, 2);
            // The date once, unless the recording passed midnight.
            Fmt(clock, " (%s to %s)", from, std::strncmp(from, to, 11) == 0 ? to + 11 : to);
        }
        Fmt(text, "%s lines, %s s to %f[p1] s%s; least %s, greatest %s, mean %s", std::to_string(s.lines).c_str(),
            first, s.last, clock, least, greatest, mean);
        if (s.unreadable) {
            char more[64];
            Fmt(more, "; %s unreadable", std::to_string(s.unreadable).c_str());
            std::strncat(text, more, sizeof text - std::strlen(text) - 1);
        }
    }
    SetCtrlVal(psc, PSC_STATS, text);
}

// Draws points with their band (when the points are thinned).
void draw(const double* t, const double* v, const double* lo, const double* hi, int count, bool band) {
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_COPY_ORIGINAL_DATA, 1);
    DeleteGraphPlot(psc, PSC_GRAPH, -1, 1);
    PlotXY(psc, PSC_GRAPH, t, v, count, VAL_DOUBLE, VAL_DOUBLE, 5, 0, 0, 1, kColourView);
    if (band && count > 0) PlotBand(psc, PSC_GRAPH, t, lo, hi, count, kColourBand);
}

bool file_on_graph() {
    const Viewed& w = viewed();
    return w.shown && !plot && w.recording == recorder_starts();
}

// The thinned points of the whole file again.
void whole_file() {
    Viewed& w = viewed();
    draw(w.time, w.value, w.lo, w.hi, w.count, w.step > 1);
}

// A closer look: the lines of the visible time range, re-read from the file.
void closer_look() {
    Viewed& w = viewed();
    double from = 0.0, to = 0.0;
    GetGraphView(psc, PSC_GRAPH, &from, &to, nullptr, nullptr);
    bool all = true;
    for (const IndexEntry& e : w.index)
        if (e.lines && (e.tmin < from || e.tmax > to)) all = false;
    if (all) return whole_file();
    static double t[kViewerPoints], v[kViewerPoints], lo[kViewerPoints], hi[kViewerPoints];
    long long size = 0;
    int n = -1;
    bool thinned = false;
    int file = GetFileInfo(o_dat, &size) && size >= w.size ? OpenFile(o_dat, 1, 2, 1) : -1;
    if (file > 0) {
        ProgressBegin("View file", "Reading the lines in view\u2026");
        n = read_range(file, w.index, from, to, t, v, lo, hi, &thinned);
        ProgressEnd();
        CloseFile(file);
    }
    if (n == kRangeCancelled) return;  // the graph keeps what it shows
    if (n < 0) {
        w.shown = false;
        MessagePopup("View file", "The file has changed since it was loaded. Load it again to look closer.");
        return;
    }
    draw(t, v, lo, hi, n, thinned);
}

// Whether the recording info beside the file belongs to it; the line that says so, or why not.
void check_info(long long size, const FileStats& s, std::string* note) {
    Viewed& w = viewed();
    RecordingInfo info;
    std::string why;
    char name[kMaxPathname];
    if (!info_path(o_dat, name)) name[0] = '\0';
    const char* base = std::strrchr(name, '/') ? std::strrchr(name, '/') + 1 : name;
    int read = info_read(o_dat, &info, &why);
    w.hasInfo = false;
    if (read == 0) {
        *note = std::string("No recording info (") + base + "): elapsed time only";
        return;
    }
    if (read < 0) {
        *note = std::string("Recording info ") + base + " not used: " + why;
        return;
    }
    long long modified = GetFileModified(o_dat);
    if (info.ended && (info.samples != s.lines || info.bytes != size)) {
        *note = std::string("Recording info ") + base + " not used: it tells of " + std::to_string(info.samples) +
                " samples in " + std::to_string(info.bytes) + " bytes, the file has " + std::to_string(s.lines) +
                " lines in " + std::to_string(size);
        return;
    }
    // 2 s: a file system's times may be that coarse.
    if (modified >= 0 && modified + 2000 < info.startUnixMs) {
        *note = std::string("Recording info ") + base + " not used: the file is older than the recording it tells of";
        return;
    }
    w.hasInfo = true;
    w.info = std::move(info);
    char start[32];
    LocalTimeTextAt(w.info.startUnixMs, start, sizeof start, 2);
    *note = std::string("Recorded ") + start + ", " +
            (w.info.unit == kFeedUnknown ? std::string("unit unknown") : std::string("in ") + unit_name(w.info.unit));
    if (std::size_t n = w.info.interruptions.size())
        *note += "; cut off and resumed " + (n == 1 ? std::string("once") : std::to_string(n) + " times");
    if (w.info.ended) return;
    // Still growing when written to within the last intervals; otherwise it ended without a stop.
    double interval = w.info.changes.empty() ? w.info.interval_s : w.info.changes.back().interval_s;
    bool growing = modified >= 0 && UnixTimeMs() - modified < static_cast<long long>((2.0 * interval + 3.0) * 1000.0);
    *note += growing ? "; still being recorded" : "; the recording was interrupted (no end in its info)";
}

// The x axis in elapsed seconds or, for a file with its info, in clock time.
void show_time_axis() {
    int clock = 0;
    if (viewed().hasInfo) GetCtrlVal(psc, PSC_TIME_AXIS, &clock);
    SetGraphClock(psc, PSC_GRAPH, clock && file_on_graph() ? viewed().info.startUnixMs : -1);
}

}  // namespace

int recording_mode(const RecordingInfo& info) {
    if (info.unit == kFeedMv) return 2;
    if (info.unit == kFeedPpm) return info.displayMode == 2 ? 1 : info.displayMode;
    return info.displayMode;
}

int viewed_unit() { return file_on_graph() && viewed().hasInfo ? viewed().info.unit : kFeedUnknown; }

void viewer_event(const char* kind, const char*) {
    if (std::strcmp(kind, "recording-start") != 0 && std::strcmp(kind, "recording-resume") != 0) return;
    SetGraphClock(psc, PSC_GRAPH, -1);
    SetGraphNote(psc, PSC_GRAPH, "");
    SetCtrlAttribute(psc, PSC_TIME_AXIS, ATTR_VISIBLE, 0);
    SetCtrlAttribute(psc, PSC_EXPORT, ATTR_VISIBLE, 0);
}

int exportieren(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !file_on_graph()) return 0;
    Viewed& w = viewed();
    double from = 0.0, to = 0.0;
    bool whole = GetGraphView(psc, PSC_GRAPH, &from, &to, nullptr, nullptr) != 0;
    char title[128], csv[kMaxPathname];
    if (whole)
        Fmt(title, "Export CSV: the whole file");
    else
        Fmt(title, "Export CSV: %f[p1] s to %f[p1] s, the range in view", from, to);
    int r;
    do {
        r = FileSelectPopup("", "*.csv", "*.csv;*.*;", title, 0, 0, 0, 1, 1, csv);
        if (r == 1 && ConfirmPopup("File already exists !", "Do you want to overwrite it ?")) r = 2;
    } while (r == 1);
    if (r != 2) return 0;
    ProgressBegin("Export CSV", "Writing the table\u2026");
    CsvExport done = csv_export(o_dat, csv, w.hasInfo ? &w.info : nullptr, whole, from, to);
    ProgressEnd();
    char details[2 * kMaxPathname + 64];
    Fmt(details, "file=%s csv=%s rows=%s %s", o_dat, csv, std::to_string(done.rows).c_str(),
        done.cancelled ? "cancelled" : done.failed ? "failed" : "written");
    feed_event("export", details);
    if (done.failed) MessagePopup("Export CSV", "The table could not be written; no file was left.");
    return 0;
}

int zeitachse(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) show_time_axis();
    return 0;
}

// Passes over `count` lines as that many ScanFile(file, "%f %f") calls with no targets would,
// and returns the last one's result; the recorder's own lines are known at once and passed
// over whole, without a call each. With kGather, each line read goes to `pass`.
template <bool kGather>
static int skip_lines(int file, long long count, Pass* pass) {
    int r = 0;
    long long k = 0;
    while (k < count) {
        std::size_t available = 0;
        const char* p = PeekFile(file, 64, &available);
        std::size_t used = 0, n = 0;
        LineBatch batch;  // gathered in locals: the text cannot alias them
        RecordingLineFields f;
        // Within what is shown, with room for the look ahead; at the file's end its zero stops it.
        while (p && k < count && (used == 0 || available - used >= 64) &&
               (n = recording_line_length(p + used, kGather ? &f : nullptr))) {
            if constexpr (kGather) batch.add(f);
            used += n;
            ++k;
            r = 2;
        }
        if (used) {
            if constexpr (kGather) pass->take(batch);
            SkipFile(file, used);
            continue;
        }
        if constexpr (kGather) {
            double t = 0.0, v = 0.0;
            r = ScanFile(file, "%f %f", &t, &v);
            if (r == 2) pass->value(t, v);
        } else {
            r = ScanFile(file, "%f %f", nullptr, nullptr);
        }
        ++k;
    }
    return r;
}

int lesen(int file, long long step, double* time, double* value) {
    return lesen(file, step, time, value, nullptr, nullptr, nullptr);
}

// The progress of a load at each group: false once the operator cancelled it.
static bool load_goes_on(int file, long long size) {
    long long at = SetFilePtr(file, 0, 1);
    return ProgressStep(size > 0 && at > 0 ? static_cast<double>(at) / static_cast<double>(size) : 0.0);
}

// lesen from group `first` on, the file standing where that group begins.
static int lesen_from(int file, long long step, int first, double* time, double* value, Pass* pass, double* lo,
                      double* hi, long long size) {
    int r = 0, count = 0, i = first;
    while (i < kGroups) {
        if (pass && !load_goes_on(file, size)) return -1;
        // Every line of the group is read; only the last one's numbers are kept, so the others
        // are matched without being converted.
        if (pass) pass->group_begin(SetFilePtr(file, 0, 1), step);
        r = pass ? skip_lines<true>(file, step - 1, pass) : skip_lines<false>(file, step - 1, nullptr);
        r = ScanFile(file, "%f %f", &time[i], &value[i]);
        if (pass) {
            if (r == 2) pass->value(time[i], value[i]);
            pass->group_end(SetFilePtr(file, 0, 1), &lo[i], &hi[i]);
        }
        count = i;
        if (r != 2) break;
        ++i;
    }
    return count;
}

int lesen(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi, long long size) {
    return lesen_from(file, step, 0, time, value, pass, lo, hi, size);
}

bool lesen_rest(int file, long long step, Pass* pass, long long size) {
    for (;;) {
        if (!load_goes_on(file, size)) return false;
        pass->group_begin(SetFilePtr(file, 0, 1));
        LineRead r = LineRead::Read;
        for (long long k = 0; k < step && (r = next_line(file, pass, nullptr, nullptr)) != LineRead::End;)
            if (r == LineRead::Read) ++k;
        pass->group_end(SetFilePtr(file, 0, 1), nullptr, nullptr);
        if (r == LineRead::End) return true;
    }
}

int lesen_ganz(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi,
               long long size, const HalvesPlan& plan) {
    long long group = 0;
    if (file > 0 && size >= plan.minBytes) {
        Stretch stretch;
        if (!read_halves(file, size, plan, &stretch)) return -1;
        group = put_together(file, stretch, step, pass, time, value, lo, hi);
        if (group < 0) {  // the file changed meanwhile: read it from the start after all
            *pass = Pass{};
            group = 0;
            SetFilePtr(file, 0, 0);
        }
    }
    int count = kGroups - 1;
    if (group < kGroups) count = lesen_from(file, step, static_cast<int>(group), time, value, pass, lo, hi, size);
    if (count < 0 || file <= 0) return count;
    return lesen_rest(file, step, pass, size) ? count : -1;
}

int lesen_ganz(int file, long long step, double* time, double* value, Pass* pass, double* lo, double* hi,
               long long size) {
    return lesen_ganz(file, step, time, value, pass, lo, hi, size, HalvesPlan{});
}

int oeffnen(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) darstellen();
    return 0;
}

void darstellen() {
    Viewed& w = viewed();
    char before[kMaxPathname];
    Fmt(before, "%s", o_dat);
    if (FileSelectPopup("", "*.dat", "*.dat", "", 3, 0, 1, 1, 0, o_dat) != 1) return;
    file_o = OpenFile(o_dat, 1, 2, 1);
    long long size = 0;
    GetFileInfo(o_dat, &size);
    long long step = size / kBytesPerStep + 1;

    // Read aside, so a cancelled load leaves the graph and what it shows as they were.
    static double time[kViewerPoints], value[kViewerPoints], lo[kViewerPoints], hi[kViewerPoints];
    Pass pass;
    char text[kMaxPathname + 32];
    Fmt(text, "Reading %s\u2026", o_dat);
    ProgressBegin("View file", text);
    int count = lesen_ganz(file_o, step, time, value, &pass, lo, hi, size);
    bool read = count >= 0;
    if (file_o > 0) CloseFile(file_o);
    ProgressEnd();
    if (!read) {
        Fmt(o_dat, "%s", before);
        return;
    }
    std::copy_n(time, count, w.time);
    std::copy_n(value, count, w.value);
    std::copy_n(lo, count, w.lo);
    std::copy_n(hi, count, w.hi);
    SetCtrlVal(psc, PSC_FILE, o_dat);
    SetCtrlVal(psc, PSC_AUTOSCALE, 1);

    ansicht_folgen();
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_COPY_ORIGINAL_DATA, 1);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_DATA_MODE, 0);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_SMOOTH_UPDATE, 1);
    DeleteGraphPlot(psc, PSC_GRAPH, -1, 1);
    SetAxisScalingMode(psc, PSC_GRAPH, 0, 1, xmin, xmax);
    SetAxisScalingMode(psc, PSC_GRAPH, 1, 1, skl[0], skl[1]);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_ACTIVE_YAXIS, 1);
    PlotXY(psc, PSC_GRAPH, w.time, w.value, count, VAL_DOUBLE, VAL_DOUBLE, 5, 0, 0, 1, kColourView);
    if (step > 1 && count > 0) PlotBand(psc, PSC_GRAPH, w.time, w.lo, w.hi, count, kColourBand);

    w.shown = file_o > 0;
    w.recording = recorder_starts();
    w.size = size;
    w.step = step;
    w.count = count;
    w.index = pass.index();
    std::string note;
    if (file_o > 0) check_info(size, pass.stats(), &note);
    else w.hasInfo = false;
    SetGraphNote(psc, PSC_GRAPH, note.c_str());
    SetCtrlVal(psc, PSC_TIME_AXIS, 0);  // elapsed, the prescribed view, at every load
    SetCtrlAttribute(psc, PSC_TIME_AXIS, ATTR_VISIBLE, w.hasInfo ? 1 : 0);
    SetCtrlAttribute(psc, PSC_EXPORT, ATTR_VISIBLE, w.shown ? 1 : 0);
    resume_offer_show();  // the viewer's controls take the offer's place
    show_time_axis();
    show_stats(pass.stats(), file_o > 0);
    feed_event("view", o_dat);
}

int grafik(int, int, int event, void*, int eventData1, int) {
    if (event == EVENT_GRAPH_CURSOR) {
        double x = 0.0, y = 0.0;
        char text[64] = "", value[32];
        if (eventData1 && GetGraphCursor(psc, PSC_GRAPH, &x, &y)) {
            value_text(value, y);
            if (viewed().hasInfo && file_on_graph()) {
                char clock[32];
                clock_text(clock, x, 0);
                Fmt(text, "%f[p1] s  %s    %s", x, clock, value);
            } else {
                Fmt(text, "%f[p1] s    %s", x, value);
            }
        }
        SetCtrlVal(psc, PSC_READOUT, text);
    } else if (event == EVENT_GRAPH_VIEW) {
        SetCtrlVal(psc, PSC_FOLLOW, eventData1 ? 1 : 0);
        if (file_on_graph()) eventData1 ? whole_file() : closer_look();
    }
    return 0;
}

int ansicht(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    ansicht_folgen();
    if (file_on_graph()) whole_file();
    return 0;
}
