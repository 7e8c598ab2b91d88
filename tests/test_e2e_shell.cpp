// SPDX-License-Identifier: GPL-3.0-or-later
// The built program as a separate process on a real (virtual) X display.
#include "fixture.h"
#include "process.h"

namespace {

class Program : public ::testing::Test {
protected:
    ProgramDir dir;
    VirtualDisplay x;

    void SetUp() override {
        if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(x.start(dir.path()));
        // The operator's folder holds a link to the program: that folder is the program's.
        fs::create_symlink(fs::path(PAVRO_BIN_DIR) / "pavro", dir.path("pavro"));
    }
    Process start() {
        return Process::start({dir.path("pavro")}, {"DISPLAY=" + x.name, "QT_QPA_PLATFORM=xcb"}, dir.path("log"));
    }
    int close_main_panel() {
        Process closer = Process::start(
            {"/usr/bin/python3", PAVRO_SOURCE_DIR "/tests/close_window.py", "Kelto O2-Messung"}, {"DISPLAY=" + x.name});
        return closer.wait(15);
    }
};

TEST_F(Program, ClosingTheMainPanelWritesTheSettingsAndEndsWithStatusZero) {
    Process pavro = start();
    ASSERT_EQ(close_main_panel(), 0) << dir.read("log");
    EXPECT_EQ(pavro.wait(10), 0) << dir.read("log");
    EXPECT_EQ(dir.read("pavro.ini"), " 1 1.000000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n");
}

TEST_F(Program, ARememberedSettingComesBackUnchangedAtTheNextClose) {
    dir.write("pavro.ini", " 5 0.5 0 1 -1.0 20.0 2.5 10.0 Lu_2002\n");
    Process pavro = start();
    ASSERT_EQ(close_main_panel(), 0);
    EXPECT_EQ(pavro.wait(10), 0);
    EXPECT_EQ(dir.read("pavro.ini"), " 5 0.500000 0 1 -1.000000 20.000000 2.500000 10.000000 Lu_2002\n");
}

TEST_F(Program, ABrokenPanelFileEndsTheProgramWithAMessageNamingIt) {
    fs::remove(dir.path("pavro_5.uir"));
    fs::create_symlink(fs::path(PAVRO_SOURCE_DIR) / "tests" / "process.h", dir.path("pavro_5.uir"));
    Process pavro = Process::start({dir.path("pavro")}, {"QT_QPA_PLATFORM=offscreen"}, dir.path("log"));
    EXPECT_EQ(pavro.wait(10), 2);
    EXPECT_NE(dir.read("log").find("pavro_5.uir: not valid JSON"), std::string::npos) << dir.read("log");
    EXPECT_FALSE(fs::exists(dir.path("pavro.ini")));
}

}  // namespace
