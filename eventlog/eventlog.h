// SPDX-License-Identifier: GPL-3.0-or-later
// The event log: pavro-events.log beside pavro.ini, one line per event,
// TIME<TAB>KIND<TAB>DETAILS, each appended with one write, so a crash or a kill never leaves
// half a line. TIME is local time in ISO 8601 with milliseconds and the UTC offset; KIND one
// lower-case word; DETAILS plain text with every control character, non-ASCII byte and
// backslash escaped (\x07, \\). Past 10 MB the log becomes pavro-events.1.log, the older ones
// moving up to pavro-events.5.log. Nothing is logged per reading.
#pragma once

#include <cstddef>
#include <string>

extern const char kEventFile[];  // "pavro-events.log"

constexpr long long kEventLogMax = 10LL * 1024 * 1024;  // [bytes] a log is rotated past this
constexpr int kEventLogsKept = 5;                       // older logs kept beside it

// `text` with every control character, non-ASCII byte and backslash escaped (\x07, \\): into
// `out` (as much as fits with its zero) returning the whole length, or as a string.
std::size_t event_escape(char* out, std::size_t size, const char* text);
std::string event_escape(const char* text);
// The line of one event (with its line end) into `out`; returns its length, 0 when it does not
// fit. A kind that is no lower-case word is written as "unknown".
std::size_t event_line(char* out, std::size_t size, const char* time, const char* kind, const char* details);
// The event a line holds, details unescaped; false for a line of another form.
bool event_parse(const char* line, std::size_t length, char* time, std::size_t timeSize, char* kind,
                 std::size_t kindSize, char* details, std::size_t detailsSize);

// The feed's listener: writes the event now. When the log cannot be written, pavro goes on;
// the next line that can be written is preceded by an "events-lost" line that says how many
// were lost and since when.
void event_log(const char* kind, const char* details);
// Events lost since the log last took one (0 when none), and the local time of the first.
int events_lost(const char** since);
// "Event log…": the window of the log, newest first, that follows the file while it is open.
void ereignisse(int menuBar, int menuItem, void* callbackData, int panel);
