// SPDX-License-Identifier: GPL-3.0-or-later
// The feed: where readings, alarms and events leave the folders that make them for whoever
// listens (the watch, the screen, later the event log and the publisher). A producer never
// knows its listeners; app/ connects them. A reading never travels without its unit.
#pragma once

// The unit of a reading: the display mode the module was last read or saved with.
enum FeedUnit { kFeedUnknown = -1, kFeedPpm = 0, kFeedMv = 1 };

// Where a main reading was taken.
enum FeedSource { kSourceLive = 0, kSourceRecorder = 1 };

struct FeedReading {
    double value;        // the main reading; meaningless when !ok
    bool ok;             // a measurement: the exchange held and the reply was a reading
    int unit;            // FeedUnit
    int source;          // FeedSource
    const char* status;  // what the operator sees: "ok", the module's reply, "NO CONNECTION"
    const double* aux;   // live readings: u1, u3, u5, u6; null for the recorder
    double time;         // Timer() when it was taken [s]
};

// Alarm states, as the watch names them.
enum FeedAlarmState { kAlarmNormal = 0, kAlarmHigh = 1, kAlarmLow = 2, kAlarmNoReading = 3 };

struct FeedAlarm {
    int state;               // FeedAlarmState
    bool acknowledged;       // the operator has acknowledged it (the tone is silent)
    bool conditionCleared;   // a latched alarm whose reading is back inside
    double value;            // the reading that raised it (limit alarms)
    double limit;            // the limit it passed (limit alarms)
    int unit;                // FeedUnit of value and limit
    const char* since;       // local clock time it began, "HH:MM:SS"
    const char* text;        // the alarm line: "" when all is well
};

using FeedReadingSink = void (*)(const FeedReading& reading);
using FeedEventSink = void (*)(const char* kind, const char* details);
using FeedAlarmSink = void (*)(const FeedAlarm& alarm);

// Listeners, called in the order they were added; each kind holds a few. Adding one twice
// adds it once. Returns false when no place is left.
bool feed_on_reading(FeedReadingSink sink);
bool feed_on_event(FeedEventSink sink);
bool feed_on_alarm(FeedAlarmSink sink);
// Removes every listener (tests start afresh).
void feed_clear();

// Hands a reading, an event or an alarm change to every listener of its kind.
void feed_reading(const FeedReading& reading);
void feed_event(const char* kind, const char* details);
void feed_alarm(const FeedAlarm& alarm);

// The unit of the readings from now on: set by each completed settings read, from the
// display mode of the settings word (0 and 1 ppm, 2 mV). kFeedUnknown before the first.
void feed_unit_setzen(int unit);
int feed_unit();
// The unit of display mode `mode` (0, 1: ppm; 2: mV).
int unit_of_mode(int mode);
// "ppm", "mV", or "" for an unknown unit.
const char* unit_name(int unit);
