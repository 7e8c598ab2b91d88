// SPDX-License-Identifier: GPL-3.0-or-later
// Module settings and zero-point calibration.
#include "sim_fixture.h"

namespace {

TEST(SettingsWord, ModeBitsReadAndWriteBothWays) {
    EXPECT_EQ(mode_of_word(16), 0);
    EXPECT_EQ(mode_of_word(48), 1);
    EXPECT_EQ(mode_of_word(32), 2);
    EXPECT_EQ(mode_of_word(0), 2);
    EXPECT_EQ(settings_word(0, 0, 0, 0, 2), 32);
    EXPECT_EQ(settings_word(0, 0, 0, 0, 0), 16);
    EXPECT_EQ(settings_word(0, 0, 0, 0, 1), 48);
    // 65535 saved with every control as read: bits 8 and above go, 0-7 stay.
    EXPECT_EQ(settings_word(65535, 1, 1, 1, mode_of_word(65535)), 255);
    // Bits 2, 6 and 7 pass through whatever the operator does.
    EXPECT_EQ(settings_word(0xC4, 0, 0, 0, 0) & 0xC4, 0xC4);
    EXPECT_EQ(settings_word(0x3B, 0, 0, 0, 0), 16);
}

using ModuleSettings = ModuleTest;

TEST_F(ModuleSettings, ASaveWritesReadsBackAndLeavesTheNormalTimeOut) {
    connect();
    SetCtrlVal(p1, P1_D1, 1.23456);
    SetCtrlVal(p1, P1_S8, 77);
    SetCtrlVal(p1, P1_FLAG3, 1);
    sim::Fault slow;
    slow.delay = 1.0;  // within the save's 2.0 s, not within 0.6 s
    module.setFault("D1", slow);
    seam::Commit(p1, P1_SAVE);
    EXPECT_EQ(sent(), concat({"D11.235e+00", "D22.000e+02", "D3-5.000e-01", "S057", "S877", "S!S!"}, kSettingsRead));
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(value(P1_D1), 1.235);  // what the module stored
    EXPECT_TRUE(module.state().stored);
    module.clearFaults();
    sim::Fault late;
    late.delay = 0.7;
    module.setFault("u1", late);
    poll();
    EXPECT_EQ(status(), "NO CONNECTION");
}

TEST_F(ModuleSettings, AFailedWriteStopsAtTheFailingCommandAndKeepsTheEntries) {
    connect();
    SetCtrlVal(p1, P1_D3, 9.0);
    sim::Fault silent;
    silent.silent = true;
    module.setFault("D2", silent);
    seam::Commit(p1, P1_SAVE);
    EXPECT_EQ(sent(), Commands({"D11.500e+01", "D22.000e+02"}));
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(value(P1_D3), 9.0);
    EXPECT_EQ(module.state().d[1], 15.0);
}

TEST_F(ModuleSettings, AReadThatFailsAtS4ChangesNoControl) {
    connect();
    SetCtrlVal(p1, P1_S8, 99);
    set[3] = set[4] = -1;
    sim::Fault silent;
    silent.silent = true;
    module.setFault("s4", silent);
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(sent(), Commands({"VV", "s0", "s1", "s2", "s3", "s4"}));
    EXPECT_EQ(set[3], 75);
    EXPECT_EQ(set[4], -1);
    EXPECT_EQ(seam::Text(p1, P1_S8), "99");
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
}

TEST_F(ModuleSettings, AModuleThatNeverAnswersT12StillCompletesTheRead) {
    connect();
    set[12] = 3;
    sim::Fault silent;
    silent.silent = true;
    module.setFault("t12", silent);
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(sent(), concat({"VV"}, kSettingsRead));
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(set[12], 3);
    EXPECT_FALSE(seam::Visible(p1, P1_U3));  // the layout follows the previous code
}

using ZeroPoint = ModuleTest;

TEST_F(ZeroPoint, RefusalsSendNothingAndTheFirstReasonWins) {
    connect();
    fehlx = 1;
    wert[1] = 80.0;
    seam::Commit(p1, P1_ZERO_ADJUST);
    fehlx = 0;
    wert[1] = -50.01;
    seam::Commit(p1, P1_ZERO_RESET);
    seam::AnswerConfirm(0);
    wert[1] = -50.0;
    seam::Commit(p1, P1_ZERO_RESET);
    auto p = seam::TakePopups();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].text, " ERROR !");
    EXPECT_EQ(p[1].title, "Calibration");
    EXPECT_EQ(p[1].text, "ERROR OUT OF RANGE !");
    EXPECT_EQ(p[2].title, "CALIBRATION");
    EXPECT_EQ(p[2].text, "Reset Zero Point ?");
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(status(), "ok");
}

