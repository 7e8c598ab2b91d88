// SPDX-License-Identifier: GPL-3.0-or-later
// Link benchmark: the program's own overhead per transaction and per live poll against
// pavro-sim running as a separate process, and the paced poll's wall time against the wire
// time of its bytes; a settings write with its events logged and without, in turn, and one
// event against one plain append of a line as long. Usage: bench_link SIM_BINARY WORKDIR [N]
#include "app.h"
#include "config.h"
#include "eventlog.h"
#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "testing.h"
#include "ui.h"
#include "watch.h"
#include "wire.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

pid_t startSim(const std::string& sim, const std::string& link, bool pace) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<const char*> args = {sim.c_str(), "--link", link.c_str()};
        if (pace) args.push_back("--pace");
        args.push_back(nullptr);
        int null = open("/dev/null", 1);
        dup2(null, 1);
        execv(args[0], const_cast<char**>(args.data()));
        _exit(127);
    }
    for (int i = 0; i < 200 && !std::filesystem::is_symlink(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return pid;
}

void stopSim(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One m2 transaction of the live poll, as the program runs it.
void transaction() {
    Fmt(out_buf, "m2%c", 13);
    tx_exchange();
    Scan(in_buf + 2, "%f", &wert[7]);
}

// The floor: the same exchange on a raw descriptor, nothing but write, poll and read.
double bareRoundTrip(const std::string& link, int n) {
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 0;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::vector<double> times;
    char buf[64];
    for (int i = 0; i < n; ++i) {
        double t0 = Timer();
        if (write(fd, "m2\r", 3) != 3) break;
        for (bool done = false; !done;) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 600);
            ssize_t got = read(fd, buf, sizeof buf);
            done = got > 0 && buf[got - 1] == '\r';
        }
        times.push_back(Timer() - t0);
    }
    close(fd);
    return times.empty() ? 0 : median(times);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_link SIM_BINARY WORKDIR [N]\n");
        return 2;
    }
    std::string sim = argv[1], work = argv[2];
    int n = argc > 3 ? std::atoi(argv[3]) : 2000;
    seam::Init(argc, argv);
    std::filesystem::create_directories(work + "/ports");
    seam::SetProjectDir(work);
    std::filesystem::copy_file(PAVRO_BIN_DIR "/pavro_5.uir", work + "/pavro_5.uir",
                               std::filesystem::copy_options::overwrite_existing);
    starten();
    std::string link = work + "/ports/com1";

    // (a) unpaced: the simulator answers after the command's wire time (3 bytes).
    pid_t pid = startSim(sim, link, false);
    OpenComConfig(1, "", 9600, 0, 8, 1, 128, 24);
    SetComTime(1, 0.6);
    com_nummer = 1;
    HidePanel(p4);
    std::vector<double> tx, polls;
    for (int i = 0; i < n; ++i) {
        double t = Timer();
        transaction();
        tx.push_back(Timer() - t);
        if (ReturnRS232Err() != 0) std::fprintf(stderr, "transaction %d failed\n", i);
    }
    for (int i = 0; i < n / 10; ++i) {
        double t = Timer();
        holen();
        polls.push_back(Timer() - t);
    }
    // (b) the settings write (D1..D3, S0, S8, S!S!, the read back) with the event log listening
    // and without, in turn.
    std::vector<double> written, writtenLogged;
    for (int i = 0; i < 60; ++i) {
        feed_clear();
        if (i % 2) anschliessen();
        double t = Timer();
        stset();
        (i % 2 ? writtenLogged : written).push_back(Timer() - t);
    }
    feed_clear();
    anschliessen();
    stopSim(pid);

    // One event against one append of a line as long, to a file of its own.
    constexpr int kEvents = 20000;
    const char* details = "D1 15.000000 -> 20.000000; D2 200.000000 -> 200.000000; read back: as sent";
    double e0 = Timer();
    for (int i = 0; i < kEvents; ++i) event_log("settings-written", details);
    double eventUs = (Timer() - e0) / kEvents * 1e6;
    char line[512];
    std::size_t length = event_line(line, sizeof line, "2026-12-10T14:32:05.123+01:00", "settings-written", details);
    int plain = open((work + "/plain.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    double p0 = Timer();
    for (int i = 0; i < kEvents; ++i)
        if (write(plain, line, length) != static_cast<ssize_t>(length)) break;
    double writeUs = (Timer() - p0) / kEvents * 1e6;
    close(plain);

    pid = startSim(sim, link, false);
    double bare = bareRoundTrip(link, n);
    stopSim(pid);
    double latency = 3 * kByte;
    double overheadUs = (median(tx) - latency) * 1e6;
    double pollOverheadUs = (median(polls) - 7 * latency) * 1e6;

    // (c) paced: every reply byte at wire time; in turn without and with the watch armed
    // (limits the readings stay inside), so both see the same machine.
    WatchRules armed;
    armed.ppm.hasHigh = armed.mv.hasHigh = true;
    armed.ppm.high = armed.mv.high = 1e9;
    feed_unit_setzen(kFeedPpm);
    pid = startSim(sim, link, true);
    std::vector<double> paced, pacedWatch;
    for (int i = 0; i < 100; ++i) {
        watch_einstellen(i % 2 ? armed : WatchRules{});
        double t = Timer();
        holen();
        (i % 2 ? pacedWatch : paced).push_back(Timer() - t);
    }
    stopSim(pid);

    // The watch's own cost per reading, inside its limits: the feed and the rules.
    watch_einstellen(armed);
    FeedReading r{15.0, true, kFeedPpm, kSourceLive, "ok", nullptr, 0.0};
    constexpr int kReadings = 1000000;
    double w0 = Timer();
    for (int i = 0; i < kReadings; ++i) {
        r.value = 15.0 + (i & 7);
        r.time = i * 1e-3;
        feed_reading(r);
    }
    double perReadingNs = (Timer() - w0) / kReadings * 1e9;
    watch_einstellen(WatchRules{});
    double wire = poll_wire_time();
    double pacedRatio = median(paced) / wire;
    double pacedWatchRatio = median(pacedWatch) / wire;

    std::printf("transaction: median %.1f us, of which simulator latency %.1f us\n", median(tx) * 1e6, latency * 1e6);
    std::printf("bare pty round trip: overhead %.1f us\n", (bare - latency) * 1e6);
    std::printf("overhead per transaction: %.1f us; per live poll: %.1f us\n", overheadUs, pollOverheadUs);
    std::printf("paced poll: median %.2f ms, wire time %.2f ms\n", median(paced) * 1e3, wire * 1e3);
    std::printf("paced poll with the watch armed: median %.2f ms\n", median(pacedWatch) * 1e3);
    std::printf("watch: %.1f ns per reading (feed and rules)\n", perReadingNs);
    std::printf("settings write: median %.2f ms, with its events logged %.2f ms\n", median(written) * 1e3,
                median(writtenLogged) * 1e3);
    std::printf("event: %.2f us, one plain append of its line %.2f us\n", eventUs, writeUs);
    std::printf("RESULT overhead_us=%.1f poll_overhead_us=%.1f bare_pty_us=%.1f paced_over_wire=%.3f "
                "paced_over_wire_watch=%.3f watch_ns=%.1f settings_write_ms=%.3f settings_write_logged_ms=%.3f "
                "logged_over_plain=%.3f event_us=%.2f append_us=%.2f event_over_append=%.2f\n",
                overheadUs, pollOverheadUs, (bare - latency) * 1e6, pacedRatio, pacedWatchRatio, perReadingNs,
                median(written) * 1e3, median(writtenLogged) * 1e3, median(writtenLogged) / median(written), eventUs,
                writeUs, eventUs / writeUs);
    std::fflush(stdout);
    _exit(0);
}
