// SPDX-License-Identifier: GPL-3.0-or-later
// Recording as processes: against pavro-sim, killed mid-recording, and read back by the viewer.
#include "fixture.h"
#include "process.h"

#include <random>
#include <regex>

namespace {

class Recording : public ::testing::Test {
protected:
    ProgramDir dir;
    Process sim;

    void SetUp() override {
        sim = Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", dir.path("ports/com1")});
        ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(dir.path("ports/com1")); }, 10)) << "no simulator link";
    }
    Process driver(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {PAVRO_BIN_DIR "/pavro-driver", dir.path(), dir.path("rec.dat")};
        argv.insert(argv.end(), args.begin(), args.end());
        return Process::start(argv, {"QT_QPA_PLATFORM=offscreen"}, dir.path("driver.log"));
    }
    // Every line whole: a blank, the time with one decimal, a tab, the value, a blank.
    static void expectWholeLines(const std::string& content) {
        static const std::regex line(R"( \d+\.\d\t-?\d\.\d{6}e[+-]\d\d )");
        ASSERT_FALSE(content.empty());
        EXPECT_EQ(content.back(), '\n') << "a partial last line";
        std::stringstream s(content);
        double last = -1;
        for (std::string l; std::getline(s, l);) {
            ASSERT_TRUE(std::regex_match(l, line)) << "[" << l << "]";
            double t = std::stod(l);
            EXPECT_GE(t, last);
            last = t;
        }
    }
};

TEST_F(Recording, AKilledProgramLeavesEveryWrittenLineWhole) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3; ++round) {
        Process p = driver({"0.05", "record"});
        Delay(0.4 + std::uniform_real_distribution<double>(0.0, 0.6)(rng));
        kill(p.pid, SIGKILL);
        EXPECT_EQ(p.wait(5), 128 + SIGKILL) << dir.read("driver.log");
        std::string content = dir.read("rec.dat");
        expectWholeLines(content);
        EXPECT_GE(std::count(content.begin(), content.end(), '\n'), 2);
        // Its info is whole too, and says nothing of an end.
        std::string info = dir.read("rec.dat.json");
        EXPECT_NE(info.find("\"start_unix_ms\""), std::string::npos) << info;
        EXPECT_EQ(info.find("\"end\""), std::string::npos) << info;
        EXPECT_EQ(info.back(), '\n');
    }
}

TEST_F(Recording, AFullDiskKeepsTheLinesBeforeItAndTheRecordingGoesOn) {
    // Files limited to 400 bytes: 21 lines of 19 bytes fit, the 22nd does not.
    Process p = driver({"0.05", "fill", "30", "400"});
    ASSERT_EQ(p.wait(30), 0) << dir.read("driver.log");
    EXPECT_NE(dir.read("driver.log").find("samples 30\n"), std::string::npos) << dir.read("driver.log");
    std::string content = dir.read("rec.dat");
    expectWholeLines(content);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 21);
}

TEST_F(Recording, TheViewerDrawsWhatWasRecorded) {
    Process p = driver({"0.05", "view", "12"});
    ASSERT_EQ(p.wait(30), 0) << dir.read("driver.log");
    std::string content = dir.read("rec.dat");
    expectWholeLines(content);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 12);
    std::string log = dir.read("driver.log");
    EXPECT_NE(log.find("points 12\n"), std::string::npos) << log;
    // The viewer's first point is the file's first line.
    std::stringstream s(content);
    double t, v;
    s >> t >> v;
    char expected[64];
    std::snprintf(expected, sizeof expected, "\n%.1f %.6e\n", t, v);
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

}  // namespace
