// SPDX-License-Identifier: GPL-3.0-or-later
// The recording info: NAME.json beside a recording file NAME, saying when it began, in what
// unit and at what interval, and, once it ended, how. The recording file itself stays as it is.
#pragma once

#include <string>
#include <vector>

constexpr int kInfoFormat = 1;           // the info's "format"; a greater one is a later version's
constexpr const char* kInfoSuffix = ".json";

struct IntervalChange {
    long long sample;   // the first sample taken at the new interval (0: the first of all)
    double interval_s;  // [s]
};

// A recording cut off (killed, a power cut) and taken up again in the same file.
struct Interruption {
    long long samples = 0;       // whole lines in the file when it was taken up again
    double last_s = 0.0;         // the last of them [s since the start]
    std::string resumed;         // ISO 8601 with the UTC offset
    long long resumedUnixMs = 0;
};

struct RecordingInfo {
    int format = kInfoFormat;
    std::string start;           // ISO 8601 with the UTC offset
    long long startUnixMs = 0;   // the same moment [ms since 1970 UTC]: the file's time 0
    int unit = -1;               // FeedUnit: the module's mode when last read or saved; -1 unknown
    int displayMode = 0;         // the display mode of the recording's value text
    double interval_s = 0.0;     // at the start [s]
    std::vector<IntervalChange> changes;  // each change while recording
    int moduleType = -1;         // the type code read; -1 before any settings read
    int settingsWord = -1;       // the settings word read; -1 before any settings read
    int port = 0;
    std::string device;
    std::string programVersion;
    std::vector<Interruption> interruptions;
    bool ended = false;          // the rest is known only once it ended
    std::string end;
    long long samples = 0;
    std::string endedBy;         // "stop", "panel closed", "program closed"
    long long bytes = 0;         // the recording file's size at the end
};

// The info's path for a recording file's path; false when it does not fit.
bool info_path(const char* dataPath, char* infoPath);
// The info as JSON text, and back. Parsing refuses what is no info of this program (with the
// reason in `why`); a later format is refused as such.
std::string info_text(const RecordingInfo& info);
bool info_parse(const char* text, std::size_t size, RecordingInfo* info, std::string* why);
// Reads the info of the recording file at `dataPath`: 1 read, 0 there is none, negative
// unreadable or no info (the reason in `why`).
int info_read(const char* dataPath, RecordingInfo* info, std::string* why);
// Writes it beside the recording file, whole or not at all. 0 on success.
int info_write(const char* dataPath, const RecordingInfo& info);
