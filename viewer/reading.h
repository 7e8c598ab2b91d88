// SPDX-License-Identifier: GPL-3.0-or-later
// What one pass over a recording file gathers beside the thinned points: the least and the
// greatest value of each group of lines (the band), where each group lies in the file (the
// index a closer look reads from), and the file's statistics.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

// The least and greatest of some numbers, kept as integer keys where the text gave the number
// at once (see Pass::line) and as doubles where it had to be converted; doubles on demand.
struct Span {
    long long kmin = LLONG_MAX, kmax = LLONG_MIN;
    double dmin = std::numeric_limits<double>::infinity(), dmax = -std::numeric_limits<double>::infinity();
    bool empty() const { return kmin == LLONG_MAX && !(dmin <= dmax); }
    void key(long long k) {
        if (k < kmin) kmin = k;
        if (k > kmax) kmax = k;
    }
    void value(double v) {
        if (v < dmin) dmin = v;
        if (v > dmax) dmax = v;
    }
    // The least and greatest, with keys turned into doubles by `decode`.
    template <class Decode>
    void get(Decode decode, double* lo, double* hi) const {
        double a = dmin, b = dmax;
        if (kmin != LLONG_MAX) {
            a = std::min(a, decode(kmin));
            b = std::max(b, decode(kmax));
        }
        *lo = a;
        *hi = b;
    }
};

// One group of lines of the file: where it begins and ends, how many lines it has and the
// times it spans.
struct IndexEntry {
    long long begin = 0, end = 0;  // byte offsets
    long long lines = 0;           // readable lines
    double first = 0.0;            // time of its first readable line
    double tmin = 0.0, tmax = 0.0;
};

struct FileStats {
    long long lines = 0;       // every line, unreadable ones included
    long long unreadable = 0;  // lines without two numbers
    double first = 0.0, last = 0.0;  // times of the first and last readable line
    double least = 0.0, greatest = 0.0, mean = 0.0;
};

class Pass {
public:
    // A recording line as the recorder writes it, at p (recording_line_length knew it).
    void line(const char* p);
    // A line read by the scanner.
    void value(double t, double v);
    void unreadable() { ++unreadable_; }

    // Groups: begin at a byte offset, end at one; the group's least and greatest value, false
    // when it had no readable line.
    void group_begin(long long offset);
    bool group_end(long long offset, double* lo, double* hi);

    FileStats stats() const;
    const std::vector<IndexEntry>& index() const { return index_; }

    // The value and time keys of a recording line's text, and back.
    static double value_of(long long key);
    static double time_of(long long key);

private:
    static constexpr int kBias = 110;  // bucket of exponent e is e + kBias
    std::array<std::int64_t, 220> sums_{};  // mantissas summed by decimal exponent
    long double slowSum_ = 0.0L;  // values the scanner converted
    long long readable_ = 0, unreadable_ = 0;
    Span values_, times_;  // of the open group
    double least_ = std::numeric_limits<double>::infinity(), greatest_ = -std::numeric_limits<double>::infinity();
    bool seenFirst_ = false, lastFast_ = false, firstInGroup_ = true;
    long long firstKey_ = 0, lastKey_ = 0;
    double first_ = 0.0, last_ = 0.0;
    std::vector<IndexEntry> index_;
};

enum class LineRead { Read, Unreadable, End };
// Reads the file's next line: into `pass` when given, else into *t and *v.
LineRead next_line(int file, Pass* pass, double* t, double* v);

// The lines of the groups of `index` whose times meet [from, to], with times in that range,
// at most 999 points: every line when they are that few (*thinned false), else the last line of
// each run of lines with the least and greatest value of the run in lo and hi. The points
// go to t, v, lo and hi (1000 slots each); returns their number, or -1 when the file no longer
// holds what the index says.
int read_range(int file, const std::vector<IndexEntry>& index, double from, double to, double* t, double* v,
               double* lo, double* hi, bool* thinned);
