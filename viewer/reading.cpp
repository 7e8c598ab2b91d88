// SPDX-License-Identifier: GPL-3.0-or-later
// The band, index and statistics of a viewed file, and the closer look at a time range.
//
// A recorder line's value "d.dddddde+dd" is taken as the integer mantissa and the exponent,
// with no conversion: as a key that orders like the value (least and greatest), and summed by
// exponent (the mean, exactly). Only the few values that are shown become doubles, rounded as
// the scanner rounds them, so band and statistics hold the very numbers the file gives.
#include "reading.h"

#include "io.h"
#include "recording_line.h"
#include "ui.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr long long kExact = 1LL << 53;  // integers below this are exact doubles
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// m x 10^e, rounded once as the scanner would round the decimal text.
double decimal(long long m, int e) {
    if (m < kExact && e >= -22 && e <= 22)
        return e >= 0 ? static_cast<double>(m) * kPow10[e] : static_cast<double>(m) / kPow10[-e];
    char text[40];
    int n = std::snprintf(text, sizeof text, "%llde%d", m, e);
    double v = 0.0;
    std::from_chars(text, text + n, v);
    return v;
}

// The length of a plain number at p, "-12.5e-3" and the like (no other form), 0 when none.
std::size_t plain_number(const char* p) {
    auto digits = [&p]() {
        const char* d = p;
        while (static_cast<unsigned>(*p - '0') <= 9u) ++p;
        return p > d;
    };
    const char* start = p;
    if (*p == '-') ++p;
    if (!digits()) return 0;
    if (*p == '.' && (++p, !digits())) return 0;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!digits()) return 0;
    }
    return static_cast<std::size_t>(p - start);
}

// A line of two plain numbers, "12.5 3.25e-1", taken as the scan "%f %f" takes it: the numbers
// converted as the scanner converts them, the text up to the end of the second consumed.
// False for anything else, which the scanner itself then reads.
bool plain_pair(const char* p, std::size_t avail, std::size_t* used, double* t, double* v) {
    const char* end = p + avail;
    std::size_t n1 = plain_number(p);
    if (n1 == 0 || n1 > 40) return false;
    const char* q = p + n1;
    if (*q != ' ' && *q != '\t') return false;
    while (*q == ' ' || *q == '\t') ++q;
    std::size_t n2 = plain_number(q);
    if (n2 == 0 || n2 > 40) return false;
    const char* after = q + n2;
    const char* r = after;
    while (*r == ' ' || *r == '\t' || *r == '\r') ++r;
    if (r >= end || *r != '\n') return false;  // the line must end within what is shown
    if (std::from_chars(p, p + n1, *t).ec != std::errc() || std::from_chars(q, q + n2, *v).ec != std::errc())
        return false;
    *used = static_cast<std::size_t>(after - p);
    return true;
}

}  // namespace

// A recording line at p (the file's next text) taken into *t and *v and passed over.
static bool recording_pair(int file, const char* p, double* t, double* v) {
    RecordingLineFields f;
    std::size_t n = recording_line_length(p, &f);
    if (n == 0) return false;
    LineKeys k = line_keys(f);
    *t = Pass::time_of(k.time);
    *v = Pass::value_of(k.value);
    SkipFile(file, n);
    return true;
}

double Pass::value_of(long long key) {
    if (key == 0) return 0.0;
    long long k = key < 0 ? -key : key;
    double v = decimal(k % kMantissa, static_cast<int>(k / kMantissa - 200) - 6);
    return key < 0 ? -v : v;
}

double Pass::time_of(long long key) { return key < kExact ? static_cast<double>(key) / 10.0 : decimal(key, -1); }

void Pass::line(const RecordingLineFields& f) {
    LineKeys k = line_keys(f);
    values_.key(k.value);
    times_.key(k.time);
    sums_[bucket(k)] += signed_mantissa(k);
    met(1, k.time, k.time);
}

void Pass::take(const LineBatch& b) {
    take_keys(b);
    if (b.lines) add_sums(b.sums);
}

void Pass::take_keys(const KeySpan& b) {
    if (b.lines == 0) return;
    values_.key(b.vmin);
    values_.key(b.vmax);
    times_.key(b.tmin);
    times_.key(b.tmax);
    met(b.lines, b.first, b.last);
}

void Pass::add_sums(const ExponentSums& sums) {
    for (std::size_t i = 0; i < sums_.size(); ++i) sums_[i] += sums[i];
}

void Pass::met(long long lines, long long firstKey, long long lastKey) {
    readable_ += lines;
    if (firstInGroup_ && !index_.empty()) index_.back().first = time_of(firstKey);
    firstInGroup_ = false;
    if (!seenFirst_) first_ = time_of(firstKey);
    seenFirst_ = true;
    lastFast_ = true;
    lastKey_ = lastKey;
}

void Pass::value(double t, double v) {
    ++readable_;
    values_.value(v);
    times_.value(t);
    slowSum_ += v;
    if (firstInGroup_ && !index_.empty()) index_.back().first = t;
    firstInGroup_ = false;
    if (!seenFirst_) first_ = t;
    seenFirst_ = true;
    lastFast_ = false;
    last_ = t;
}

void Pass::group_begin(long long offset, long long reads) {
    IndexEntry e;
    e.begin = offset;
    e.reads = reads;
    e.lines = readable_;  // the count so far; group_end makes it the group's
    index_.push_back(e);
    firstInGroup_ = true;
}

