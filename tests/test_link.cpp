// SPDX-License-Identifier: GPL-3.0-or-later
// Serial link and module protocol against the simulator over a real pty.
#include "protocol.h"
#include "sim_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

TEST(Replies, AnEchoIsTheCommandsWholeTextBeforeItsCarriageReturn) {
    EXPECT_TRUE(reply_echoes("s4 12", "s4\r"));
    EXPECT_TRUE(reply_echoes("t1221", "t12\r"));
    EXPECT_TRUE(reply_echoes("d2-5.000e-01", "d2\r"));
    EXPECT_FALSE(reply_echoes("s5 12", "s4\r"));
    EXPECT_FALSE(reply_echoes("t1 21", "t12\r"));
    EXPECT_FALSE(reply_echoes("VV 7", "s0\r"));
    EXPECT_FALSE(reply_echoes("", "d1\r"));
}

// A reply buffer as the read leaves it: 25 bytes, the text at its start.
struct Reply {
    char b[kBufSize] = {};
    explicit Reply(const std::string& text) { std::memcpy(b, text.data(), std::min(text.size(), std::size_t{24})); }
};

TEST(Replies, ValuesAreReadFromEachCommandsPositionAndOnlyWhereANumberStands) {
    double d = -1;
    int n = -1;
    EXPECT_TRUE(reply_double(kCmdU, Reply("u20.5").b, &d));
    EXPECT_EQ(d, 20.5);
    EXPECT_TRUE(reply_double(kCmdU, Reply("x 20.5").b, &d));  // the letter is checked apart
    EXPECT_FALSE(reply_letter_ok(kCmdU, Reply("x 20.5").b));
    EXPECT_TRUE(reply_double(kCmdM2, Reply("M=12.25").b, &d));
    EXPECT_EQ(d, 12.25);
    EXPECT_TRUE(reply_letter_ok(kCmdM2, Reply("M=12.25").b));
    EXPECT_FALSE(reply_letter_ok(kCmdM2, Reply("m=12.25").b));
    EXPECT_TRUE(reply_int(kCmdS, Reply("s3 75").b, &n));
    EXPECT_EQ(n, 75);
    EXPECT_TRUE(reply_int(kCmdT12, Reply("t1221").b, &n));
    EXPECT_EQ(n, 21);
    EXPECT_TRUE(reply_double(kCmdD, Reply("d2-5.000e-01").b, &d));
    EXPECT_EQ(d, -0.5);
    d = 7;
    n = 7;
    EXPECT_FALSE(reply_double(kCmdD, Reply("d2").b, &d));  // nothing at the position: untouched
    EXPECT_FALSE(reply_int(kCmdS, Reply("s0 x").b, &n));
    EXPECT_FALSE(reply_double(kCmdVV, Reply("VV 7").b, &d));  // VV has no value
    EXPECT_EQ(d, 7);
    EXPECT_EQ(n, 7);
}

TEST(Commands, EachFormatBuildsItsCommandLineByteForByte) {
    char b[kBufSize];
    EXPECT_EQ(Fmt(b, kCommands[kCmdS].format, 0, kCR), 3);
    EXPECT_STREQ(b, "s0\r");
    Fmt(b, kCommands[kCmdU].format, 6, kCR);
    EXPECT_STREQ(b, "u6\r");
    Fmt(b, kCommands[kCmdS0].format, 53, kCR);
    EXPECT_STREQ(b, "S053\r");
    Fmt(b, kCommands[kCmdS0].format, -7, kCR);
    EXPECT_STREQ(b, "S0-7\r");
    EXPECT_EQ(Fmt(b, kCommands[kCmdDWrite].format, 2, 15.0, kCR), 12);
    EXPECT_STREQ(b, "D21.500e+01\r");
    Fmt(b, kCommands[kCmdDWrite].format, 1, -0.5, kCR);
    EXPECT_STREQ(b, "D1-5.000e-01\r");
    Fmt(b, kCommands[kCmdStore].format, kCR);
    EXPECT_STREQ(b, "S!S!\r");
    Fmt(b, kCommands[kCmdZeroReset].format, kCR);
    EXPECT_STREQ(b, "D?D?\r");
    // Every line is known again for the command it was built from.
    for (int c = kCmdU; c <= kCmdZeroAdjust; ++c) {
        Fmt(b, kCommands[c].format, 1, 1.0, kCR);
        EXPECT_EQ(command_of(b), c) << kCommands[c].name;
    }
}

