// SPDX-License-Identifier: GPL-3.0-or-later
// The recording file's line: how the recorder writes it, and how the viewer knows one at once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// A blank, the seconds since the start with one decimal, a tab, the value in scientific
// notation, a blank, the line end: " 12.3\t3.400000e+00 \n".
constexpr char kRecordingLine[] = " %f[p1]\t%f[e2] \n";

namespace recording_line {

// Where the byte at p[1] lands in a 64-bit word loaded from p.
constexpr int byteOfPoint() { return std::endian::native == std::endian::little ? 1 : 6; }

// True when the 8 bytes at p are digits, byte 1 excepted (the decimal point of "d.dddddd").
inline bool digitsAroundPoint(const char* p) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    constexpr std::uint64_t high = 0xF0F0F0F0F0F0F0F0u, zeros = 0x3030303030303030u;
    x = (x & ~(std::uint64_t{0xFF} << 8 * byteOfPoint())) | (std::uint64_t{'0'} << 8 * byteOfPoint());
    // Every byte 0x30-0x3F, and none above '9' (adding 6 carries 0x3A-0x3F into 0x40).
    return (x & high) == zeros && ((x + 0x0606060606060606u) & high) == zeros;
}

// The number of digits the 8 bytes at p begin with, 8 when all are; their value in *value
// when fewer (a little-endian machine only, else -1 for the caller's own loop).
inline int leadingDigits(const char* p, std::uint64_t* value) {
    if constexpr (std::endian::native != std::endian::little) {
        return -1;
    } else {
        std::uint64_t x;
        std::memcpy(&x, p, 8);
        constexpr std::uint64_t high = 0xF0F0F0F0F0F0F0F0u, zeros = 0x3030303030303030u;
        // A byte's high nibble after these tests is 0 for a digit; a carry out of a byte that
        // is no digit goes only to later bytes, which do not count.
        std::uint64_t other = ((x & high) ^ zeros) | (((x + 0x0606060606060606u) & high) ^ zeros);
        if (other == 0) return 8;
        int n = std::countr_zero(other) / 8;
        if (n == 0) return 0;
        // The digits moved to the top, zeros before them, and the eight read as one number.
        std::uint64_t d = (x - zeros) << (8 * (8 - n));
        d = (d * 10) + (d >> 8);
        d = (((d & 0x000000FF000000FFu) * (100 + (1000000ULL << 32))) +
             (((d >> 16) & 0x000000FF000000FFu) * (1 + (10000ULL << 32)))) >>
            32;
        *value = static_cast<std::uint32_t>(d);
        return n;
    }
}

inline bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace recording_line

// Where the numbers of a recording line stand, for a reader that takes them without conversion.
struct RecordingLineFields {
    long long tenths;      // the time in tenths of a second
    const char* mantissa;  // "d.dddddd", the sign before it taken off
    bool negative;
    int exponent;
};

// The length of the text at p up to the end of the second number of a recording line as the
// recorder writes it, blanks before it included; 0 when the text is not that. The text must
// end in a zero with 16 more readable bytes after it. For such a line "%f %f" fills both
// numbers (both surely in range) and stops there, so a line can be passed over unread.
// Where `fields` is given, it is filled for a line that is one.
[[gnu::always_inline]] inline std::size_t recording_line_length(const char* p, RecordingLineFields* fields = nullptr) {
    using namespace recording_line;
    auto digit = [](char c) { return static_cast<unsigned>(c - '0') <= 9u; };
    const char* q = p;
    while (blank(*q)) ++q;
    const char* d = q;
    std::uint64_t t = 0;  // wraps harmlessly on a run of digits too long to be a time
    int n = leadingDigits(q, &t);
    if (n >= 0 && n < 8) {
        q += n;
    } else {
        for (t = 0; digit(*q); ++q)
            if (fields) t = t * 10 + static_cast<std::uint64_t>(*q - '0');
    }
    if (q == d || q - d > 15 || *q != '.' || !digit(q[1]) || q[2] != '\t') return 0;
    if (fields) t = t * 10 + static_cast<std::uint64_t>(q[1] - '0');
    q += 3;
    bool negative = *q == '-';
    if (negative) ++q;
    // "d.dddddd" then "e+dd" or "e-dd" and no further digit. A zero at the text's end fails
    // the test of whichever byte it stands in, so nothing beyond it decides.
    if (q[1] != '.' || !digitsAroundPoint(q)) return 0;
    const char* m = q;
    q += 8;
    if (q[0] != 'e' || (q[1] != '+' && q[1] != '-') || !digit(q[2]) || !digit(q[3]) || digit(q[4])) return 0;
    if (fields) {
        int e = (q[2] - '0') * 10 + (q[3] - '0');
        *fields = {static_cast<long long>(t), m, negative, q[1] == '-' ? -e : e};
    }
    return static_cast<std::size_t>(q + 4 - p);
}
