// SPDX-License-Identifier: GPL-3.0-or-later
// What one pass over a recording file gathers beside the thinned points: the least and the
// greatest value of each group of lines (the band), where each group lies in the file (the
// index a closer look reads from), and the file's statistics.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "recording_line.h"

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

// The keys of a recording line's text: the time in tenths, and the value as a key that orders
// like the value, from the mantissa normalised to 7 digits and the exponent.
struct LineKeys {
    long long time, value;
    int mantissa, exponent;  // mantissa 1000000-9999999, 0 for zero
    bool negative;
};
constexpr long long kMantissa = 10000000;  // 7 digits
constexpr int kExponentBias = 110;         // bucket of exponent e is e + kExponentBias
constexpr int kBuckets = 220;

// The keys of a recording line from its fields.
[[gnu::always_inline]] inline LineKeys line_keys(const RecordingLineFields& f) {
    const char* p = f.mantissa;
    int m;
    if constexpr (std::endian::native == std::endian::little) {
        // The eight bytes "d.dddddd" as one number at once, the point read as a zero digit.
        std::uint64_t x;
        std::memcpy(&x, p, 8);
        x = ((x & ~(std::uint64_t{0xFF} << 8)) | (std::uint64_t{'0'} << 8)) - 0x3030303030303030u;
        x = (x * 10) + (x >> 8);
        x = (((x & 0x000000FF000000FFu) * (100 + (1000000ULL << 32))) +
             (((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ULL << 32)))) >>
            32;
        int d0 = p[0] - '0';
        m = static_cast<int>(x) - 9 * 1000000 * d0;  // d0 stood for ten millions
    } else {
        m = p[0] - '0';
        for (int i = 2; i < 8; ++i) m = m * 10 + (p[i] - '0');
    }
    int e = f.exponent;
    if (m == 0) return {f.tenths, 0, 0, 0, f.negative};
    while (m < kMantissa / 10) {  // "0.500000e+00" and the like
        m *= 10;
        --e;
    }
    long long key = (e + 200) * kMantissa + m;
    return {f.tenths, f.negative ? -key : key, m, e, f.negative};
}

// The keys of recording lines met one after another: how many, the least and greatest value and
// time, the times of the first and the last.
struct KeySpan {
    long long lines = 0;
    long long vmin = LLONG_MAX, vmax = LLONG_MIN, tmin = LLONG_MAX, tmax = LLONG_MIN;
    long long first = 0, last = 0;  // time keys
    [[gnu::always_inline]] inline void add(const LineKeys& k) {
        if (lines++ == 0) first = k.time;
        last = k.time;
        vmin = std::min(vmin, k.value);
        vmax = std::max(vmax, k.value);
        tmin = std::min(tmin, k.time);
        tmax = std::max(tmax, k.time);
    }
};

// The mantissas of recording lines summed by decimal exponent: exact, for the mean.
using ExponentSums = std::array<std::int64_t, kBuckets>;
[[gnu::always_inline]] inline std::int64_t signed_mantissa(const LineKeys& k) {
    return k.negative ? -k.mantissa : k.mantissa;
}
[[gnu::always_inline]] inline std::size_t bucket(const LineKeys& k) {
    return static_cast<std::size_t>(k.exponent + kExponentBias);
}

// Recording lines met one after another, gathered in locals before they go to a Pass.
struct LineBatch : KeySpan {
    ExponentSums sums{};
    [[gnu::always_inline]] inline void add(const RecordingLineFields& f) {
        LineKeys k = line_keys(f);
        KeySpan::add(k);
        sums[bucket(k)] += signed_mantissa(k);
    }
};

// One group of lines of the file: where it begins and ends, how many lines it has and the
// times it spans.
struct IndexEntry {
    long long begin = 0, end = 0;  // byte offsets
    long long reads = 0;           // read as that many scans "%f %f" (the thinned reading); 0: line by line
    long long lines = 0;           // readable lines
    double first = 0.0;            // time of its first readable line
    double tmin = 0.0, tmax = 0.0;
};

struct FileStats {
    long long lines = 0;             // every line, unreadable ones included
    long long unreadable = 0;        // lines without two numbers
    double first = 0.0, last = 0.0;  // times of the first and last readable line
    double least = 0.0, greatest = 0.0, mean = 0.0;
};

class Pass {
public:
    // A recording line as the recorder writes it.
    void line(const RecordingLineFields& f);
    // Recording lines gathered one after another.
    void take(const LineBatch& b);
    // The same without their sums, which go to add_sums, all at once.
    void take_keys(const KeySpan& b);
    void add_sums(const ExponentSums& sums);
    // A line read by the scanner.
    void value(double t, double v);
    void unreadable() { ++unreadable_; }

    // Groups: begin at a byte offset, end at one; the group's least and greatest value, false
    // when it had no readable line.
    void group_begin(long long offset, long long reads = 0);
    bool group_end(long long offset, double* lo, double* hi);

    FileStats stats() const;
    const std::vector<IndexEntry>& index() const { return index_; }

    // The value and time keys of a recording line's text, and back.
    static double value_of(long long key);
    static double time_of(long long key);

private:
    // Recording lines met: how many, the time keys of the first and the last.
    void met(long long lines, long long firstKey, long long lastKey);
    ExponentSums sums_{};         // mantissas summed by decimal exponent
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
// One scan "%f %f" of the thinned reading (a recording line taken at once): Read when it
// filled both, else Unreadable, having consumed what the scan did.
LineRead next_pair(int file, double* t, double* v);

// The lines of the groups of `index` whose times meet [from, to], with times in that range, read
// as the pass that made the index read them, at most 999 points: every line when they are that few (*thinned false),
// else the last line of each run of lines with the least and greatest value of the run in lo and hi. The points go to
// t, v, lo and hi (1000 slots each); returns their number, or -1 when the file no longer holds what the index says,
// or kRangeCancelled when the operator cancelled its progress (ProgressStep, a step per group).
constexpr int kRangeCancelled = -2;
int read_range(int file, const std::vector<IndexEntry>& index, double from, double to, double* t, double* v, double* lo,
               double* hi, bool* thinned);
