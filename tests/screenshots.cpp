// SPDX-License-Identifier: GPL-3.0-or-later
// pavro-screenshots OUTDIR: pictures of the panels in their significant states, rendered
// offscreen from the real panel file against the module simulator, for the README and docs.
#include "app.h"
#include "eventlog.h"
#include "handles.h"
#include "info.h"
#include "resume.h"
#include "feed.h"
#include "io.h"
#include "link.h"
#include "mqtt.h"
#include "publish.h"
#include "recorder.h"
#include "sim.h"
#include "testing.h"
#include "ui.h"
#include "watch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pavro-screenshots OUTDIR\n");
        return 2;
    }
    std::string out = argv[1];
    seam::Init(argc, argv);
    std::filesystem::path work = std::filesystem::temp_directory_path() / "pavro-screenshots";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    std::filesystem::copy_file(PAVRO_BIN_DIR "/pavro_5.uir", work / "pavro_5.uir");
    seam::SetProjectDir(work.string());
    sim::Simulator module;
    if (!module.start((work / "ports" / "com1").string())) return 1;

    starten();
    bool ok = seam::SavePanelImage(p1, out + "/main-panel-start.png");

    seam::Type(p4, P4_PORT, "1");
    seam::Tick(p1, P1_TIMER);
    ok = seam::SavePanelImage(p1, out + "/main-panel.png") && ok;

    sim::Fault silent;
    silent.silent = true;
    module.setFault("*", silent);
    seam::Tick(p1, P1_TIMER);
    ok = seam::SavePanelImage(p1, out + "/main-panel-no-connection.png") && ok;
    module.clearFaults();
    Delay(0.7);
    seam::Commit(p1, P1_GO);

    // A recording a power cut ended a minute ago: the recorder offers to go on with it.
    {
        std::string cut = (work / "cut.dat").string(), lines;
        for (int k = 0; k < 30; ++k) {
            char l[64];
            std::snprintf(l, sizeof l, " %.1f\t%.6e \n", k * 1.0, 12.5 + std::sin(k / 5.0));
            lines += l;
        }
        WriteFileDurably(cut.c_str(), lines.data(), lines.size());
        RecordingInfo info;
        info.startUnixMs = UnixTimeMs() - 60000;
        char at[64];
        LocalTimeTextAt(info.startUnixMs, at, sizeof at, 1);
        info.start = at;
        info.unit = kFeedPpm;
        info.displayMode = 1;
        info.interval_s = 1.0;
        info.programVersion = "0.1.0";
        info_write(cut.c_str(), info);
        std::string last = cut + "\n";
        WriteFileDurably((work / kLastRecordingFile).string().c_str(), last.data(), last.size());
    }
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    ok = seam::SavePanelImage(psc, out + "/recorder-resume.png") && ok;

    // A recording of 150 samples, a second apart on the virtual clock.
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    std::string file = (work / "recording.dat").string();
    seam::AnswerFileSelect(2, file);
    seam::UseVirtualTime(true);
    seam::SetTime(100);
    seam::Commit(psc, PSC_IDLE_CTRL);
    for (int k = 1; k < 150; ++k) {
        module.setReading(12.5 + 2.0 * std::sin(k / 15.0));
        seam::SetTime(tstart + k);
        seam::Tick(psc, PSC_TIMER);
    }
    ok = seam::SavePanelImage(psc, out + "/recorder-recording.png") && ok;
    seam::Commit(psc, PSC_STOP);
    seam::UseVirtualTime(false);
    seam::AnswerFileSelect(1, file);
    seam::Commit(psc, PSC_LOAD);
    ok = seam::SavePanelImage(psc, out + "/recorder-viewing.png") && ok;
    // The same file on its clock time, which its recording info gives.
    SetCtrlVal(psc, PSC_TIME_AXIS, 1);
    seam::Commit(psc, PSC_TIME_AXIS);
    ok = seam::SavePanelImage(psc, out + "/recorder-clock-time.png") && ok;
    SetCtrlVal(psc, PSC_TIME_AXIS, 0);
    seam::Commit(psc, PSC_TIME_AXIS);

    // A long recording with one short excursion: the thinned line misses it, the band shows it.
    std::string longFile = (work / "long.dat").string();
    if (std::FILE* f = std::fopen(longFile.c_str(), "w")) {
        for (int k = 0; k < 60000; ++k) {
            double v = 12.5 + 1.5 * std::sin(k / 4000.0) + 0.08 * std::sin(k * 7.3);
            if (k == 21001) v = 19.0;
            std::fprintf(f, " %.1f\t%.6e \n", k * 0.5, v);
        }
        std::fclose(f);
    }
    seam::AnswerFileSelect(1, longFile);
    seam::Commit(psc, PSC_LOAD);
    ok = seam::SavePanelImage(psc, out + "/recorder-band.png") && ok;

    // A closer look about the excursion, the pointer on it.
    auto [ax, ay] = seam::GraphPixel(psc, PSC_GRAPH, 10440.0, 19.6);
    auto [bx, by] = seam::GraphPixel(psc, PSC_GRAPH, 10560.0, 10.8);
    seam::Drag(psc, PSC_GRAPH, ax, ay, bx, by, true);
    auto [qx, qy] = seam::GraphPixel(psc, PSC_GRAPH, 10500.5, 19.0);
    seam::Hover(psc, PSC_GRAPH, qx, qy);
    ok = seam::SavePanelImage(psc, out + "/recorder-zoomed.png") && ok;
    ok = seam::SaveGraphMenuImage(psc, PSC_GRAPH, out + "/graph-menu.png") && ok;

    // The watch: limits set in its dialog, a recording that passes the high one.
    seam::SaveNextFormImage(out + "/watch-dialog.png");
    seam::AnswerForm({{"High limit, ppm", "14"}, {"Low limit, ppm", "10.8"}, {"Readings in a row", "2"},
                      {"Hysteresis", "0.2"}},
                     true);
    grenzen_dialog();
    ansicht_folgen();
    seam::AnswerFileSelect(0, "");
    seam::UseVirtualTime(true);
    seam::SetTime(500);
    seam::Commit(psc, PSC_IDLE_CTRL);
    for (int k = 1; k < 120; ++k) {
        module.setReading(12.5 + 2.0 * std::sin(k / 15.0));
        seam::SetTime(tstart + k);
        seam::Tick(psc, PSC_TIMER);
    }
    ok = seam::SavePanelImage(psc, out + "/recorder-alarm.png") && ok;
    ok = seam::SavePanelImage(p1, out + "/main-panel-alarm.png") && ok;
    seam::Commit(p1, P1_ACK);
    ok = seam::SavePanelImage(p1, out + "/main-panel-acknowledged.png") && ok;
    seam::Commit(psc, PSC_STOP);
    seam::UseVirtualTime(false);
    ereignisse(m1, MENUBAR_WATCH_EVENTS, nullptr, p1);
    ok = seam::SaveLogWindowImage(out + "/event-log.png") && ok;
    seam::CloseLogWindow();

    // Publishing, to a broker of its own when this machine has Mosquitto.
    if (access("/usr/sbin/mosquitto", X_OK) == 0) {
        std::string conf = (work / "mosquitto.conf").string();
        if (std::FILE* f = std::fopen(conf.c_str(), "w")) {
            std::fprintf(f, "listener 18883 127.0.0.1\nallow_anonymous true\n");
            std::fclose(f);
        }
        pid_t broker = fork();
        if (broker == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Delay(0.5);
        seam::AnswerForm({{"Publish to the broker", "1"}, {"Broker host", "127.0.0.1"}, {"Port", "18883"},
                          {"Topic prefix", "plant/hall2/glovebox3"}},
                         true);
        veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
        for (int i = 0; i < 100 && !MqttConnected(); ++i) Delay(0.05);
        seam::SaveNextFormImage(out + "/publishing-dialog.png");
        seam::AnswerForm({}, false);
        veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
        publish_enden();
        kill(broker, SIGTERM);
        waitpid(broker, nullptr, 0);
    }
    module.stop();
    std::filesystem::remove_all(work);
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
