// SPDX-License-Identifier: GPL-3.0-or-later
// The watch: alarm limits on the main reading, seen (the alarm lines, the chart's limits, the
// window's urgency), heard (the tone) and told (desktop notifications), and the alarm when no
// valid reading comes. Off until a limit is set; then it adds no command to the wire.
#pragma once

#include "rules.h"

struct FeedReading;

extern WatchRules watch_rules;   // in force: from pavro-watch.ini, or as the dialog applied them
extern LimitAlarm limit_alarm;   // the limit alarm's state
extern SilenceAlarm silence_alarm;

// Reads the settings file, arms the watch when a limit is set and starts its clock. A file
// problem is said once on stderr and in the dialog; it never stops the program.
void watch_starten();
// The rules in force from now on (the dialog's Apply, a test).
void watch_einstellen(const WatchRules& r);

// Listeners the feed calls (app/ connects them).
void watch_reading(const FeedReading& reading);
void watch_event(const char* kind, const char* details);
// Time passes: the no-reading alarm, the chart's limits. Run by the watch's ticker.
void watch_tick();

// The alarm line as the operator reads it, "" when all is well.
const char* watch_text();
// What the settings file said was wrong at start, "" when nothing.
const char* watch_file_problem();

// The Acknowledge button; the limits dialog (menu).
int quittieren(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void grenzen(int menuBar, int menuItem, void* callbackData, int panel);
void grenzen_dialog();
