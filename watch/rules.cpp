// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules.h"

#include "feed.h"

bool rules_armed(const WatchRules& r) { return r.ppm.hasHigh || r.ppm.hasLow || r.mv.hasHigh || r.mv.hasLow; }

const Limits* rules_limits(const WatchRules& r, int unit) {
    if (unit == kFeedPpm) return &r.ppm;
    if (unit == kFeedMv) return &r.mv;
    return nullptr;
}

// ----- limit alarm ------------------------------------------------------------------------

namespace {

// Which limit the reading lies beyond: kAlarmHigh, kAlarmLow or kAlarmNormal.
int beyond(const Limits* l, double value) {
    if (!l) return kAlarmNormal;
    if (l->hasHigh && value > l->high) return kAlarmHigh;
    if (l->hasLow && value < l->low) return kAlarmLow;
    return kAlarmNormal;
}

// Back inside the raised alarm's limit by the hysteresis; a limit no longer set (or of
// another unit) holds nothing back.
bool inside(const Limits* l, int state, double value, double hysteresis) {
    if (state == kAlarmHigh) return !(l && l->hasHigh) || value <= l->high - hysteresis;
    return !(l && l->hasLow) || value >= l->low + hysteresis;
}

void raise(LimitAlarm& a, const Limits& l, int kind, double value, int unit, double now) {
    a.state = kind;
    a.acknowledged = false;
    a.backInside = false;
    a.value = value;
    a.limit = kind == kAlarmHigh ? l.high : l.low;
    a.unit = unit;
    a.since = now;
    a.beyondCount = 0;
    a.insideCount = 0;
}

}  // namespace

WatchChange limit_reading(LimitAlarm& a, const WatchRules& r, double value, int unit, double now) {
    if (unit != a.lastUnit) {  // readings of another unit do not continue a run
        a.beyondCount = 0;
        a.insideCount = 0;
        a.lastUnit = unit;
    }
    const Limits* l = rules_limits(r, unit);
    int n = r.readings < 1 ? 1 : r.readings;
    int kind = beyond(l, value);

    // A run beyond a limit other than the one raised (any, when none is).
    if (kind != kAlarmNormal && kind != a.state) {
        a.beyondCount = kind == a.beyondKind ? a.beyondCount + 1 : 1;
        a.beyondKind = kind;
        a.insideCount = 0;
        if (a.beyondCount < n) return kWatchNone;
        raise(a, *l, kind, value, unit, now);
        return kWatchRaised;
    }
    if (kind == kAlarmNormal) a.beyondCount = 0;
    if (a.state == kAlarmNormal) return kWatchNone;

    if (kind == a.state) {  // still beyond: a latched alarm's condition holds again
        a.insideCount = 0;
        a.beyondCount = 0;
        if (a.backInside) {
            a.backInside = false;
            return kWatchRaised;
        }
        return kWatchNone;
    }
    if (!inside(l, a.state, value, r.hysteresis)) {  // between the limit and its hysteresis
        a.insideCount = 0;
        return kWatchNone;
    }
    if (a.backInside || ++a.insideCount < n) return kWatchNone;
    a.insideCount = 0;
    if (r.latching && !a.acknowledged) {
        a.backInside = true;
        return kWatchBackInside;
    }
    a.state = kAlarmNormal;
    return kWatchCleared;
}

WatchChange limit_acknowledge(LimitAlarm& a) {
    if (a.state == kAlarmNormal) return kWatchNone;
    if (a.backInside) {
        a.state = kAlarmNormal;
        a.backInside = false;
        a.acknowledged = false;
        return kWatchCleared;
    }
    if (a.acknowledged) return kWatchNone;
    a.acknowledged = true;
    return kWatchAcknowledged;
}

WatchChange limit_reset(LimitAlarm& a) {
    bool was = a.state != kAlarmNormal;
    a = LimitAlarm{};
    return was ? kWatchCleared : kWatchNone;
}

// ----- no-reading alarm -------------------------------------------------------------------

WatchChange silence_restart(SilenceAlarm& a, double now) {
    bool was = a.raised;
    a = SilenceAlarm{};
    a.lastValid = now;
    return was ? kWatchCleared : kWatchNone;
}

WatchChange silence_reading(SilenceAlarm& a, double now) {
    a.lastValid = now;
    if (!a.raised) return kWatchNone;
    a.raised = false;
    a.acknowledged = false;
    return kWatchCleared;
}

WatchChange silence_check(SilenceAlarm& a, const WatchRules& r, double now) {
    if (a.raised || !rules_armed(r) || !(r.noReadingS > 0.0) || now - a.lastValid < r.noReadingS) return kWatchNone;
    a.raised = true;
    a.acknowledged = false;
    a.since = now;
    return kWatchRaised;
}

WatchChange silence_acknowledge(SilenceAlarm& a) {
    if (!a.raised || a.acknowledged) return kWatchNone;
    a.acknowledged = true;
    return kWatchAcknowledged;
}
