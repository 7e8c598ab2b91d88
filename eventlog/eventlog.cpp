// SPDX-License-Identifier: GPL-3.0-or-later
#include "eventlog.h"

#include "io.h"
#include "ui.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

const char kEventFile[] = "pavro-events.log";

namespace {

int lost = 0;         // events that did not reach the log since it last took one
char lostSince[40];   // local time of the first of them

bool word(const char* k) {
    if (!k || !*k) return false;
    for (const char* c = k; *c; ++c)
        if (!((*c >= 'a' && *c <= 'z') || *c == '-' || (*c >= '0' && *c <= '9'))) return false;
    return true;
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The log's path and that of its n-th older one.
bool log_path(int n, char* path) {
    char dir[kMaxPathname], name[64];
    if (GetProjectDir(dir) != 0) return false;
    if (n == 0)
        std::snprintf(name, sizeof name, "%s", kEventFile);
    else
        std::snprintf(name, sizeof name, "pavro-events.%d.log", n);
    return MakePathname(dir, name, path) == 0;
}

// Past the size, each log moves one place up; the oldest goes.
void rotate(const char* path, std::size_t adding) {
    long long size = 0;
    if (!GetFileInfo(path, &size) || size + static_cast<long long>(adding) <= kEventLogMax) return;
    char from[kMaxPathname], to[kMaxPathname];
    for (int n = kEventLogsKept - 1; n >= 0; --n)
        if (log_path(n, from) && log_path(n + 1, to) && GetFileInfo(from, &size)) RenameFile(from, to);
}

bool append(const char* path, const char* line, std::size_t n) {
    rotate(path, n);
    if (AppendFileWhole(path, line, n) != 0) return false;
    // On the device within a second of each event, whatever log is at the path then.
    static std::string synced;
    if (synced != path) {
        if (!synced.empty()) StopFileSynced(synced.c_str());
        synced = path;
        KeepFileSynced(path);
    }
    return true;
}

}  // namespace

std::size_t event_escape(char* out, std::size_t size, const char* text) {
    std::size_t n = 0;
    auto put = [&](char c) {
        if (out && n + 1 < size) out[n] = c;
        ++n;
    };
    static const char kHex[] = "0123456789abcdef";
    for (const unsigned char* d = reinterpret_cast<const unsigned char*>(text ? text : ""); *d; ++d) {
        if (*d == '\\') {
            put('\\');
            put('\\');
        } else if (*d < 0x20 || *d >= 0x7f) {
            put('\\');
            put('x');
            put(kHex[*d >> 4]);
            put(kHex[*d & 15]);
        } else {
            put(static_cast<char>(*d));
        }
    }
    return n;
}

std::string event_escape(const char* text) {
    std::string s(event_escape(nullptr, 0, text) + 1, '\0');
    event_escape(s.data(), s.size(), text);
    s.pop_back();
    return s;
}

std::size_t event_line(char* out, std::size_t size, const char* time, const char* kind, const char* details) {
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) out[n] = c;
        ++n;
    };
    for (const char* t = time ? time : ""; *t; ++t) put(*t);
    put('\t');
    for (const char* k = word(kind) ? kind : "unknown"; *k; ++k) put(*k);
    put('\t');
    n += event_escape(n < size ? out + n : nullptr, n < size ? size - n : 0, details);
    put('\n');
    if (n + 1 > size) return 0;
    out[n] = '\0';
    return n;
}

