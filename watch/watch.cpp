// SPDX-License-Identifier: GPL-3.0-or-later
// The watch on the screen, the speaker and the desktop: it takes the readings the feed hands
// it, runs them through the rules, and shows, sounds and tells what they decide.
#include "watch.h"

#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "recorder.h"
#include "settings.h"
#include "viewer.h"
#include "ui.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

WatchRules watch_rules;
LimitAlarm limit_alarm;
SilenceAlarm silence_alarm;

namespace {

constexpr double kTick = 0.5;  // [s] between the watch's looks at the clock
constexpr int kBanner = 48;    // [px] the panels grow by while the watch is armed

constexpr int kColourCalm = 0xE3E8EC;   // armed, all well: the empty line
constexpr int kColourAlarm = 0xC62828;  // raised, not acknowledged
constexpr int kColourHeld = 0xF0A800;   // acknowledged, or latched and back inside
constexpr int kColourLimit = 0xC62828;  // the limits on the chart

char limitText[160];    // the limit alarm as raised: "HIGH 25.3 ppm > 20 ppm since 14:32:05"
char limitSince[16];    // clock time the limit alarm began
char silenceSince[16];  // clock time the no-reading alarm began
char lineText[256];     // the alarm line shown
char fileProblem[512];  // what the settings file said was wrong
char lastFailure[32];   // the status of the latest failed reading, "" when the latest was good
int basic[2];           // p1's and psc's heights without the alarm line
bool shownArmed = false;
bool graphShowsFile = false;  // a viewed file is on the recorder's graph, not the recording
int levelsDrawn = -2;         // the unit whose limits the chart shows; -2 none drawn
bool toneOn = false;

bool armed() { return rules_armed(watch_rules); }

// A reading's value in four significant digits; a limit as it was written.
void value_text(double v, char* out, std::size_t size) {
    auto [p, ec] = std::to_chars(out, out + size - 1, v, std::chars_format::general, 4);
    *(ec == std::errc() ? p : out) = '\0';
}

void compose_limit_text() {
    char v[32], l[32];
    value_text(limit_alarm.value, v, sizeof v);
    number_text(limit_alarm.limit, l, sizeof l);
    LocalTimeText(limitSince, sizeof limitSince, 0);
    bool high = limit_alarm.state == kAlarmHigh;
    const char* unit = unit_name(limit_alarm.unit);
    std::snprintf(limitText, sizeof limitText, "%s %s %s %s %s %s since %s", high ? "HIGH" : "LOW", v, unit,
                  high ? ">" : "<", l, unit, limitSince);
}

// Why no valid reading comes, where the program knows.
const char* silence_reason() {
    if (!ComPortConfigured(com_nummer)) return "the serial port is not connected";
    if (!hol && !plot)
        return recorder_starts() > 0 ? "live readings are off since the recording stopped: Re-synchronise"
                                     : "live readings are off: Re-synchronise";
    if (!std::strcmp(lastFailure, "NO CONNECTION")) return "no answer from the module";
    if (lastFailure[0]) return "the module answers, but not with a reading";
    return "no valid reading";
}

void silence_text(char* out, std::size_t size) {
    char t[32];
    number_text(watch_rules.noReadingS, t, sizeof t);
    std::snprintf(out, size, "NO READING for %s s since %s: %s", t, silenceSince, silence_reason());
}

// The line: the no-reading alarm first, since it says the limits are not being watched.
void compose_line() {
    lineText[0] = '\0';
    if (silence_alarm.raised) {
        silence_text(lineText, sizeof lineText);
        if (silence_alarm.acknowledged) std::strncat(lineText, " (acknowledged)", sizeof lineText - std::strlen(lineText) - 1);
    } else if (limit_alarm.state != kAlarmNormal) {
        std::snprintf(lineText, sizeof lineText, "%s%s", limitText,
                      limit_alarm.backInside     ? " (back inside: acknowledge to clear)"
                      : limit_alarm.acknowledged ? " (acknowledged)"
                                                 : "");
    }
}

int line_colour() {
    if (silence_alarm.raised) return silence_alarm.acknowledged ? kColourHeld : kColourAlarm;
    if (limit_alarm.state == kAlarmNormal) return kColourCalm;
    return limit_alarm.acknowledged || limit_alarm.backInside ? kColourHeld : kColourAlarm;
}

void show_line() {
    compose_line();
    int colour = line_colour();
    for (auto [panel, ctrl] : {std::pair{p1, P1_ALARM}, std::pair{psc, PSC_ALARM}}) {
        SetCtrlAttribute(panel, ctrl, ATTR_LABEL_TEXT, lineText);
        SetCtrlAttribute(panel, ctrl, ATTR_COLOR, colour);
    }
}

// The tone while an alarm is raised and not acknowledged, where sound is on and there is any.
void sound() {
    bool want = watch_rules.sound && ((silence_alarm.raised && !silence_alarm.acknowledged) ||
                                      (limit_alarm.state != kAlarmNormal && !limit_alarm.acknowledged));
    if (want == toneOn) return;
    toneOn = want && AlarmTone(1) > 0;
    if (!want) AlarmTone(0);
}

void publish() {
    FeedAlarm a{};
    a.state = silence_alarm.raised ? kAlarmNoReading : limit_alarm.state;
    a.acknowledged = silence_alarm.raised ? silence_alarm.acknowledged : limit_alarm.acknowledged;
    a.conditionCleared = !silence_alarm.raised && limit_alarm.backInside;
    a.value = limit_alarm.value;
    a.limit = limit_alarm.limit;
    a.unit = limit_alarm.unit;
    a.since = a.state == kAlarmNormal ? "" : silence_alarm.raised ? silenceSince : limitSince;
    a.text = lineText;
    feed_alarm(a);
}

// What the operator is shown, heard and told of one change of either alarm.
void announce(WatchChange change, bool silence) {
    if (change == kWatchNone) return;
    char text[256];
    if (change == kWatchRaised && silence) LocalTimeText(silenceSince, sizeof silenceSince, 0);
    if (change == kWatchRaised && !silence) compose_limit_text();
    if (silence)
        silence_text(text, sizeof text);
    else
        std::snprintf(text, sizeof text, "%s", limitText);
    show_line();
    sound();
    publish();
    if (change == kWatchRaised) {
        feed_event("alarm-raised", text);
        DesktopNotify("Oxygen alarm", text, 1);
        AlertPanel(p1);
    } else if (change == kWatchCleared) {
        feed_event("alarm-cleared", text);
        DesktopNotify("Oxygen alarm cleared", text, 0);
    } else if (change == kWatchAcknowledged) {
        feed_event("alarm-ack", text);
    }
}

// The chart shows the limits of the unit its trace is in: the readings' for a recording, a
// viewed file's by its recording info (none without).
void draw_levels(bool force) {
    int unit = !armed() ? -2 : graphShowsFile ? viewed_unit() : feed_unit();
    if (unit == levelsDrawn && !force) return;
    levelsDrawn = unit;
    const Limits* l = rules_limits(watch_rules, unit);
    double y[2];
    char text[2][48];
    const char* texts[2] = {text[0], text[1]};
    int n = 0;
    for (bool high : {true, false}) {
        if (!l || !(high ? l->hasHigh : l->hasLow)) continue;
        y[n] = high ? l->high : l->low;
        char v[32];
        number_text(y[n], v, sizeof v);
        std::snprintf(text[n], sizeof text[n], "%s %s %s", high ? "high" : "low", v, unit_name(unit));
        ++n;
    }
    SetGraphLevels(psc, PSC_GRAPH, y, texts, n, kColourLimit);
}

// The alarm lines and their buttons come with the watch and go with it.
void show_armed(bool on) {
    if (on == shownArmed) return;
    shownArmed = on;
    int panels[2] = {p1, psc};
    int lines[2] = {P1_ALARM, PSC_ALARM};
    int buttons[2] = {P1_ACK, PSC_ACK};
    for (int i = 0; i < 2; ++i) {
        if (!basic[i]) GetPanelAttribute(panels[i], ATTR_HEIGHT, &basic[i]);
        SetPanelAttribute(panels[i], ATTR_HEIGHT, basic[i] + (on ? kBanner : 0));
        SetCtrlAttribute(panels[i], lines[i], ATTR_VISIBLE, on ? 1 : 0);
        SetCtrlAttribute(panels[i], buttons[i], ATTR_VISIBLE, on ? 1 : 0);
    }
}

void tick() { watch_tick(); }

}  // namespace

