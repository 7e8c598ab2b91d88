// SPDX-License-Identifier: GPL-3.0-or-later
// Recorder benchmark.
//   bench_recorder step WORKDIR          CPU cost of one sampling step, full window, ten overlaid
//                                        plots, offscreen; the module's reply and the pause excluded;
//                                        the same recording to a file kept synced, never synced, and
//                                        with its syncs stalled; then a wheel zoom with its repaint
//   bench_recorder jitter WORKDIR SECS   sample times of PSC_TIMER at 1 s against the simulator
#include "app.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "recorder.h"
#include "sim.h"
#include "testing.h"
#include "ui.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double wall() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::vector<double> sampleStarts;

int timedTimer2(int panel, int control, int event, void* data, int e1, int e2) {
    if (event == EVENT_TIMER_TICK && plot) sampleStarts.push_back(Timer());
    return timer2(panel, control, event, data, e1, e2);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void startProgram(const std::string& work, bool timed) {
    std::filesystem::create_directories(work);
    std::filesystem::copy_file(PAVRO_BIN_DIR "/pavro_5.uir", work + "/pavro_5.uir",
                               std::filesystem::copy_options::overwrite_existing);
    seam::SetProjectDir(work);
    unsigned long n = 0;
    const CallbackEntry* table = callback_table(&n);
    std::vector<CallbackEntry> entries(table, table + n);
    for (CallbackEntry& e : entries)
        if (timed && std::strcmp(e.name, "timer2") == 0) e.control = timedTimer2;
    RegisterCallbacks(entries.data(), entries.size());
    panels_laden();
    setup();
    seam::Type(p4, P4_PORT, "1");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::SavePanelImage(psc, "/dev/null");  // on screen and painted, as the operator has it
}

// One m2 transaction as the step runs it: what the step spends on the module.
double exchange() {
    double t = wall();
    Fmt(out_buf, "m2%c", 13);
    clear_in_buf();
    tx_exchange();
    return wall() - t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_recorder step WORKDIR | jitter WORKDIR SECONDS\n");
        return 2;
    }
    std::string mode = argv[1], work = argv[2];
    seam::Init(argc, argv);
    sim::Simulator module;
    if (!module.start(work + "/ports/com1")) return 1;

    if (mode == "step") {
        startProgram(work, false);
        // The program runs on the virtual clock, so the pause costs nothing and the samples
        // lie a second apart (ten plots between scrolls); the wall clock times each step, and
        // a second exchange of the same kind is timed to be subtracted. Recording to a file, the
        // steps go on for at least `wallSeconds`, so the syncing thread syncs it meanwhile.
        seam::UseVirtualTime(true);
        auto run = [&](const std::string& file, double wallSeconds, double* withExchange, double* exchangeOnly) {
            seam::SetTime(0);
            if (!file.empty() && std::filesystem::exists(file)) seam::AnswerConfirm(1);
            seam::AnswerFileSelect(file.empty() ? 0 : 2, file);
            seam::Commit(psc, PSC_IDLE_CTRL);
            std::vector<double> steps, exchanges;
            double began = wall();
            for (int k = 1; k <= 700 || wall() - began < wallSeconds; ++k) {
                seam::SetTime(tstart + k);
                double t = wall();
                seam::Tick(psc, PSC_TIMER);
                double spent = wall() - t;
                double ex = exchange();
                if (k > 500) {
                    steps.push_back(spent);
                    exchanges.push_back(ex);
                }
            }
            seam::Commit(psc, PSC_STOP);
            *withExchange = percentile(steps, 0.5);
            *exchangeOnly = percentile(exchanges, 0.5);
            return *withExchange - *exchangeOnly;
        };
        double with = 0, ex = 0;
        double step = run("", 0, &with, &ex);
        std::printf("step: median %.3f ms with the exchange, exchange %.3f ms, plots at the end %zu\n", with * 1e3,
                    ex * 1e3, seam::Plots(psc, PSC_GRAPH).size());
        // To a file: synced once a second as shipped; on a disk that never syncs (the peer);
        // on a disk whose syncs stall for the whole run.
        const std::string file = work + "/rec.dat";
        double synced = run(file, 4.0, &with, &ex);
        seam::ScriptDisk(true);
        double unsynced = run(file, 4.0, &with, &ex);
        seam::HoldDisk(true);
        double stalled = run(file, 4.0, &with, &ex);
        seam::ScriptDisk(false);
        std::printf("step to a file: synced %.3f ms, never synced %.3f ms (ratio %.2f), sync stalled %.3f ms (ratio %.2f)\n",
                    synced * 1e3, unsynced * 1e3, synced / unsynced, stalled * 1e3, stalled / unsynced);
        // A wheel notch in and out on the full window: the wheel's handling and the repaint.
        std::vector<double> zooms;
        auto [px, py] = seam::GraphPixel(psc, PSC_GRAPH, (xmin + xmax) / 2.0, g1wert[250]);
        for (int i = 0; i < 200; ++i) {
            double t = wall();
            seam::Wheel(psc, PSC_GRAPH, px, py, i % 2 ? -1 : 1, false);
            seam::RepaintGraph(psc, PSC_GRAPH);
            zooms.push_back(wall() - t);
        }
        std::printf("zoom: median %.3f ms, 99th percentile %.3f ms over %zu notches\n", percentile(zooms, 0.5) * 1e3,
                    percentile(zooms, 0.99) * 1e3, zooms.size());
        std::printf("RESULT step_ms=%.3f synced_over_unsynced=%.2f stalled_over_unsynced=%.2f zoom_repaint_ms=%.3f\n",
                    step * 1e3, synced / unsynced, stalled / unsynced, percentile(zooms, 0.5) * 1e3);
    } else {
        double seconds = argc > 3 ? std::atof(argv[3]) : 300.0;
        startProgram(work, true);
        seam::AnswerFileSelect(0, "");
        SetCtrlVal(psc, PSC_INTERVAL, 1.0);
        seam::Commit(psc, PSC_APPLY);
        seam::Commit(psc, PSC_IDLE_CTRL);
        double begin = tstart;
        seam::QuitAfter(seconds + 0.5);
        RunUserInterface();
        std::vector<double> jitter;
        for (std::size_t i = 1; i < sampleStarts.size(); ++i)
            jitter.push_back(std::fabs(sampleStarts[i] - sampleStarts[i - 1] - 1.0));
        double drift = sampleStarts.back() - begin - static_cast<double>(sampleStarts.size());
        std::printf("samples %zu over %.0f s\n", sampleStarts.size(), seconds);
        std::printf("RESULT jitter_p99_ms=%.3f drift_ms=%.3f\n", percentile(jitter, 0.99) * 1e3, drift * 1e3);
    }
    module.stop();
    std::fflush(stdout);
    std::_Exit(0);
}
