// SPDX-License-Identifier: GPL-3.0-or-later
// CSV export of a recording file: one pass, a recorder's line copied as it stands, the clock
// time of each row built from the minute it falls in; a full buffer is written by a second
// thread while the next one fills, since the output is larger than the file.
#include "export.h"

#include "feed.h"
#include "info.h"
#include "io.h"
#include "reading.h"
#include "recording_line.h"
#include "ui.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <future>
#include <string>

namespace {

constexpr std::size_t kFlushAt = 1 << 20;  // [bytes] written in pieces of about this size
constexpr long long kLinesPerLook = 4096;  // lines between looks at the progress

// ISO 8601 clock times with milliseconds and offset, the text of each minute made once.
class ClockTexts {
public:
    explicit ClockTexts(long long startMs) : startMs_(startMs) {}
    void append(std::string& out, double seconds) {
        double at = static_cast<double>(startMs_) + seconds * 1000.0;
        if (!std::isfinite(at) || at < 0.0 || at > static_cast<double>(kLastMs)) return;
        appendMs(out, std::llround(at));
    }
    // A recorder's time, in tenths of a second since the start.
    void appendTenths(std::string& out, long long tenths) {
        if (tenths > (kLastMs - startMs_) / 100) return;
        appendMs(out, startMs_ + tenths * 100);
    }

private:
    static constexpr long long kLastMs = 253402300799000;  // the end of the year 9999

    void appendMs(std::string& out, long long ms) {
        if (ms < 0) return;
        long long minute = ms / 60000;
        if (minute != minute_) {
            char t[64];
            LocalTimeTextAt(minute * 60000, t, sizeof t, 1);  // "2026-12-10T14:32:00.000+01:00"
            prefix_.assign(t, 17);
            zone_.assign(t + 23);
            minute_ = minute;
        }
        int inMinute = static_cast<int>(ms - minute * 60000);
        char s[7] = {static_cast<char>('0' + inMinute / 10000), static_cast<char>('0' + inMinute / 1000 % 10), '.',
                     static_cast<char>('0' + inMinute / 100 % 10), static_cast<char>('0' + inMinute / 10 % 10),
                     static_cast<char>('0' + inMinute % 10), '\0'};
        out += prefix_;
        out.append(s, 6);
        out += zone_;
    }

    long long startMs_;
    long long minute_ = -1;
    std::string prefix_, zone_;
};

// Writes full buffers on a second thread, one at a time, while the caller fills the next.
class Writer {
public:
    explicit Writer(int handle) : handle_(handle) {}
    ~Writer() { finish(); }
    // Hands over `buffer` and gives back an empty one; false once a write has failed.
    bool write(std::string& buffer) {
        if (!finish()) return false;
        spare_.swap(buffer);
        buffer.clear();
        pending_ = std::async(std::launch::async, [this] { return WriteFileData(handle_, spare_.data(), spare_.size()); });
        return true;
    }
    // Waits for the write under way; false once one has failed.
    bool finish() {
        if (pending_.valid() && pending_.get() != 0) failed_ = true;
        return !failed_;
    }

private:
    int handle_;
    std::string spare_;
    std::future<int> pending_;
    bool failed_ = false;
};

void append_number(std::string& out, double v) {
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

}  // namespace

CsvExport csv_export(const char* dataPath, const char* csvPath, const RecordingInfo* info, bool whole, double from,
                     double to) {
    CsvExport result;
    std::string part = std::string(csvPath) + ".part";
    long long size = 0;
    GetFileInfo(dataPath, &size);
    int in = OpenFile(dataPath, 1, 2, 1);
    int out = in > 0 ? OpenFile(part.c_str(), 2, 0, 0) : -1;
    if (in <= 0 || out <= 0) {
        if (in > 0) CloseFile(in);
        result.failed = true;
        return result;
    }
    ClockTexts clock(info ? info->startUnixMs : 0);
    const std::string unit = info && info->unit != kFeedUnknown ? unit_name(info->unit) : "";
    std::string buffer = "clock_time,seconds,value,unit\r\n";
    buffer.reserve(kFlushAt + 4096);
    Writer writer(out);
    auto row = [&](double t, auto&& clockTime, auto&& seconds, auto&& value) {
        if (!whole && !(t >= from && t <= to)) return;
        if (info) clockTime();
        buffer += ',';
        seconds();
        buffer += ',';
        value();
        buffer += ',';
        buffer += unit;
        buffer += "\r\n";
        ++result.rows;
    };
    long long lines = 0, look = 0;
    for (bool end = false; !end && !result.failed;) {
        if (lines >= look) {
            look = lines + kLinesPerLook;
            if (!ProgressStep(size > 0 ? static_cast<double>(SetFilePtr(in, 0, 1)) / static_cast<double>(size) : 0.0)) {
                result.cancelled = true;
                break;
            }
        }
        std::size_t available = 0, used = 0, n = 0;
        const char* p = PeekFile(in, 64, &available);
        RecordingLineFields f;
        // A recorder's lines as they stand: "12.3" and "1.234567e+01" are already what a
        // spreadsheet reads.
        while (p && (used == 0 || available - used >= 64) && (n = recording_line_length(p + used, &f))) {
            used += n;
            ++lines;
            row(
                static_cast<double>(f.tenths) / 10.0, [&] { clock.appendTenths(buffer, f.tenths); },
                [&] {
                    append_number(buffer, static_cast<double>(f.tenths / 10));
                    buffer += '.';
                    buffer += static_cast<char>('0' + f.tenths % 10);
                },
                [&] {
                    char e[8] = {'e', f.exponent < 0 ? '-' : '+', static_cast<char>('0' + std::abs(f.exponent) / 10 % 10),
                                 static_cast<char>('0' + std::abs(f.exponent) % 10)};
                    if (f.negative) buffer += '-';
                    buffer.append(f.mantissa, 8);
                    buffer.append(e, 4);
                });
        }
        if (used) {
            SkipFile(in, used);
        } else {
            double t = 0.0, v = 0.0;
            LineRead r = next_line(in, nullptr, &t, &v);
            ++lines;
            if (r == LineRead::End) end = true;
            else if (r == LineRead::Unreadable) ++result.skipped;
            else
                row(
                    t, [&] { clock.append(buffer, t); }, [&] { append_number(buffer, t); },
                    [&] { append_number(buffer, v); });
        }
        if ((buffer.size() >= kFlushAt || (end && !buffer.empty())) && !writer.write(buffer)) result.failed = true;
    }
    if (!writer.finish()) result.failed = true;
    CloseFile(in);
    CloseFile(out);
    if (result.cancelled || result.failed || ReplaceFileDurably(part.c_str(), csvPath) != 0) {
        if (!result.cancelled) result.failed = true;
        DeleteFile(part.c_str());
    }
    return result;
}