const char* watch_text() { return lineText; }
const char* watch_file_problem() { return fileProblem; }

void watch_starten() {
    // Everything from the start: the panels are new.
    watch_rules = WatchRules{};
    limit_alarm = LimitAlarm{};
    silence_alarm = SilenceAlarm{};
    lineText[0] = limitText[0] = lastFailure[0] = '\0';
    basic[0] = basic[1] = 0;
    shownArmed = graphShowsFile = false;
    levelsDrawn = -2;
    if (toneOn) AlarmTone(0);
    toneOn = false;
    WatchRules r = watch_settings_read(fileProblem, sizeof fileProblem);
    if (fileProblem[0]) {
        std::fprintf(stderr, "pavro: %s\n", fileProblem);
        feed_event("watch-settings", fileProblem);
    }
    watch_einstellen(r);
    static bool ticking = false;
    if (!ticking) ticking = StartTicker(kTick, tick) == 0;
}

void watch_einstellen(const WatchRules& r) {
    bool before = armed();
    watch_rules = r;
    if (!armed()) {
        announce(limit_reset(limit_alarm), false);
        announce(silence_restart(silence_alarm, Timer()), true);
    } else if (!before) {
        silence_restart(silence_alarm, Timer());
    }
    show_armed(armed());
    draw_levels(true);
    show_line();
    sound();
}

