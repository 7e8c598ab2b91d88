// SPDX-License-Identifier: GPL-3.0-or-later
// Viewer benchmark helper.
//   bench_viewer gen FILE MB    writes a recording file of about MB megabytes
//   bench_viewer load FILE      loads FILE in the viewer offscreen; prints seconds, points
//                               and the process's peak resident memory
#include "app.h"
#include "handles.h"
#include "io.h"
#include "recorder.h"
#include "testing.h"
#include "ui.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "gen") return generate(argv[2], std::atoll(argv[3]));
    if (argc != 3 || std::string(argv[1]) != "load") {
        std::fprintf(stderr, "usage: bench_viewer gen FILE MB | load FILE\n");
        return 2;
    }
    seam::Init(argc, argv);
    seam::SetProjectDir(PAVRO_BIN_DIR);
    starten();
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::SavePanelImage(psc, "/dev/null");  // the panel is on screen, painted once, as the operator has it
    seam::AnswerFileSelect(1, argv[2]);
    double t = Timer();
    seam::Commit(psc, PSC_LOAD);
    double s = Timer() - t;
    auto plots = seam::Plots(psc, PSC_GRAPH);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("pavro_s=%.3f points=%zu peak_rss_mb=%.1f\n", s, plots.empty() ? 0 : plots[0].y.size(),
                static_cast<double>(ru.ru_maxrss) / 1024.0);
    return 0;
}
