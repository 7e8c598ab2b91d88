// SPDX-License-Identifier: GPL-3.0-or-later
// The watch's rules on sequences of readings: debounce, hysteresis, latching, acknowledge,
// unit changes, the no-reading alarm.
#include "feed.h"
#include "rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    double value;
    int unit;
};

// Feeds the readings one a second; returns what each one changed.
std::vector<WatchChange> feed(LimitAlarm& a, const WatchRules& r, const std::vector<Step>& steps, double t0 = 0) {
    std::vector<WatchChange> out;
    for (const Step& s : steps) out.push_back(limit_reading(a, r, s.value, s.unit, t0 += 1.0));
    return out;
}

WatchRules highPpm(double high, int n = 1, double hysteresis = 0) {
    WatchRules r;
    r.ppm.hasHigh = true;
    r.ppm.high = high;
    r.readings = n;
    r.hysteresis = hysteresis;
    return r;
}

constexpr int P = kFeedPpm, V = kFeedMv;
constexpr WatchChange _ = kWatchNone, R = kWatchRaised, C = kWatchCleared, B = kWatchBackInside;

TEST(WatchRules, ARunOfNReadingsBeyondALimitRaisesAndABrokenRunDoesNot) {
    WatchRules r = highPpm(20, 3);
    LimitAlarm a;
    EXPECT_EQ(feed(a, r, {{25, P}, {25, P}, {15, P}, {25, P}, {25, P}, {25.3, P}}),
              std::vector<WatchChange>({_, _, _, _, _, R}));
    EXPECT_EQ(a.state, kAlarmHigh);
    EXPECT_EQ(a.value, 25.3);
    EXPECT_EQ(a.limit, 20);
    EXPECT_EQ(a.since, 6.0);
    // A reading at the limit is not beyond it.
    LimitAlarm b;
    EXPECT_EQ(feed(b, highPpm(20), {{20, P}}), std::vector<WatchChange>({_}));
}

TEST(WatchRules, ItClearsOnlyAfterNReadingsBackInsideByTheHysteresisOnBothSides) {
    WatchRules r = highPpm(20, 2, 2);
    r.ppm.hasLow = true;
    r.ppm.low = 5;
    LimitAlarm a;
    // 19 is inside the limit but not by the hysteresis; a run inside broken by it starts anew.
    EXPECT_EQ(feed(a, r, {{21, P}, {21, P}, {19, P}, {18, P}, {19, P}, {18, P}, {17.5, P}}),
              std::vector<WatchChange>({_, R, _, _, _, _, C}));
    EXPECT_EQ(a.state, kAlarmNormal);
    EXPECT_EQ(feed(a, r, {{4, P}, {4.9, P}, {5.5, P}, {6.9, P}, {7, P}, {7.2, P}}),
              std::vector<WatchChange>({_, R, _, _, _, C}));
}

TEST(WatchRules, AHighAlarmTurnsLowAfterNReadingsBelowTheLowLimit) {
    WatchRules r = highPpm(20, 2);
    r.ppm.hasLow = true;
    r.ppm.low = 5;
    LimitAlarm a;
    EXPECT_EQ(feed(a, r, {{30, P}, {30, P}, {1, P}, {1, P}}), std::vector<WatchChange>({_, R, _, R}));
    EXPECT_EQ(a.state, kAlarmLow);
    EXPECT_EQ(a.limit, 5);
}

TEST(WatchRules, ALatchingAlarmStaysUntilAcknowledgedAndAnEarlyAcknowledgementLetsItClear) {
    WatchRules r = highPpm(20);
    r.latching = true;
    LimitAlarm a;
    EXPECT_EQ(feed(a, r, {{25, P}, {10, P}, {10, P}}), std::vector<WatchChange>({R, B, _}));
    EXPECT_NE(a.state, kAlarmNormal);
    EXPECT_TRUE(a.backInside);
    // Beyond again before anyone came: raised as before.
    EXPECT_EQ(feed(a, r, {{26, P}}), std::vector<WatchChange>({R}));
    EXPECT_FALSE(a.backInside);
    EXPECT_EQ(feed(a, r, {{10, P}}), std::vector<WatchChange>({B}));
    EXPECT_EQ(limit_acknowledge(a), kWatchCleared);
    EXPECT_EQ(a.state, kAlarmNormal);
    EXPECT_EQ(limit_acknowledge(a), kWatchNone);

    LimitAlarm early;
    feed(early, r, {{25, P}});
    EXPECT_EQ(limit_acknowledge(early), kWatchAcknowledged);
    EXPECT_EQ(limit_acknowledge(early), kWatchNone);
    EXPECT_EQ(feed(early, r, {{10, P}}), std::vector<WatchChange>({C}));
}

