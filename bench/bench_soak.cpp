// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: a million transactions and a long recording against pavro-sim at WORKDIR/ports/com1;
// resident memory after a warm-up and at the end.
//   bench_soak WORKDIR TRANSACTIONS SAMPLES
#include "app.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "recorder.h"
#include "testing.h"
#include "ui.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// LeakSanitizer's check, where the build has it (the asan preset).
extern "C" void __lsan_do_leak_check() __attribute__((weak));

static double rssMb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_soak WORKDIR TRANSACTIONS SAMPLES\n");
        return 2;
    }
    std::string work = argv[1];
    long transactions = std::atol(argv[2]), samples = std::atol(argv[3]);
    seam::Init(argc, argv);
    seam::SetProjectDir(work);
    starten();
    seam::Type(p4, P4_PORT, "1");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    long failed = 0, done = 0;
    auto polls = [&](long n) {
        for (long i = 0; i < n; i += 7) {
            holen();
            done += 7;
            if (fehlx) ++failed;
        }
    };
    // A recording: the window full, the axis scrolling, every sample a line in the file.
    auto record = [&](long n) {
        seam::UseVirtualTime(true);
        seam::AnswerConfirm(1);  // overwrite the previous one
        seam::AnswerFileSelect(2, work + "/soak.dat");
        seam::Commit(psc, PSC_IDLE_CTRL);
        for (long k = 1; k < n; ++k) {
            seam::SetTime(tstart + 0.5 * static_cast<double>(k));
            seam::Tick(psc, PSC_TIMER);
        }
        seam::Commit(psc, PSC_STOP);
        seam::UseVirtualTime(false);
        seam::Commit(p1, P1_GO);
    };
    // Warm-up: every cache, buffer and pixmap at its working size.
    polls(70000);
    record(1000);
    double start = rssMb();
    polls(transactions);
    record(samples);
    double end = rssMb();
    std::printf("transactions %ld (%ld polls failed), recording samples %ld\n", done, failed, samples);
    std::printf("RESULT transactions=%ld rss_start_mb=%.1f rss_end_mb=%.1f\n", done, start, end);
    std::fflush(stdout);
    if (__lsan_do_leak_check) {
        __lsan_do_leak_check();  // reports and ends the process with an error on a leak
        std::printf("LeakSanitizer: no leaks\n");
        std::fflush(stdout);
    }
    std::_Exit(0);
}