void watch_reading(const FeedReading& r) {
    if (!armed()) return;
    if (!r.ok) {
        std::snprintf(lastFailure, sizeof lastFailure, "%s", r.status ? r.status : "");
        return;
    }
    lastFailure[0] = '\0';
    announce(silence_reading(silence_alarm, r.time), true);
    announce(limit_reading(limit_alarm, watch_rules, r.value, r.unit, r.time), false);
    draw_levels(false);
}

void watch_event(const char* kind, const char*) {
    bool file = !std::strcmp(kind, "view");
    if (!file && std::strcmp(kind, "recording-start") != 0) return;
    graphShowsFile = file;
    draw_levels(false);
}

void watch_tick() {
    if (!armed()) return;
    WatchRules now = watch_rules;
    if (plot) now.noReadingS += abtast;  // while recording, readings come once an interval
    WatchChange c = silence_check(silence_alarm, now, Timer());
    if (c != kWatchNone) {
        announce(c, true);
    } else if (silence_alarm.raised) {
        char before[sizeof lineText];
        std::memcpy(before, lineText, sizeof before);
        compose_line();
        if (std::strcmp(before, lineText) != 0) show_line();  // the reason changed
    }
    draw_levels(false);
    // Asked again while unacknowledged: the operator may have looked without acknowledging.
    if ((silence_alarm.raised && !silence_alarm.acknowledged) ||
        (limit_alarm.state != kAlarmNormal && !limit_alarm.acknowledged))
        AlertPanel(p1);
}

int quittieren(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    announce(silence_acknowledge(silence_alarm), true);
    WatchChange c = limit_acknowledge(limit_alarm);
    if (c == kWatchCleared) {  // a latched alarm, back inside: the acknowledgement ends it
        feed_event("alarm-ack", limitText);
    }
    announce(c, false);
    return 0;
}

// ----- the limits dialog ------------------------------------------------------------------

