// SPDX-License-Identifier: GPL-3.0-or-later
#include "feed.h"

namespace {

constexpr int kMaxSinks = 8;

template <class Sink>
struct Sinks {
    Sink list[kMaxSinks] = {};
    int count = 0;
    bool add(Sink s) {
        for (int i = 0; i < count; ++i)
            if (list[i] == s) return true;
        if (count == kMaxSinks || !s) return false;
        list[count++] = s;
        return true;
    }
};

Sinks<FeedReadingSink> readings;
Sinks<FeedEventSink> events;
Sinks<FeedAlarmSink> alarms;
int unit = kFeedUnknown;  // of the readings: the mode of the last completed settings read

}  // namespace

bool feed_on_reading(FeedReadingSink sink) { return readings.add(sink); }
bool feed_on_event(FeedEventSink sink) { return events.add(sink); }
bool feed_on_alarm(FeedAlarmSink sink) { return alarms.add(sink); }

void feed_clear() {
    readings = {};
    events = {};
    alarms = {};
    unit = kFeedUnknown;
}

void feed_reading(const FeedReading& reading) {
    for (int i = 0; i < readings.count; ++i) readings.list[i](reading);
}

void feed_event(const char* kind, const char* details) {
    for (int i = 0; i < events.count; ++i) events.list[i](kind, details ? details : "");
}

void feed_alarm(const FeedAlarm& alarm) {
    for (int i = 0; i < alarms.count; ++i) alarms.list[i](alarm);
}

void feed_unit_setzen(int u) { unit = (u == kFeedPpm || u == kFeedMv) ? u : kFeedUnknown; }
int feed_unit() { return unit; }

int unit_of_mode(int mode) { return mode == 2 ? kFeedMv : kFeedPpm; }

const char* unit_name(int u) {
    if (u == kFeedPpm) return "ppm";
    if (u == kFeedMv) return "mV";
    return "";
}
