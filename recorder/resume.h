// SPDX-License-Identifier: GPL-3.0-or-later
// A recording cut off by a kill or a power cut, taken up again: which file was recorded last
// (remembered beside the settings file), and whether it can go on.
#pragma once

#include "info.h"

#include <string>

constexpr const char* kLastRecordingFile = "pavro-last-recording.txt";

// [recording] resume: offered by a button, taken up at once when the link is up, or never.
enum ResumeMode { kResumeOffer, kResumeAlways, kResumeNever };

struct ResumeCheck {
    bool resumable = false;
    std::string why;        // when not: why; "" when there is nothing to say (none, or it ended)
    std::string path;       // the recording file
    RecordingInfo info;
    long long samples = 0;  // the file's whole lines
    double last_s = 0.0;    // the time of the last [s since the start]
    long long size = 0;     // the file's bytes
    long long keep = 0;     // the bytes of whole lines: a half line after them is cut
};

// The file a recording to a file now starts in, remembered for the next start.
void last_recording_remember(const char* path);
// Whether the remembered recording, or the one at `path`, never ended and can go on: its info
// says it never ended, and the file is there, writable and holds that recording's lines only.
ResumeCheck resume_check();
ResumeCheck resume_check_file(const char* path);
