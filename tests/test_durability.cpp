// SPDX-License-Identifier: GPL-3.0-or-later
// A power cut loses at most the last second: the recording file and the event log synced once
// a second by a thread of their own, never by the sampling step.
#include "process.h"
#include "sim_fixture.h"

#include <map>
#include <regex>

namespace {

class Durability : public RecorderTest {
protected:
    void TearDown() override {
        seam::ScriptDisk(false);
        RecorderTest::TearDown();
    }
    int lines() {
        std::string t = dir.read("rec.dat");
        return static_cast<int>(std::count(t.begin(), t.end(), '\n'));
    }
};

// The disk stalls inside a sync: the samples go on being written meanwhile, and once the disk
// answers the sync catches up.
TEST_F(Durability, AStalledDiskHoldsUpTheSyncNeverTheSamplingStep) {
    seam::ScriptDisk(true);
    seam::HoldDisk(true);
    seam::AnswerFileSelect(2, dir.path("rec.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    ASSERT_TRUE(waitUntil([] { return seam::DiskWaiting(); }, 3.0));
    for (int i = 0; i < 20; ++i) seam::Tick(psc, PSC_TIMER);
    EXPECT_EQ(lines(), 21);
    EXPECT_EQ(seam::DiskSyncs(dir.path("rec.dat")), 0);
    seam::HoldDisk(false);
    ASSERT_TRUE(waitUntil([&] { return seam::DiskSyncs(dir.path("rec.dat")) >= 1; }, 4.0));
    EXPECT_GE(seam::DiskSyncs(dir.path("pavro-events.log")), 1);
    // Stopped, the file gets its last sync, and then no more.
    seam::Tick(psc, PSC_TIMER);
    seam::Commit(psc, PSC_STOP);
    int before = seam::DiskSyncs(dir.path("rec.dat"));
    ASSERT_TRUE(waitUntil([&] { return seam::DiskSyncs(dir.path("rec.dat")) > before; }, 3.0));
}

// Under strace: every sync of the recording file and of the event log over a recording of
// 3.5 s at 0.1 s, with the thread that made it and when.
TEST(DurabilityTraced, ARecordingIsSyncedOnceASecondAndNeverByTheProgramsThread) {
    if (access("/usr/bin/strace", X_OK) != 0 || std::system("strace -o /dev/null true 2>/dev/null") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    ProgramDir dir;
    Process sim = Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", dir.path("ports/com1")});
    ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(dir.path("ports/com1")); }, 10));
    Process traced = Process::start({"/usr/bin/strace", "-f", "-ttt", "-e", "trace=execve,openat,close,fdatasync",
                                     "-o", dir.path("trace"), "/usr/bin/timeout", "--foreground", "-s", "KILL",
                                     "3.5", PAVRO_BIN_DIR "/pavro-driver", dir.path(), dir.path("rec.dat"), "0.1",
                                     "record"},
                                    {"QT_QPA_PLATFORM=offscreen"}, dir.path("driver.log"));
    ASSERT_EQ(traced.wait(20), 128 + SIGKILL) << dir.read("driver.log");

    // strace splits a call another thread interrupts: "NAME(ARGS <unfinished ...>" and later
    // "<... NAME resumed>ARGS) = R".
    static const std::regex call(R"((\d+) +([\d.]+) +(?:<\.\.\. )?(\w+)(?:\(| resumed>)(.*))");
    std::map<int, std::string> opening;  // per thread, the path of an open not yet finished
    std::map<int, std::string> fdPath;
    std::map<std::string, std::vector<std::pair<int, double>>> syncs;  // path: {thread, time}
    int main = -1;
    std::stringstream trace(dir.read("trace"));
    for (std::string l; std::getline(trace, l);) {
        std::smatch m;
        if (!std::regex_match(l, m, call)) continue;
        int tid = std::stoi(m[1]);
        double t = std::stod(m[2]);
        std::string name = m[3], rest = m[4];
        if (name == "execve" && rest.find("pavro-driver\"") != std::string::npos) main = tid;
        if (name == "openat") {
            std::size_t q = rest.find('"');
            if (q != std::string::npos) opening[tid] = rest.substr(q + 1, rest.find('"', q + 1) - q - 1);
            std::size_t r = rest.rfind(") = ");
            if (r != std::string::npos && rest.find("<unfinished") == std::string::npos) {
                int fd = std::atoi(rest.c_str() + r + 4);
                if (fd >= 0) fdPath[fd] = opening[tid];
            }
        }
        if (name == "close") fdPath.erase(std::atoi(rest.c_str()));
        if (name == "fdatasync" && rest.find("resumed") == std::string::npos && l.find("<...") == std::string::npos) {
            auto it = fdPath.find(std::atoi(rest.c_str()));
            if (it != fdPath.end()) syncs[it->second].push_back({tid, t});
        }
    }
    ASSERT_GT(main, 0) << dir.read("trace");
    const auto& recording = syncs[dir.path("rec.dat")];
    EXPECT_GE(recording.size(), 2u);
    EXPECT_LE(recording.size(), 4u);
    EXPECT_GE(syncs[dir.path("pavro-events.log")].size(), 1u);
    for (const std::string& path : {dir.path("rec.dat"), dir.path("pavro-events.log")}) {
        const auto& list = syncs[path];
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_NE(list[i].first, main) << path << ": synced by the program's own thread";
            if (i) {
                EXPECT_GE(list[i].second - list[i - 1].second, 0.99) << path << ": synced twice within a second";
            }
        }
    }
}

}  // namespace