TEST(Replies, OnlyTheQueriesAndVVHaveAFormALateReplyIsKnownBy) {
    EXPECT_TRUE(reply_of("u24.5", "u3\r"));  // any u reply: the first letter is all there is
    EXPECT_TRUE(reply_of("M=12.5", "m2\r"));
    EXPECT_FALSE(reply_of("m=12.5", "m2\r"));
    EXPECT_TRUE(reply_of("t12 11", "t12\r"));
    EXPECT_TRUE(reply_of("VV 7", "VV\r"));
    EXPECT_FALSE(reply_of("D1", "D11.500e+01\r"));
    EXPECT_FALSE(reply_of("S!", "S!S!\r"));
    EXPECT_FALSE(reply_of("D?", "D?D?\r"));
}

using Link = ModuleTest;

// The sites that clear in_buf before their read find their reply alone in it; the others
// (VV, the zero point) read over what the exchange before them left.
using Steps = ProgramTest;

TEST_F(Steps, EachSiteReadsIntoAClearedBufferOrNotAsItsStepsSay) {
    std::vector<std::pair<std::string, bool>> cleared;  // command, in_buf empty when it went out
    seam::AnswerPort(1, [&](const std::string& c) -> std::string {
        std::string cmd = c.substr(0, c.size() - 1);
        cleared.emplace_back(
            cmd.substr(0, 2) == "D1" || cmd.substr(0, 2) == "D2" || cmd.substr(0, 2) == "D3" ? cmd.substr(0, 2) : cmd,
            std::all_of(in_buf, in_buf + kReplyMax, [](char b) { return b == 0; }));
        if (cmd == "VV" || cmd == "D?D?") return cmd + " 123456789\r";
        if (cmd == "s0") return "s0 7\r";  // shorter than what VV left
        if (cmd[0] == 's' || cmd[0] == 'd' || cmd == "t12") return cmd + " 1\r";
        return cmd.substr(0, 2) + "\r";
    });
    Fmt(in_buf, "junk");
    seam::Type(p4, P4_PORT, "1");
    EXPECT_EQ(set[0], 7);  // not 723456789
    Fmt(in_buf, "junk");
    seam::Commit(p1, P1_SAVE);
    seam::AnswerConfirm(1);
    seam::UseVirtualTime(true);
    seam::Commit(p1, P1_ZERO_RESET);
    seam::UseVirtualTime(false);
    seam::AnswerPort(1, nullptr);
    std::vector<std::pair<std::string, bool>> expected = {{"VV", false}};
    for (const auto& c : kSettingsRead) expected.emplace_back(c, true);
    for (const char* c : {"D1", "D2", "D3", "S039", "S81", "S!S!"}) expected.emplace_back(c, true);
    for (const auto& c : kSettingsRead) expected.emplace_back(c, true);
    expected.emplace_back("D?D?", false);
    EXPECT_EQ(cleared, expected);
}

TEST_F(Link, ConfirmingThePortSynchronisesReadsTheSettingsAndEnablesPolling) {
    seam::Type(p4, P4_PORT, "1");
    EXPECT_EQ(module.commands(), concat({"VV"}, kSettingsRead));
    EXPECT_FALSE(seam::PanelVisible(p4));
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(hol, 1);
    // The module's settings on the panel: word 0x31 is flag 0 and display mode 1.
    EXPECT_EQ(seam::Text(p1, P1_FLAG0), "1");
    EXPECT_EQ(seam::Text(p1, P1_FLAG1), "0");
    EXPECT_EQ(seam::Text(p1, P1_MODE), "1");
    EXPECT_EQ(seam::Text(p1, P1_SOLLTEMP), "750");
    EXPECT_EQ(seam::Text(p1, P1_S6), "12");
    EXPECT_EQ(seam::Text(p1, P1_S8), "3");
    EXPECT_EQ(value(P1_D1), 15.0);
    EXPECT_EQ(value(P1_D3), -0.5);
    EXPECT_EQ(set[12], 11);
    EXPECT_FALSE(seam::Visible(p1, P1_D3));
}

