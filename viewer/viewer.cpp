// SPDX-License-Identifier: GPL-3.0-or-later
// The recorded-file viewer: at most 998 points, the last line of each group of `step` lines.
#include "viewer.h"

#include "handles.h"
#include "io.h"
#include "recorder.h"
#include "recording_line.h"
#include "ui.h"

char o_dat[kMaxPathname];
int file_o;

constexpr long long kBytesPerStep = 20000;  // the group size grows by one line per 20000 bytes
constexpr int kGroups = 999;
constexpr int kColourView = 0x000080;  // dark blue

// Passes over `count` lines as that many ScanFile(file, "%f %f") calls with no targets would,
// and returns the last one's result; the recorder's own lines are known at once and passed
// over whole, without a call each.
static int skip_lines(int file, long long count) {
    int r = 0;
    long long k = 0;
    while (k < count) {
        std::size_t available = 0;
        const char* p = PeekFile(file, 64, &available);
        std::size_t used = 0, n = 0;
        // Within what is shown, with room for the look ahead; at the file's end its zero stops it.
        while (p && k < count && (used == 0 || available - used >= 64) && (n = recording_line_length(p + used))) {
            used += n;
            ++k;
            r = 2;
        }
        if (used) {
            SkipFile(file, used);
            continue;
        }
        r = ScanFile(file, "%f %f", nullptr, nullptr);
        ++k;
    }
    return r;
}

int lesen(int file, long long step, double* time, double* value) {
    int r = 0, count = 0, i = 0;
    while (i < kGroups) {
        // Every line of the group is read; only the last one's numbers are kept, so the others
        // are matched without being converted.
        r = skip_lines(file, step - 1);
        r = ScanFile(file, "%f %f", &time[i], &value[i]);
        count = i;
        if (r != 2) break;
        ++i;
    }
    return count;
}

int oeffnen(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) darstellen();
    return 0;
}

void darstellen() {
    static double time[kViewerPoints], value[kViewerPoints];
    if (FileSelectPopup("", "*.dat", "*.dat", "", 3, 0, 1, 1, 0, o_dat) != 1) return;
    file_o = OpenFile(o_dat, 1, 2, 1);
    long long size = 0;
    GetFileInfo(o_dat, &size);
    long long step = size / kBytesPerStep + 1;
    SetCtrlVal(psc, PSC_FILE, o_dat);
    SetCtrlVal(psc, PSC_AUTOSCALE, 1);

    int count = lesen(file_o, step, time, value);
    if (file_o > 0) CloseFile(file_o);

    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_COPY_ORIGINAL_DATA, 1);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_DATA_MODE, 0);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_SMOOTH_UPDATE, 1);
    DeleteGraphPlot(psc, PSC_GRAPH, -1, 1);
    SetAxisScalingMode(psc, PSC_GRAPH, 0, 1, xmin, xmax);
    SetAxisScalingMode(psc, PSC_GRAPH, 1, 1, skl[0], skl[1]);
    SetCtrlAttribute(psc, PSC_GRAPH, ATTR_ACTIVE_YAXIS, 1);
    PlotXY(psc, PSC_GRAPH, time, value, count, VAL_DOUBLE, VAL_DOUBLE, 5, 0, 0, 1, kColourView);
}
