// SPDX-License-Identifier: GPL-3.0-or-later
// A recording file as a CSV table: clock time (when its recording info is known), seconds
// since the start, value, unit; RFC 4180, '.' as the decimal point whatever the locale.
#pragma once

struct RecordingInfo;

struct CsvExport {
    long long rows = 0;       // lines written as rows
    long long skipped = 0;    // lines without a time and a value, left out
    bool cancelled = false;   // by the operator's Cancel: no file is left
    bool failed = false;      // the file could not be read or written: no file is left
};

// The lines of `dataPath` (those with a time in [from, to] unless `whole`) into `csvPath`,
// which appears only once it is complete. `info` null: no clock time, no unit. The work runs
// under a progress (ProgressBegin) that the caller began.
CsvExport csv_export(const char* dataPath, const char* csvPath, const RecordingInfo* info, bool whole, double from,
                     double to);