TEST(WatchRules, AnUnlatchedAlarmClearsByItselfAcknowledgedOrNot) {
    WatchRules r = highPpm(20);
    LimitAlarm a;
    feed(a, r, {{25, P}});
    EXPECT_EQ(limit_acknowledge(a), kWatchAcknowledged);
    EXPECT_TRUE(a.acknowledged);
    EXPECT_EQ(feed(a, r, {{25, P}, {10, P}}), std::vector<WatchChange>({_, C}));
    // A new alarm is not acknowledged.
    EXPECT_EQ(feed(a, r, {{25, P}}), std::vector<WatchChange>({R}));
    EXPECT_FALSE(a.acknowledged);
}

TEST(WatchRules, AReadingOfAnotherUnitBreaksTheRunAndMeetsItsOwnUnitsLimits) {
    WatchRules r = highPpm(20, 2);
    LimitAlarm a;
    // 25 mV is no ppm reading: the ppm run restarts.
    EXPECT_EQ(feed(a, r, {{25, P}, {25, V}, {25, P}, {25, P}}), std::vector<WatchChange>({_, _, _, R}));
    // mV has no limits: readings in mV count as inside, and clear after N.
    EXPECT_EQ(feed(a, r, {{500, V}, {500, V}}), std::vector<WatchChange>({_, C}));
    // With mV limits of its own, the same number is judged by them.
    r.mv.hasHigh = true;
    r.mv.high = 400;
    EXPECT_EQ(feed(a, r, {{500, V}, {500, V}}), std::vector<WatchChange>({_, R}));
    EXPECT_EQ(a.unit, V);
    EXPECT_EQ(a.limit, 400);
}

TEST(WatchRules, BeforeTheUnitIsKnownNoLimitApplies) {
    WatchRules r = highPpm(20);
    LimitAlarm a;
    EXPECT_EQ(feed(a, r, {{99, kFeedUnknown}, {99, kFeedUnknown}}), std::vector<WatchChange>({_, _}));
    EXPECT_EQ(limit_reset(a), kWatchNone);
    feed(a, r, {{99, P}});
    EXPECT_EQ(limit_reset(a), kWatchCleared);
}

TEST(WatchRules, NoValidReadingForTSecondsRaisesAndTheNextOneClears) {
    WatchRules r = highPpm(20);
    r.noReadingS = 10;
    SilenceAlarm s;
    silence_restart(s, 100);
    EXPECT_EQ(silence_check(s, r, 109.9), kWatchNone);
    EXPECT_EQ(silence_check(s, r, 110), kWatchRaised);
    EXPECT_EQ(s.since, 110);
    EXPECT_EQ(silence_check(s, r, 111), kWatchNone);  // raised once
    EXPECT_EQ(silence_acknowledge(s), kWatchAcknowledged);
    EXPECT_EQ(silence_acknowledge(s), kWatchNone);
    EXPECT_EQ(silence_reading(s, 112), kWatchCleared);
    EXPECT_EQ(silence_check(s, r, 121.9), kWatchNone);
    EXPECT_EQ(silence_check(s, r, 122), kWatchRaised);
    EXPECT_FALSE(s.acknowledged);
    EXPECT_EQ(silence_restart(s, 130), kWatchCleared);

    // Unarmed, or with T = 0, it never raises.
    SilenceAlarm q;
    EXPECT_EQ(silence_check(q, WatchRules{}, 1e6), kWatchNone);
    r.noReadingS = 0;
    EXPECT_EQ(silence_check(q, r, 1e6), kWatchNone);
}

TEST(WatchRules, UnitsAndTheirNames) {
    EXPECT_EQ(unit_of_mode(0), kFeedPpm);
    EXPECT_EQ(unit_of_mode(1), kFeedPpm);
    EXPECT_EQ(unit_of_mode(2), kFeedMv);
    EXPECT_STREQ(unit_name(kFeedMv), "mV");
    EXPECT_STREQ(unit_name(kFeedUnknown), "");
    EXPECT_FALSE(rules_armed(WatchRules{}));
    WatchRules r;
    r.mv.hasLow = true;
    EXPECT_TRUE(rules_armed(r));
}

}  // namespace
