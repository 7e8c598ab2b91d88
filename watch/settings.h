// SPDX-License-Identifier: GPL-3.0-or-later
// The watch's settings: pavro-watch.ini's [alarm] group and the limits dialog's fields, both
// read into and written from WatchRules by the same rules.
#pragma once

#include "rules.h"

#include <cstddef>

struct IniEntry;

extern const char kWatchFile[];  // "pavro-watch.ini", beside pavro.ini

constexpr int kAlarmKeys = 9;
extern const char* const kAlarmKey[kAlarmKeys];  // ppm_high ... sound, in the file's order

// A number as the file and the dialog write it: digits with an optional sign, point and
// exponent, blanks around it allowed; no locale, no "inf" or "nan". False when not.
bool number_from_text(const char* text, double* value);
// The shortest text that reads back as the same value.
void number_text(double value, char* out, std::size_t size);

// What is wrong with rules that read (a low limit above the high one ...), or null.
const char* rules_problem(const WatchRules& r);

// [alarm]'s entries (kAlarmKeys of them, in kAlarmKey's order) into `r`: each key that reads
// is used, a missing one keeps its default, a wrong one takes its default and is named in
// `problem` ("" when all is well).
void rules_from_entries(const IniEntry* entries, WatchRules* r, char* problem, std::size_t size);
void rules_to_entries(const WatchRules& r, IniEntry* entries);

// The settings file beside the program: read (problems named with the file, "" when none) and
// written (0 on success).
WatchRules watch_settings_read(char* problem, std::size_t size);
int watch_settings_write(const WatchRules& r);
// The file's path, false when the program's folder does not fit.
bool watch_settings_path(char* path);