namespace {

enum Field { kUnitNote, kPpmHigh, kPpmLow, kMvHigh, kMvLow, kReadings, kHysteresis, kLatching, kNoReading,
             kSound, kSoundNote, kFileNote, kFields };

const char* const kLabel[kFields] = {"",
                                     "High limit, ppm",
                                     "Low limit, ppm",
                                     "High limit, mV",
                                     "Low limit, mV",
                                     "Readings in a row",
                                     "Hysteresis",
                                     "Latching: stays raised until acknowledged",
                                     "No reading after [s]",
                                     "Alarm tone",
                                     "Sound",
                                     "Settings file"};

bool limit_field(const FormField& f, bool* has, double* v) {
    const char* t = f.value;
    while (*t == ' ') ++t;
    if (!*t) return *has = false, true;
    return *has = number_from_text(t, v);
}

char problem[160];

// The dialog's fields read into `r`; the message that says what is wrong, or null.
const char* fields_to_rules(const FormField* f, WatchRules* r) {
    bool* has[4] = {&r->ppm.hasHigh, &r->ppm.hasLow, &r->mv.hasHigh, &r->mv.hasLow};
    double* v[4] = {&r->ppm.high, &r->ppm.low, &r->mv.high, &r->mv.low};
    for (int i = 0; i < 4; ++i)
        if (!limit_field(f[kPpmHigh + i], has[i], v[i])) {
            std::snprintf(problem, sizeof problem, "%s: not a number (leave it empty for no limit).", kLabel[kPpmHigh + i]);
            return problem;
        }
    double n = 0.0;
    if (!number_from_text(f[kReadings].value, &n) || n != static_cast<double>(static_cast<long long>(n)) || n < 1 ||
        n > 1000)
        return "Readings in a row: a whole number from 1 to 1000.";
    r->readings = static_cast<int>(n);
    if (!number_from_text(f[kHysteresis].value, &r->hysteresis)) return "Hysteresis: not a number.";
    if (!number_from_text(f[kNoReading].value, &r->noReadingS)) return "No reading after [s]: not a number.";
    r->latching = f[kLatching].value[0] == '1';
    r->sound = f[kSound].value[0] == '1';
    return rules_problem(*r);
}

const char* check(const FormField* f, int) {
    WatchRules r;
    return fields_to_rules(f, &r);
}

void put(FormField& f, const char* text) { std::snprintf(f.value, sizeof f.value, "%s", text); }

void put_limit(FormField& f, bool has, double v) {
    f.value[0] = '\0';
    if (has) number_text(v, f.value, sizeof f.value);
}

}  // namespace

void grenzen_dialog() {
    FormField f[kFields];
    for (int i = 0; i < kFields; ++i) {
        f[i].label = kLabel[i];
        f[i].kind = kFormText;
        f[i].value[0] = '\0';
    }
    f[kUnitNote].kind = f[kSoundNote].kind = f[kFileNote].kind = kFormNote;
    f[kLatching].kind = f[kSound].kind = kFormCheck;
    int unit = feed_unit();
    if (unit == kFeedUnknown)
        put(f[kUnitNote], "The unit of the readings is not known until the module's settings have been read: until "
                          "then no limit applies.");
    else
        std::snprintf(f[kUnitNote].value, sizeof f[kUnitNote].value,
                      "The readings are in %s (the display mode the module was last read or saved with): its "
                      "limits apply. Leave a limit empty for none.",
                      unit_name(unit));
    const WatchRules& r = watch_rules;
    put_limit(f[kPpmHigh], r.ppm.hasHigh, r.ppm.high);
    put_limit(f[kPpmLow], r.ppm.hasLow, r.ppm.low);
    put_limit(f[kMvHigh], r.mv.hasHigh, r.mv.high);
    put_limit(f[kMvLow], r.mv.hasLow, r.mv.low);
    std::snprintf(f[kReadings].value, sizeof f[kReadings].value, "%d", r.readings);
    number_text(r.hysteresis, f[kHysteresis].value, sizeof f[kHysteresis].value);
    number_text(r.noReadingS, f[kNoReading].value, sizeof f[kNoReading].value);
    put(f[kLatching], r.latching ? "1" : "0");
    put(f[kSound], r.sound ? "1" : "0");
    put(f[kSoundNote], SoundAvailable() ? "available" : "unavailable: no sound output, the alarm is shown only");
    char path[kMaxPathname];
    if (!watch_settings_path(path)) path[0] = '\0';
    if (fileProblem[0])
        put(f[kFileNote], fileProblem);
    else
        put(f[kFileNote], path);

    if (FormPopup("Alarm limits", f, kFields, check) != 1) return;
    WatchRules applied = watch_rules;
    fields_to_rules(f, &applied);
    watch_einstellen(applied);
    if (watch_settings_write(applied) != 0) {
        char msg[kMaxPathname + 96];
        std::snprintf(msg, sizeof msg, "The alarm settings could not be written to %s. They hold until pavro ends.",
                      path);
        MessagePopup("Alarm limits", msg);
    } else {
        fileProblem[0] = '\0';
    }
}

void grenzen(int, int, void*, int) { grenzen_dialog(); }
