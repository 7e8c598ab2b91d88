// SPDX-License-Identifier: GPL-3.0-or-later
// pavro-driver: runs the program's own logic in a process of its own, operated through the
// testing seam instead of a person, against pavro-sim at WORKDIR/ports/com1.
//
//   pavro-driver WORKDIR FILE INTERVAL record     record to FILE until killed; prints the
//                                                 number of samples taken after each one
//   pavro-driver WORKDIR FILE INTERVAL view N     record N samples, stop, view FILE; prints
//                                                 "points P" with the viewer's point count
//   pavro-driver WORKDIR FILE INTERVAL resume N   confirm the port (a cut-off recording goes on
//                                                 under resume=always), N samples, stop; prints
//                                                 "resumed" or "not resumed"
//   pavro-driver WORKDIR FILE INTERVAL fill N BYTES  record N samples with files limited to
//                                                 BYTES (a disk that fills), stop; prints
//                                                 "samples N" when it has kept running to the end
#include "app.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "recorder.h"
#include "resume.h"
#include "testing.h"
#include "ui.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int samples = 0;

// The recorder's timer callback, then the count of samples taken so far.
int countingTimer2(int panel, int control, int event, void* data, int e1, int e2) {
    bool sampling = event == EVENT_TIMER_TICK && plot;
    timer2(panel, control, event, data, e1, e2);
    if (sampling) {
        std::printf("%d\n", ++samples);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: pavro-driver WORKDIR FILE INTERVAL record|view [N]\n");
        return 2;
    }
    std::string work = argv[1], file = argv[2], mode = argv[4];
    double interval = std::atof(argv[3]);
    int n = argc > 5 ? std::atoi(argv[5]) : 0;
    seam::Init(argc, argv);
    seam::SetProjectDir(work);
    unsigned long n0 = 0;
    const CallbackEntry* table = callback_table(&n0);
    std::vector<CallbackEntry> entries(table, table + n0);
    for (CallbackEntry& e : entries)
        if (std::strcmp(e.name, "timer2") == 0) e.control = countingTimer2;
    RegisterCallbacks(entries.data(), entries.size());
    panels_laden();
    setup();
    anschliessen();  // the feed's listeners: event log, watch, publishing
    if (mode == "resume") recorder_resume_mode(kResumeAlways);
    seam::Type(p4, P4_PORT, "1");
    if (mode == "resume") {
        // Under [recording] resume=always the port's confirmation took the recording up.
        std::printf("%s\n", plot ? "resumed" : "not resumed");
        for (int i = 1; plot && i < n; ++i) {
            Delay(interval);
            seam::Tick(psc, PSC_TIMER);
        }
        seam::Commit(psc, PSC_STOP);
        return 0;
    }
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    SetCtrlVal(psc, PSC_INTERVAL, interval);
    seam::Commit(psc, PSC_APPLY);
    long long size;
    if (GetFileInfo(file.c_str(), &size) == 1) seam::AnswerConfirm(1);  // overwrite a previous run's
    if (mode == "fill" && argc > 6) {
        rlimit lim{};
        lim.rlim_cur = lim.rlim_max = std::strtoul(argv[6], nullptr, 10);
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    seam::AnswerFileSelect(2, file);
    seam::Commit(psc, PSC_IDLE_CTRL);
    std::printf("recording\n%d\n", ++samples);  // the start's own sample
    std::fflush(stdout);
    if (mode == "record") return RunUserInterface();
    for (int i = 1; i < n; ++i) {
        Delay(interval);
        seam::Tick(psc, PSC_TIMER);
    }
    seam::Commit(psc, PSC_STOP);
    if (mode == "fill") {
        std::printf("samples %d\n", samples);
        std::fflush(stdout);  // now: what a sanitizer prints at exit may not fit under the limit
        return 0;
    }
    seam::AnswerFileSelect(1, file);
    seam::Commit(psc, PSC_LOAD);
    auto plots = seam::Plots(psc, PSC_GRAPH);
    std::printf("points %zu\n", plots.empty() ? 0 : plots[0].y.size());
    for (std::size_t i = 0; !plots.empty() && i < plots[0].y.size(); ++i)
        std::printf("%.1f %.6e\n", plots[0].x[i], plots[0].y[i]);
    return 0;
}
