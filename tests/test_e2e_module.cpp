// SPDX-License-Identifier: GPL-3.0-or-later
// pavro and pavro-sim as separate processes: confirm the port, poll, close.
#include "fixture.h"
#include "process.h"

namespace {

// Confirms port 1 in a real window, lets two polls pass, closes; checks the settings line and
// that the module received exactly the prescribed commands.
void confirmPollAndClose(const std::string& watchFile) {
    ProgramDir dir;
    if (!watchFile.empty()) dir.write("pavro-watch.ini", watchFile);
    VirtualDisplay x;
    ASSERT_TRUE(x.start(dir.path()));
    fs::create_symlink(fs::path(PAVRO_BIN_DIR) / "pavro", dir.path("pavro"));
    Process sim =
        Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", dir.path("ports/com1"), "--log", dir.path("sim.log")});
    ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(dir.path("ports/com1")); }, 10)) << "no simulator link";
    std::string display = "DISPLAY=" + x.name;
    Process pavro = Process::start({dir.path("pavro")}, {display, "QT_QPA_PLATFORM=xcb"}, dir.path("log"));
    // The port field has the keyboard: Enter confirms the remembered port, 1.
    Process key = Process::start({"/usr/bin/xdotool", "search", "--sync", "--name", "Kelto O2-Messung", "windowfocus",
                                  "--sync", "key", "Return"},
                                 {display});
    ASSERT_EQ(key.wait(15), 0);
    // The connection's exchanges, then two live polls of the main panel's timer.
    ASSERT_TRUE(waitUntil([&] { return textLines(dir.read("sim.log")).size() >= 14 + 2 * 7; }, 15)) << dir.read("sim.log");
    Process closer =
        Process::start({"/usr/bin/python3", PAVRO_SOURCE_DIR "/tests/close_window.py", "Kelto O2-Messung"}, {display});
    ASSERT_EQ(closer.wait(15), 0);
    EXPECT_EQ(pavro.wait(10), 0) << dir.read("log");
    EXPECT_EQ(dir.read("pavro.ini"), " 1 1.000000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n");
    auto sent = textLines(dir.read("sim.log"));
    std::vector<std::string> expected = {"VV", "s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "t12",
                                         "d1", "d2", "d3", "u1", "u2", "u3", "u4", "u5", "u6", "m2"};
    ASSERT_GE(sent.size(), expected.size() + 7) << dir.read("sim.log");
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + static_cast<long>(expected.size())), expected);
    // Every later line is a poll's, in the poll's order.
    for (std::size_t i = expected.size(); i < sent.size(); ++i)
        EXPECT_EQ(sent[i], expected[14 + (i - expected.size()) % 7]) << i;
}

TEST(EndToEnd, TheOperatorConfirmsPortOneSeesLiveReadingsAndCloses) {
    if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "no Xvfb/xdotool";
    confirmPollAndClose("");
}

// The simulator's readings lie far above the limit: the alarm is raised on the first poll, and
// the module still hears nothing but the prescribed commands.
TEST(EndToEnd, WithAnAlarmRaisedTheModuleReceivesTheSameCommands) {
    if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "no Xvfb/xdotool";
    confirmPollAndClose("[alarm]\nppm_high=1\nno_reading_s=0.5\n");
}

}  // namespace