bool Pass::group_end(long long offset, double* lo, double* hi) {
    bool any = !values_.empty();
    IndexEntry& e = index_.back();
    e.end = offset;
    e.lines = readable_ - e.lines;
    times_.get(time_of, &e.tmin, &e.tmax);
    double a = 0.0, b = 0.0;
    values_.get(value_of, &a, &b);
    if (any) {
        least_ = std::min(least_, a);
        greatest_ = std::max(greatest_, b);
    }
    if (lo) *lo = a;
    if (hi) *hi = b;
    values_ = Span{};
    times_ = Span{};
    return any;
}

FileStats Pass::stats() const {
    FileStats s;
    s.lines = readable_ + unreadable_;
    s.unreadable = unreadable_;
    if (readable_ == 0) return s;
    s.first = first_;
    s.last = lastFast_ ? time_of(lastKey_) : last_;
    s.least = least_;
    s.greatest = greatest_;
    long double sum = slowSum_;
    for (std::size_t b = 0; b < sums_.size(); ++b)
        if (sums_[b])
            sum += static_cast<long double>(sums_[b]) * std::pow(10.0L, static_cast<int>(b) - kExponentBias - 6);
    s.mean = static_cast<double>(sum / static_cast<long double>(readable_));
    return s;
}

LineRead next_line(int file, Pass* pass, double* t, double* v) {
    std::size_t avail = 0;
    const char* p = nullptr;
    for (;;) {  // past the blanks before the line, blank lines included
        p = PeekFile(file, 64, &avail);
        if (!p || avail == 0) return LineRead::End;
        std::size_t b = 0;
        while (b < avail && recording_line::blank(p[b])) ++b;
        if (b == 0) break;
        SkipFile(file, b);
    }
    double a = 0.0, b = 0.0;
    std::size_t used = 0;
    RecordingLineFields f;
    if (pass && (used = recording_line_length(p, &f))) {
        pass->line(f);
        SkipFile(file, used);
        return LineRead::Read;
    }
    bool read = recording_pair(file, p, &a, &b);
    if (!read && plain_pair(p, avail, &used, &a, &b)) {
        SkipFile(file, used);
        read = true;
    }
    if (!read) read = ScanFile(file, "%f %f", &a, &b) == 2;
    if (read) {
        if (pass) pass->value(a, b);
        if (t) *t = a;
        if (v) *v = b;
        return LineRead::Read;
    }
    if (pass) pass->unreadable();
    for (;;) {  // on to the next line
        p = PeekFile(file, 64, &avail);
        if (!p || avail == 0) break;
        const void* nl = std::memchr(p, '\n', avail);
        if (nl) {
            SkipFile(file, static_cast<std::size_t>(static_cast<const char*>(nl) - p) + 1);
            break;
        }
        SkipFile(file, avail);
    }
    return LineRead::Unreadable;
}

LineRead next_pair(int file, double* t, double* v) {
    std::size_t avail = 0;
    const char* p = PeekFile(file, 64, &avail);
    if (p && recording_pair(file, p, t, v)) return LineRead::Read;
    return ScanFile(file, "%f %f", t, v) == 2 ? LineRead::Read : LineRead::Unreadable;
}

int read_range(int file, const std::vector<IndexEntry>& index, double from, double to, double* t, double* v, double* lo,
               double* hi, bool* thinned) {
    *thinned = false;
    std::size_t first = index.size(), last = 0;
    for (std::size_t j = 0; j < index.size(); ++j) {
        if (index[j].lines == 0 || index[j].tmax < from || index[j].tmin > to) continue;
        first = std::min(first, j);
        last = j;
    }
    if (first == index.size()) return 0;
    long long total = 0;
    for (std::size_t j = first; j <= last; ++j) total += index[j].lines;
    const long long run = total / 998 + 1;
    *thinned = run > 1;
    if (SetFilePtr(file, index[first].begin, 0) != index[first].begin) return -1;
    Span span;
    long long k = 0;
    int n = 0;
    double lastT = 0.0, lastV = 0.0;
    auto emit = [&] {
        if (n >= 999) return;
        t[n] = lastT;
        v[n] = lastV;
        span.get(Pass::value_of, &lo[n], &hi[n]);
        ++n;
        span = Span{};
        k = 0;
    };
    // Each group's first line must be the one the index holds: else the file is another now.
    for (std::size_t group = first; group <= last; ++group) {
        if (!ProgressStep(static_cast<double>(group - first) / static_cast<double>(last - first + 1)))
            return kRangeCancelled;
        const IndexEntry& e = index[group];
        bool checked = false;
        long long reads = 0;
        for (;;) {
            double a = 0.0, b = 0.0;
            LineRead r;
            if (e.reads) {
                if (reads++ == e.reads) break;
                r = next_pair(file, &a, &b);
            } else {
                if (SetFilePtr(file, 0, 1) >= e.end) break;
                r = next_line(file, nullptr, &a, &b);
                if (r == LineRead::End) break;
            }
            if (r != LineRead::Read) continue;
            if (!checked && a != e.first) return -1;
            checked = true;
            if (!(a >= from && a <= to)) continue;
            span.value(b);
            lastT = a;
            lastV = b;
            if (++k == run) emit();
        }
    }
    if (k > 0) emit();
    return n;
}
