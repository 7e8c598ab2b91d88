// SPDX-License-Identifier: GPL-3.0-or-later
// Viewer benchmark helper.
//   bench_viewer gen FILE MB    writes a recording file of about MB megabytes
//   bench_viewer load FILE      in one process: the thinned reading alone (pavro_s), the whole
//                               load with band, statistics and index (band_s), a zoom to 1/1000
//                               of the file's time re-read (zoom_reread_ms, the median of 9 at
//                               places spread over the file), the points and the peak memory
//   bench_viewer export FILE CSV the whole file as CSV with clock times and unit (export_s), its
//                               peak memory
#include "app.h"
#include "export.h"
#include "info.h"
#include "handles.h"
#include "io.h"
#include "recorder.h"
#include "testing.h"
#include "ui.h"
#include "viewer.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static int generate(const char* path, long long mb) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 1;
    long long target = mb * 1024 * 1024, written = 0;
    char line[64];
    for (long long i = 0; written < target; ++i) {
        double t = static_cast<double>(i) * 0.1, v = 12.5 + 0.3 * static_cast<double>(i % 97) / 97.0;
        int n = Fmt(line, " %f[p1]\t%f[e2] \n", t, v);
        std::fwrite(line, 1, static_cast<std::size_t>(n), f);
        written += n;
    }
    return std::fclose(f) == 0 ? 0 : 1;
}

static int export_csv(const char* data, const char* csv) {
    RecordingInfo info;
    info.startUnixMs = UnixTimeMs();
    info.unit = 0;  // ppm
    double t0 = Timer();
    CsvExport done = csv_export(data, csv, &info, true, 0.0, 0.0);
    double seconds = Timer() - t0;
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("export_s=%.3f rows=%lld peak_rss_mb=%.1f\n", seconds, done.rows, static_cast<double>(ru.ru_maxrss) / 1024.0);
    return done.failed ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "gen") return generate(argv[2], std::atoll(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "export") return export_csv(argv[2], argv[3]);
    if (argc != 3 || std::string(argv[1]) != "load") {
        std::fprintf(stderr, "usage: bench_viewer gen FILE MB | load FILE | export FILE CSV\n");
        return 2;
    }
    seam::Init(argc, argv);
    seam::SetProjectDir(PAVRO_BIN_DIR);
    starten();
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::SavePanelImage(psc, "/dev/null");  // the panel is on screen, painted once, as the operator has it
    static double time[kViewerPoints], value[kViewerPoints];
    double t = Timer();
    int file = OpenFile(argv[2], 1, 2, 1);
    long long size = 0;
    GetFileInfo(argv[2], &size);
    lesen(file, size / 20000 + 1, time, value);
    CloseFile(file);
    double plain = Timer() - t;

    seam::AnswerFileSelect(1, argv[2]);
    t = Timer();
    seam::Commit(psc, PSC_LOAD);
    double band = Timer() - t;
    auto plots = seam::Plots(psc, PSC_GRAPH);
    std::size_t points = plots.empty() ? 0 : plots[0].y.size();

    std::vector<double> zooms;
    if (points > 1) {
        double first = plots[0].x.front(), span = plots[0].x.back() - first;
        for (int k = 1; k <= 9; ++k) {
            double from = first + span * k / 10.0;
            t = Timer();
            seam::ZoomGraph(psc, PSC_GRAPH, from, from + span / 1000.0);
            zooms.push_back(Timer() - t);
            seam::Commit(psc, PSC_RESET_VIEW);
        }
        std::sort(zooms.begin(), zooms.end());
    }
    double zoom = zooms.empty() ? 0.0 : zooms[zooms.size() / 2];
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("pavro_s=%.3f band_s=%.3f zoom_reread_ms=%.2f points=%zu peak_rss_mb=%.1f\n", plain, band, zoom * 1e3,
                points, static_cast<double>(ru.ru_maxrss) / 1024.0);
    return 0;
}