bool event_parse(const char* line, std::size_t length, char* time, std::size_t timeSize, char* kind,
                 std::size_t kindSize, char* details, std::size_t detailsSize) {
    if (length == 0 || line[length - 1] != '\n') return false;
    const char* end = line + length - 1;
    const char* tab1 = static_cast<const char*>(std::memchr(line, '\t', static_cast<std::size_t>(end - line)));
    if (!tab1) return false;
    const char* tab2 = static_cast<const char*>(std::memchr(tab1 + 1, '\t', static_cast<std::size_t>(end - tab1 - 1)));
    if (!tab2 || std::memchr(tab2 + 1, '\t', static_cast<std::size_t>(end - tab2 - 1))) return false;
    auto copy = [](const char* from, const char* to, char* out, std::size_t size) {
        std::size_t n = static_cast<std::size_t>(to - from);
        if (n + 1 > size) return false;
        std::memcpy(out, from, n);
        out[n] = '\0';
        return true;
    };
    if (!copy(line, tab1, time, timeSize) || !copy(tab1 + 1, tab2, kind, kindSize) || !word(kind)) return false;
    std::size_t n = 0;
    for (const char* d = tab2 + 1; d < end; ++d) {
        char c = *d;
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) return false;
        if (c == '\\') {
            if (d + 1 < end && d[1] == '\\') {
                ++d;
            } else if (d + 3 < end && d[1] == 'x' && hex(d[2]) >= 0 && hex(d[3]) >= 0) {
                c = static_cast<char>(hex(d[2]) * 16 + hex(d[3]));
                d += 3;
            } else {
                return false;
            }
        }
        if (n + 1 >= detailsSize) return false;
        details[n++] = c;
    }
    details[n] = '\0';
    return true;
}

void event_log(const char* kind, const char* details) {
    char time[40], path[kMaxPathname];
    LocalTimeText(time, sizeof time, 1);
    static char line[8192];
    std::size_t n = event_line(line, sizeof line, time, kind, details);
    if (n == 0) n = event_line(line, sizeof line, time, kind, "(details too long)");
    if (!log_path(0, path)) return;
    if (lost > 0) {
        char note[160], text[240];
        std::snprintf(note, sizeof note, "%d events lost since %s: the log could not be written", lost, lostSince);
        std::size_t m = event_line(text, sizeof text, time, "events-lost", note);
        if (!append(path, text, m)) {
            ++lost;
            return;
        }
        lost = 0;
    }
    if (!append(path, line, n) && lost++ == 0) std::snprintf(lostSince, sizeof lostSince, "%s", time);
}

int events_lost(const char** since) {
    if (since) *since = lost ? lostSince : "";
    return lost;
}

// ----- the Event log window ----------------------------------------------------------------------

namespace {

long long shownUpTo = 0;  // bytes of the log the window has shown
long long shownRows = 0;
bool fresh = true;        // the window asks for the first time: everything anew

// The rows of the log's whole lines from `shownUpTo` on; true when they replace all shown (the
// window opened, or the log was rotated or cut).
bool log_rows(std::vector<LogRow>* rows, std::string* status) {
    char path[kMaxPathname];
    long long size = 0;
    bool reset = fresh;
    fresh = false;
    if (log_path(0, path) && GetFileInfo(path, &size) && size < shownUpTo) reset = true;
    if (reset) shownUpTo = shownRows = 0;
    int file = size > shownUpTo ? OpenFile(path, 1, 2, 0) : -1;
    if (file > 0 && SetFilePtr(file, shownUpTo, 0) == shownUpTo) {
        std::string pending;
        for (;;) {
            std::size_t available = 0;
            const char* p = PeekFile(file, 4096, &available);
            if (!p || available == 0) break;
            pending.append(p, available);
            SkipFile(file, available);
            std::size_t at = 0;
            for (std::size_t nl; (nl = pending.find('\n', at)) != std::string::npos; at = nl + 1) {
                std::string line = pending.substr(at, nl - at);
                std::size_t t1 = line.find('\t'), t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
                char t[64], k[64], d[8192];
                std::string whole = line + '\n';
                // Shown as written: what was escaped stays escaped.
                if (t2 != std::string::npos && event_parse(whole.data(), whole.size(), t, sizeof t, k, sizeof k, d, sizeof d))
                    rows->push_back({{line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)}});
                else
                    rows->push_back({{"", "unreadable", line}});
                shownUpTo += static_cast<long long>(nl - at + 1);
                ++shownRows;
            }
            pending.erase(0, at);
        }
    }
    if (file > 0) CloseFile(file);
    const char* since = "";
    int missing = events_lost(&since);
    *status = std::to_string(shownRows) + " events in " + path;
    if (missing)
        *status += "; the log cannot be written: " + std::to_string(missing) + " events lost since " + since;
    return reset;
}

}  // namespace

void ereignisse(int, int, void*, int) {
    static const char* const headers[kLogColumns] = {"Time", "Kind", "Details"};
    fresh = true;
    ShowLogWindow("Event log", headers, log_rows);
}