TEST_F(ZeroPoint, AConfirmedCommandWaitsASecondAndSwitchesPollingOn) {
    connect();
    hol = 0;
    wert[1] = 50.0;
    seam::AnswerConfirm(1);
    double t = Timer();
    seam::Commit(p1, P1_ZERO_ADJUST);
    EXPECT_GE(Timer() - t, 1.0);
    EXPECT_EQ(sent(), Commands({"D!D!"}));
    EXPECT_EQ(seam::TakePopups()[0].text, "Adjust Zero Point ?");
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(hol, 1);
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
    EXPECT_EQ(module.state().zeroAdjusts, 1);
}

TEST_F(ZeroPoint, AFailedCommandShowsItsOwnTextAndNoIndication) {
    connect();
    hol = 0;
    sim::Fault silent;
    silent.silent = true;
    module.setFault("*", silent);
    seam::AnswerConfirm(1);
    seam::Commit(p1, P1_ZERO_RESET);
    EXPECT_EQ(status(), "ERROR NO CONNECT");
    seam::AnswerConfirm(1);
    seam::Commit(p1, P1_ZERO_ADJUST);
    EXPECT_EQ(status(), "NO CONNECT");
    EXPECT_EQ(hol, 0);
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
    EXPECT_EQ(sent(), Commands({"D?D?", "D!D!"}));
}

TEST_F(ZeroPoint, ThePumpDoesNothingVisible) {
    connect();
    seam::Commit(p1, P1_PUMP);
    hol = 0;
    seam::Commit(p1, P1_PUMP);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(seam::TakePopups().empty());
}

}  // namespace

namespace {

// A module that answers one command after the time-out: its reply must never become the
// value of the command after it.
using LateReplies = ModuleTest;

sim::Fault lateBy(double seconds, const std::string& reply = "") {
    sim::Fault f;
    f.delay = seconds;
    f.reply = reply;
    return f;
}

TEST_F(LateReplies, AT12ReplyAfterItsTimeOutIsNotTakenForD1AndTheNextSaveWritesTheModulesValues) {
    module.setFault("t12", lateBy(0.7, "t1221"));
    seam::Type(p4, P4_PORT, "1");
    EXPECT_EQ(module.commands(), concat({"VV"}, kSettingsRead));
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(set[12], 1);  // the time-out at t12 is tolerated: the type keeps its value
    EXPECT_EQ(value(P1_D1), 15.0);
    EXPECT_EQ(value(P1_D2), 200.0);
    EXPECT_EQ(value(P1_D3), -0.5);
    module.clearFaults();
    module.clearCommands();
    seam::Commit(p1, P1_SAVE);
    EXPECT_EQ(sent(), concat({"D11.500e+01", "D22.000e+02", "D3-5.000e-01", "S049", "S83", "S!S!"}, kSettingsRead));
    EXPECT_EQ(module.state().d[1], 15.0);
}

TEST_F(LateReplies, AVVReplyAfterItsTimeOutDoesNotBecomeTheSettingsWord) {
    connect();
    module.setFault("VV", lateBy(0.7, "VV 7"));
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(set[0], 0x31);
    EXPECT_EQ(seam::Text(p1, P1_MODE), "1");
    module.clearFaults();
    sent();
    seam::Commit(p1, P1_SAVE);
    // The module's own word goes back.
    EXPECT_EQ(sent(), concat({"D11.500e+01", "D22.000e+02", "D3-5.000e-01", "S049", "S83", "S!S!"}, kSettingsRead));
    EXPECT_EQ(module.state().s[0], 0x31);
}

TEST_F(LateReplies, ASettingsReplyThatAnswersAnotherCommandFailsTheReadAndChangesNoControl) {
    connect();
    SetCtrlVal(p1, P1_D1, 7.0);
    for (const char* query : {"s0", "t12", "d2"}) {
        module.clearFaults();
        module.setFault(query, lateBy(0.0, "d1 9.999e+02"));  // in time, but the wrong echo
        ewert[2] = -1.0;
        seam::Commit(p1, P1_GO);
        EXPECT_EQ(status(), "NO CONNECTION") << query;
        EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE)) << query;
        EXPECT_EQ(value(P1_D1), 7.0) << query;
        EXPECT_EQ(ewert[2], -1.0) << query;  // d2's reply was not parsed
        EXPECT_EQ(sent().back(), query);     // the read ends at the failing query
    }
    module.clearFaults();
    seam::Commit(p1, P1_GO);
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(value(P1_D1), 15.0);
}

TEST_F(LateReplies, TheRecordersFirstSampleAfterAPollsTimeOutTakesItsOwnReply) {
    connect();
    module.setFault("u3", lateBy(0.7));
    poll();
    ASSERT_EQ(status(), "NO CONNECTION");
    module.clearFaults();
    seam::ChooseMenuItem(m1, MENUBAR_RECORDER_SHOW);
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    EXPECT_GT(mw, 10.0);  // the module's reading, not the u3 reply nor 0 for a mismatch
    EXPECT_EQ(seam::Text(psc, PSC_VALUE).find('*'), std::string::npos) << seam::Text(psc, PSC_VALUE);
    seam::Commit(psc, PSC_STOP);
}

}  // namespace
