// SPDX-License-Identifier: GPL-3.0-or-later
// Live polling: what the panel shows after each outcome of a poll.
#include "sim_fixture.h"

namespace {

using Polling = ModuleTest;

TEST_F(Polling, ATickWhilePollingIsOffChangesNothing) {
    poll();
    EXPECT_TRUE(module.commands().empty());
    SetCtrlVal(p1, P1_BUSY, 1);
    poll();
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "1");
}

TEST_F(Polling, ACompletedPollShowsTheValuesAndOk) {
    connect();
    module.setReading(42.5);
    poll();
    EXPECT_EQ(sent(), kPoll);
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
    EXPECT_EQ(fehlx, 0);
    EXPECT_NEAR(value(P1_O2), 42.5, 0.5);
    EXPECT_NEAR(value(P1_U1), 3.2, 0.1);
    EXPECT_NEAR(value(P1_U6), 49.8, 0.1);
    EXPECT_NEAR(wert[2], 24.5, 0.1);           // requested, never shown
    EXPECT_EQ(seam::Precision(p1, P1_O2), 1);  // mode 1, between 10 and 100
}

TEST_F(Polling, AnM2ReplyWithAnotherLetterShowsItsTextAndZero) {
    connect();
    sim::Fault x;
    x.letter = 'x';
    module.setFault("m2", x);
    poll();
    EXPECT_EQ(status().substr(0, 2), "x=");
    EXPECT_EQ(value(P1_O2), 0.0);
    EXPECT_EQ(seam::Text(p1, P1_O2), "0.000");
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
    EXPECT_EQ(fehlx, 1);
    seam::Commit(p1, P1_ZERO_RESET);
    auto popups = seam::TakePopups();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0].title, "Calibration");
    EXPECT_EQ(popups[0].text, " ERROR !");
}

TEST_F(Polling, AUReplyWithAnotherLetterIsShownThenFollowedByVV) {
    connect();
    sim::Fault x;
    x.letter = 'x';
    module.setFault("u4", x);
    poll();
    EXPECT_EQ(sent(), Commands({"u1", "u2", "u3", "u4", "VV", "u5", "u6", "m2"}));
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(fehlx, 0);
    EXPECT_NEAR(wert[4], 5.02, 0.1);  // the value after the letter is taken all the same
}

TEST_F(Polling, AModuleThatFallsSilentKeepsTheValuesAndRecoversWithoutSave) {
    connect();
    poll();
    sent();
    double before = value(P1_U1);
    module.silentAfter(3);
    poll();
    EXPECT_EQ(sent(), Commands({"u1", "u2", "u3", "u4"}));
    EXPECT_EQ(status(), "NO CONNECTION");
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "1");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(value(P1_U1), before);
    EXPECT_EQ(fehlx, 1);
    module.clearFaults();
    poll();
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
    EXPECT_TRUE(seam::Dimmed(p1, P1_SAVE));
}

TEST_F(Polling, MisbehavingRepliesNeverCrashAndGiveTheirSitesReaction) {
    connect();
    sim::Fault f;
    f.overlong = true;  // 24 characters are kept, the rest is flushed by the next exchange
    module.setFault("u1", f);
    poll();
    EXPECT_EQ(status(), "ok");
    EXPECT_EQ(std::string(in_buf).size(), 0u);
    module.clearFaults();
    f = {};
    f.noCR = true;  // a short reply without its carriage return is a time-out
    module.setFault("u2", f);
    poll();
    EXPECT_EQ(status(), "NO CONNECTION");
    module.clearFaults();
    f = {};
    f.garbage = true;  // begins with a NUL: no 'M', an empty reply text
    module.setFault("m2", f);
    poll();
    EXPECT_EQ(status(), "");
    EXPECT_EQ(fehlx, 1);
    EXPECT_EQ(value(P1_O2), 0.0);
    module.clearFaults();
    poll();
    EXPECT_EQ(status(), "ok");
}

}  // namespace