TEST_F(Link, ConnectAtStartConfirmsTheRememberedPortAsTheOperatorWould) {
    seam::Type(p4, P4_PORT, "1");
    const auto byHand = module.commands();
    const std::string panelByHand = seam::Text(p1, P1_STATUS);
    module.clearCommands();
    for (const char* off : {"[link]\nconnect_at_start=false\n", "[link]\nconnect_at_start=yes\n"}) {
        dir.write("pavro-watch.ini", off);
        start_program();
        EXPECT_TRUE(module.commands().empty()) << off;
        EXPECT_TRUE(seam::PanelVisible(p4)) << off;
    }
    dir.write("pavro-watch.ini", "[link]\nconnect_at_start=true\n");
    start_program();
    EXPECT_EQ(module.commands(), byHand);
    EXPECT_EQ(byHand, concat({"VV"}, kSettingsRead));
    EXPECT_FALSE(seam::PanelVisible(p4));
    EXPECT_EQ(seam::Text(p1, P1_STATUS), panelByHand);
    EXPECT_EQ(hol, 1);
}

TEST_F(Link, CommandsGoOutByteForByte) {
    connect();
    // Every line the module received ended at its carriage return, with nothing before it
    // but the command: s0 is three bytes on the wire.
    seam::Commit(p1, P1_GO);
    auto c = sent();
    ASSERT_EQ(c.size(), 14u);
    EXPECT_EQ(c[1], "s0");
    set[0] = 53;
    SetCtrlVal(p1, P1_MODE, 2);
    SetCtrlVal(p1, P1_FLAG0, 0);
    SetCtrlVal(p1, P1_D2, 15.0);
    SetCtrlVal(p1, P1_D1, -0.5);
    seam::Commit(p1, P1_SAVE);
    c = sent();
    ASSERT_GE(c.size(), 6u);
    EXPECT_EQ(c[0], "D1-5.000e-01");
    EXPECT_EQ(c[1], "D21.500e+01");
    EXPECT_EQ(c[3], "S036");  // 53 keeps bit 2, gains mode 2 (bit 5)
    EXPECT_EQ(c[4], "S83");
    EXPECT_EQ(c[5], "S!S!");
    EXPECT_EQ(Commands(c.begin() + 6, c.end()), kSettingsRead);
    EXPECT_EQ(module.state().s[0], 36);
}

TEST_F(Link, ASilentModuleAtConfirmationLeavesTheIndicationAndPollingOn) {
    module.silentAfter(0);
    seam::Type(p4, P4_PORT, "1");
    EXPECT_EQ(module.commands(), Commands({"VV", "s0"}));
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(hol, 1);
    module.clearCommands();
    poll();
    EXPECT_EQ(module.commands(), Commands({"u1"}));
    EXPECT_EQ(status(), "NO CONNECTION");
}

TEST_F(Link, ReSynchronisingBeforeThePortIsOpenFailsEveryPollAtOnce) {
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(hol, 1);
    EXPECT_EQ(status(), "NO CONNECTION");
    poll();
    EXPECT_EQ(ReturnRS232Err(), kRs232NotOpen);  // failed at once: nothing waited for a reply
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_TRUE(module.commands().empty());
}

TEST_F(Link, APulledAdapterFailsEveryExchangeAndRecoversWhenItIsBack) {
    connect();
    poll();
    ASSERT_EQ(status(), "ok");
    module.hangUp(0.3);
    poll();
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
    ASSERT_TRUE(module.waitIdle(3.0));  // the device is back at the same link
    poll();
    EXPECT_EQ(status(), "ok");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));  // only a completed settings read undims it
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
}

TEST_F(Link, TheTimeOutFollowsTheRecordingFileAndTheNextSave) {
    connect();
    sim::Fault late;
    late.delay = 0.4;
    module.setFault("u1", late);
    poll();
    EXPECT_EQ(status(), "ok");  // 0.4 s is within 0.6 s
    seam::AnswerFileSelect(2, dir.path("rec.dat"));
    speichern_starten();
    ASSERT_EQ(speichern, 1);
    poll();
    EXPECT_EQ(status(), "NO CONNECTION");  // 0.3 s from the file's opening on
    ASSERT_TRUE(module.waitIdle(2.0));     // the late reply has landed
    m_stop(psc, PSC_STOP, EVENT_COMMIT, nullptr, 0, 0);
    poll();
    EXPECT_EQ(status(), "NO CONNECTION");  // stays after the recording stops
    ASSERT_TRUE(module.waitIdle(2.0));
    seam::Commit(p1, P1_GO);
    seam::Commit(p1, P1_SAVE);
    poll();
    EXPECT_EQ(status(), "ok");  // the save ends with 0.6 s
}

}  // namespace
