// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include "io.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

const char kWatchFile[] = "pavro-watch.ini";

const char* const kAlarmKey[kAlarmKeys] = {"ppm_high", "ppm_low",    "mv_high",      "mv_low", "readings",
                                           "hysteresis", "latching", "no_reading_s", "sound"};

enum { kPpmHigh, kPpmLow, kMvHigh, kMvLow, kReadings, kHysteresis, kLatching, kNoReading, kSound };

constexpr int kMaxReadings = 1000;

bool number_from_text(const char* text, double* value) {
    if (!text) return false;
    while (*text == ' ' || *text == '\t') ++text;
    const char* end = text + std::strlen(text);
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) --end;
    const char* start = *text == '+' ? text + 1 : text;
    if (start == end || (start != text && *start == '-') || !(std::isdigit(static_cast<unsigned char>(*start)) || *start == '.' || *start == '-'))
        return false;
    double v = 0.0;
    auto [p, ec] = std::from_chars(start, end, v, std::chars_format::general);
    if (ec != std::errc() || p != end || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

void number_text(double value, char* out, std::size_t size) {
    auto [p, ec] = std::to_chars(out, out + size - 1, value);
    *(ec == std::errc() ? p : out) = '\0';
}

const char* rules_problem(const WatchRules& r) {
    if (r.ppm.hasHigh && r.ppm.hasLow && r.ppm.low > r.ppm.high) return "The low limit in ppm lies above the high limit.";
    if (r.mv.hasHigh && r.mv.hasLow && r.mv.low > r.mv.high) return "The low limit in mV lies above the high limit.";
    if (r.readings < 1 || r.readings > kMaxReadings) return "Readings in a row: a whole number from 1 to 1000.";
    if (!(r.hysteresis >= 0.0)) return "The hysteresis must not be negative.";
    if (!(r.noReadingS >= 0.0)) return "The time without a reading must not be negative.";
    return nullptr;
}

namespace {

bool flag_from_text(const char* t, bool* v) {
    if (!std::strcmp(t, "true") || !std::strcmp(t, "1")) return *v = true, true;
    if (!std::strcmp(t, "false") || !std::strcmp(t, "0")) return *v = false, true;
    return false;
}

bool blank(const char* t) {
    while (*t == ' ' || *t == '\t') ++t;
    return *t == '\0';
}

// A limit: empty unsets it; false for text that is no number.
bool limit_from_text(const char* t, bool* has, double* v) {
    if (blank(t)) return *has = false, true;
    if (!number_from_text(t, v)) return false;
    *has = true;
    return true;
}

void name_key(char* problem, std::size_t size, const char* key, const char* why) {
    std::size_t n = std::strlen(problem);
    if (n + 1 >= size) return;
    std::snprintf(problem + n, size - n, "%s%s %s", n ? "; " : "", key, why);
}

}  // namespace

void rules_from_entries(const IniEntry* e, WatchRules* r, char* problem, std::size_t size) {
    if (size) problem[0] = '\0';
    const WatchRules d;
    Limits* limits[] = {&r->ppm, &r->ppm, &r->mv, &r->mv};
    for (int k = kPpmHigh; k <= kMvLow; ++k) {
        if (!e[k].found) continue;
        Limits& l = *limits[k];
        bool high = k == kPpmHigh || k == kMvHigh;
        if (!limit_from_text(e[k].value, high ? &l.hasHigh : &l.hasLow, high ? &l.high : &l.low)) {
            name_key(problem, size, kAlarmKey[k], "is not a number");
            (high ? l.hasHigh : l.hasLow) = false;
        }
    }
    for (Limits* l : {&r->ppm, &r->mv})
        if (l->hasHigh && l->hasLow && l->low > l->high) {
            name_key(problem, size, l == &r->ppm ? "ppm_low" : "mv_low", "lies above the high limit");
            *l = Limits{};
        }
    double v = 0.0;
    if (e[kReadings].found) {
        if (number_from_text(e[kReadings].value, &v) && v >= 1 && v <= kMaxReadings && v == std::floor(v))
            r->readings = static_cast<int>(v);
        else
            name_key(problem, size, "readings", "is not a whole number from 1 to 1000"), r->readings = d.readings;
    }
    if (e[kHysteresis].found) {
        if (number_from_text(e[kHysteresis].value, &v) && v >= 0)
            r->hysteresis = v;
        else
            name_key(problem, size, "hysteresis", "is not a number of 0 or more"), r->hysteresis = d.hysteresis;
    }
    if (e[kNoReading].found) {
        if (number_from_text(e[kNoReading].value, &v) && v >= 0)
            r->noReadingS = v;
        else
            name_key(problem, size, "no_reading_s", "is not a number of 0 or more"), r->noReadingS = d.noReadingS;
    }
    if (e[kLatching].found && !flag_from_text(e[kLatching].value, &r->latching))
        name_key(problem, size, "latching", "is not true or false"), r->latching = d.latching;
    if (e[kSound].found && !flag_from_text(e[kSound].value, &r->sound))
        name_key(problem, size, "sound", "is not true or false"), r->sound = d.sound;
}

void rules_to_entries(const WatchRules& r, IniEntry* e) {
    for (int k = 0; k < kAlarmKeys; ++k) {
        e[k].key = kAlarmKey[k];
        e[k].value[0] = '\0';
        e[k].found = true;
    }
    const Limits* limits[] = {&r.ppm, &r.ppm, &r.mv, &r.mv};
    for (int k = kPpmHigh; k <= kMvLow; ++k) {
        bool high = k == kPpmHigh || k == kMvHigh;
        if (high ? limits[k]->hasHigh : limits[k]->hasLow)
            number_text(high ? limits[k]->high : limits[k]->low, e[k].value, sizeof e[k].value);
    }
    std::snprintf(e[kReadings].value, sizeof e[kReadings].value, "%d", r.readings);
    number_text(r.hysteresis, e[kHysteresis].value, sizeof e[kHysteresis].value);
    std::snprintf(e[kLatching].value, sizeof e[kLatching].value, "%s", r.latching ? "true" : "false");
    number_text(r.noReadingS, e[kNoReading].value, sizeof e[kNoReading].value);
    std::snprintf(e[kSound].value, sizeof e[kSound].value, "%s", r.sound ? "true" : "false");
}

bool watch_settings_path(char* path) {
    char dir[kMaxPathname];
    return GetProjectDir(dir) == 0 && MakePathname(dir, kWatchFile, path) == 0;
}

WatchRules watch_settings_read(char* problem, std::size_t size) {
    WatchRules r;
    if (size) problem[0] = '\0';
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return r;
    IniEntry e[kAlarmKeys];
    for (int k = 0; k < kAlarmKeys; ++k) e[k].key = kAlarmKey[k];
    int read = IniReadGroup(path, "alarm", e, kAlarmKeys);
    if (read == 1) return r;  // no file: the defaults, and no limit
    char keys[200];
    rules_from_entries(e, &r, keys, sizeof keys);
    if (read < 0 && keys[0])
        std::snprintf(problem, size, "%s is not all readable; %s: the defaults are used for these", path, keys);
    else if (read < 0)
        std::snprintf(problem, size, "%s is not all readable: what could not be read takes its default", path);
    else if (keys[0])
        std::snprintf(problem, size, "%s: [alarm] %s: the defaults are used for these", path, keys);
    return r;
}

int watch_settings_write(const WatchRules& r) {
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return -1;
    IniEntry e[kAlarmKeys];
    rules_to_entries(r, e);
    return IniWriteGroup(path, "alarm", e, kAlarmKeys);
}
