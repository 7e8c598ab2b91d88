// SPDX-License-Identifier: GPL-3.0-or-later
// Serial operations of the run-time layer on a pseudo-terminal the test opens itself.
#include "fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

class Serial : public ::testing::Test {
protected:
    ProgramDir dir;
    int master = -1;

    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        grantpt(master);
        unlockpt(master);
        fs::create_directories(dir.path("ports"));
        fs::create_symlink(ptsname(master), dir.path("ports/com5"));
        ASSERT_EQ(OpenComConfig(5, "", 9600, 0, 8, 1, 128, 24), 0);
        EXPECT_EQ(*_GetRs232Err(), 0);
        SetComTime(5, 0.1);
    }
    void TearDown() override { close(master); }
    void send(const std::string& s) { ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    std::string received() {
        std::string out;
        char b[256];
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 50) > 0) {
            ssize_t n = read(master, b, sizeof b);
            if (n <= 0) break;
            out.append(b, static_cast<std::size_t>(n));
        }
        return out;
    }
};

TEST_F(Serial, WritesExactlyTheBytesGiven) {
    EXPECT_EQ(ComWrt(5, "s0\r", 3), 3);
    EXPECT_EQ(ReturnRS232Err(), 0);
    EXPECT_EQ(received(), "s0\r");
}

TEST_F(Serial, ReadsStopAtTheTerminatorAtMaxCountOrAtTheTimeOut) {
    char b[25] = {};
    send("abc\rdef");
    Delay(0.02);
    EXPECT_EQ(ComRdTerm(5, b, 24, 13), 3);
    EXPECT_EQ(ReturnRS232Err(), 0);
    EXPECT_EQ(std::string(b, 3), "abc");
    EXPECT_EQ(b[3], '\0');  // neither terminator nor zero is stored
    double t = Timer();
    EXPECT_EQ(ComRdTerm(5, b, 24, 13), 3);  // "def", then the time-out
    EXPECT_EQ(ReturnRS232Err(), kRs232Timeout);
    EXPECT_GE(Timer() - t, 0.09);
    send(std::string(30, 'x') + "\r");
    Delay(0.02);
    EXPECT_EQ(ComRdTerm(5, b, 24, 13), 24);
    EXPECT_EQ(ReturnRS232Err(), 0);
    EXPECT_EQ(ComRdTerm(5, b, 24, 13), 6);  // the rest is still there until flushed
    send("late\r");
    Delay(0.02);
    FlushInQ(5);
    EXPECT_EQ(ComRdTerm(5, b, 24, 13), 0);
    EXPECT_EQ(ReturnRS232Err(), kRs232Timeout);
}

TEST_F(Serial, PortsThatAreNotOpenOrDoNotExistFail) {
    char b[25];
    EXPECT_LT(ComRdTerm(7, b, 24, 13), 0);
    EXPECT_EQ(ReturnRS232Err(), kRs232NotOpen);
    EXPECT_EQ(ComWrt(0, "x", 1), kRs232BadPort);
    EXPECT_EQ(ReturnRS232Err(), kRs232BadPort);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComConfig(96, "", 9600, 0, 8, 1, 128, 24), kRs232CannotOpen);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("/dev/ttyACM31"), std::string::npos);
    EXPECT_NE(*_GetRs232Err(), 0);
    ComWrt(5, "ok", 2);
    EXPECT_EQ(ReturnRS232Err(), 0);  // every operation sets the state afresh
}

TEST_F(Serial, PortNumbersMapToDevicesAndPortsLinksWin) {
    char dev[kMaxPathname];
    const std::pair<int, const char*> cases[] = {{1, "/dev/ttyS0"},     {32, "/dev/ttyS31"},  {33, "/dev/ttyUSB0"},
                                                 {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}};
    for (auto [port, device] : cases) {
        ASSERT_EQ(ComPortDevice(port, dev, sizeof dev), 0);
        EXPECT_STREQ(dev, device);
    }
    ComPortDevice(5, dev, sizeof dev);
    EXPECT_EQ(std::string(dev), dir.path("ports/com5"));
    EXPECT_EQ(ComPortDevice(97, dev, sizeof dev), kRs232BadPort);
    EXPECT_EQ(ComPortDevice(0, dev, sizeof dev), kRs232BadPort);
}

TEST(AnsweredPort, HandsOverEachWriteAndNeverWaitsForAMissingTerminator) {
    std::vector<std::string> heard;
    seam::AnswerPort(7, [&](const std::string& c) {
        heard.push_back(c);
        return c == "VV\r" ? std::string("VV\rleft\r") : std::string("u1 2", 4);
    });
    ASSERT_EQ(OpenComConfig(7, "", 9600, 0, 8, 1, 128, 24), 0);
    SetComTime(7, 5.0);
    char b[32] = {};
    EXPECT_EQ(ComWrt(7, "VV\r", 3), 3);
    EXPECT_EQ(ComRdTerm(7, b, 24, 13), 2);
    EXPECT_EQ(std::string(b, 2), "VV");
    FlushInQ(7);  // "left" goes, as what waits on a real line does
    EXPECT_EQ(ComWrt(7, "u1\r", 3), 3);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdTerm(7, b, 24, 13), 4);
    EXPECT_EQ(ReturnRS232Err(), kRs232Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_EQ(heard, (std::vector<std::string>{"VV\r", "u1\r"}));
    seam::AnswerPort(7, nullptr);  // a real port again, and none is open
    EXPECT_EQ(ComWrt(7, "VV\r", 3), kRs232NotOpen);
}

}  // namespace
