// SPDX-License-Identifier: GPL-3.0-or-later
// The watch's rules as one pure state machine: limit alarms with debounce, hysteresis and
// latching, and the no-reading alarm. Times are Timer() seconds; nothing here reads a clock,
// a panel or a file, so every sequence can be replayed exactly.
#pragma once

// A high and a low limit of one unit; either may be unset.
struct Limits {
    bool hasHigh = false, hasLow = false;
    double high = 0.0, low = 0.0;
};

struct WatchRules {
    Limits ppm, mv;           // by the reading's unit
    int readings = 1;         // N: readings in a row beyond a limit that raise, inside that clear
    double hysteresis = 0.0;  // how far back inside a reading must be to count [the limit's unit]
    bool latching = false;    // a cleared condition keeps the alarm until it is acknowledged
    double noReadingS = 10.0; // T: no valid reading for this long raises "no reading" (0: never)
    bool sound = true;        // the alarm tone
};

// Armed: some limit is set. Unarmed, the watch raises nothing, "no reading" included.
bool rules_armed(const WatchRules& r);
// The limits of a unit (FeedUnit), null for an unknown unit.
const Limits* rules_limits(const WatchRules& r, int unit);

enum WatchChange {
    kWatchNone = 0,         // nothing the operator sees changed
    kWatchRaised,           // an alarm began (or turned from high to low, or back)
    kWatchCleared,          // it ended
    kWatchBackInside,       // a latched alarm's reading is back inside: raised until acknowledged
    kWatchAcknowledged,     // the operator acknowledged it; it stays raised
};

// The limit alarm. state is kAlarmNormal, kAlarmHigh or kAlarmLow (FeedAlarmState).
struct LimitAlarm {
    int state = 0;
    bool acknowledged = false;
    bool backInside = false;  // latched: the condition has cleared
    double value = 0.0;       // the reading that raised it
    double limit = 0.0;       // the limit it passed
    int unit = -1;            // of value and limit
    double since = 0.0;       // [s] when it was raised
    int beyondKind = 0;       // kAlarmHigh or kAlarmLow: what the run of readings beyond is of
    int beyondCount = 0;      // readings in a row beyond that limit
    int insideCount = 0;      // readings in a row back inside, while raised
    int lastUnit = -1;        // the unit of the reading before
};

// One valid reading of `unit`. A failed reading is no measurement: do not pass it.
WatchChange limit_reading(LimitAlarm& a, const WatchRules& r, double value, int unit, double now);
// The operator's acknowledgement: silences a raised alarm; clears a latched one that is back
// inside. kWatchNone when there was nothing to acknowledge.
WatchChange limit_acknowledge(LimitAlarm& a);
// A raised alarm ends (the watch was disarmed).
WatchChange limit_reset(LimitAlarm& a);

// The no-reading alarm.
struct SilenceAlarm {
    bool raised = false;
    bool acknowledged = false;
    double lastValid = 0.0;  // [s] the last valid reading, or when the watch was armed
    double since = 0.0;      // [s] when it was raised
};

// The clock starts afresh (the watch is armed, or its rules changed); a raised alarm clears.
WatchChange silence_restart(SilenceAlarm& a, double now);
// A valid reading came: clears a raised alarm.
WatchChange silence_reading(SilenceAlarm& a, double now);
// Time passes: raises the alarm when no valid reading came for the rules' T.
WatchChange silence_check(SilenceAlarm& a, const WatchRules& r, double now);
WatchChange silence_acknowledge(SilenceAlarm& a);
