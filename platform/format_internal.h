// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: the format language's parser and scanner, shared by the string and
// file forms of Fmt and Scan.
#pragma once

#include "io.h"

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fmtlang {

struct Directive {
    char conv = 0;
    int width = -1;
    int precision = -1;
    int exponent = -1;  // >= 0: scientific with that many exponent digits
};

const char* parseDirective(const char* f, Directive& d);

// Bounded output; `len` counts what would have been written, so callers can tell a cut.
struct Sink {
    char* buf;
    std::size_t cap;
    std::size_t len;
    void put(char c);
    void put(const char* s, std::size_t n);
};

void format(Sink& out, const char* format, const FmtArg* args, std::size_t nargs);
std::size_t formatDouble(char* buf, std::size_t size, double v, int precision, int exponent);

// Source over a zero-terminated text.
struct TextSource {
    const char* p;
    int peek() const { return *p ? static_cast<unsigned char>(*p) : -1; }
    // The character k places ahead (k = 1 or 2), -1 past the end.
    int peekAt(int k) const {
        for (int i = 0; i < k; ++i)
            if (!p[i]) return -1;
        return p[k] ? static_cast<unsigned char>(p[k]) : -1;
    }
    void next() { ++p; }
};

inline bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Longest number text taken; a longer one is not a number.
constexpr std::size_t kMaxNumber = 320;

// True when the number text `tok` (as takeNumber leaves it) surely converts to a finite
// double without leaving the range, so checking it needs no conversion.
inline bool surelyInRange(const char* tok, std::size_t n) {
    std::size_t i = tok[0] == '-' ? 1 : 0;
    int intDigits = 0, zerosAfterPoint = 0;
    bool nonzero = false, point = false;
    for (; i < n && tok[i] != 'e'; ++i) {
        char c = tok[i];
        if (c == '.')
            point = true;
        else if (c != '0' || nonzero) {
            if (c != '0') nonzero = true;
            if (!point) ++intDigits;
        } else if (point) {
            ++zerosAfterPoint;
        }
    }
    if (!nonzero) return true;  // zero, whatever the exponent
    int exp = 0;
    if (i < n) {
        bool neg = tok[++i] == '-';
        if (tok[i] == '-' || tok[i] == '+') ++i;
        for (; i < n; ++i) {
            if (exp > 10000) return false;
            exp = exp * 10 + (tok[i] - '0');
        }
        if (neg) exp = -exp;
    }
    int magnitude = (intDigits > 0 ? intDigits - 1 : -(zerosAfterPoint + 1)) + exp;
    return magnitude > -300 && magnitude < 300;
}

// Collects an optional sign and digits ("%d"), or sign, digits with an optional point and an
// optional exponent ("%f"). Returns the length, 0 when no digit was found; a leading '+' is
// consumed but not stored.
template <class Src>
std::size_t takeNumber(Src& s, char* tok, bool real) {
    std::size_t n = 0;
    bool over = false;
    auto keep = [&](int c) {
        if (n < kMaxNumber)
            tok[n++] = static_cast<char>(c);
        else
            over = true;
        s.next();
    };
    if (s.peek() == '-')
        keep('-');
    else if (s.peek() == '+')
        s.next();
    std::size_t digits = 0;
    while (isDigit(s.peek())) {
        keep(s.peek());
        ++digits;
    }
    if (real) {
        if (s.peek() == '.') {
            keep('.');
            while (isDigit(s.peek())) {
                keep(s.peek());
                ++digits;
            }
        }
        if (digits && (s.peek() == 'e' || s.peek() == 'E')) {
            // Only an exponent with digits belongs to the number; the source cannot step
            // back, so look up to two characters ahead first.
            int sign = s.peekAt(1);
            bool hasSign = sign == '+' || sign == '-';
            if (isDigit(s.peekAt(hasSign ? 2 : 1))) {
                keep('e');
                if (hasSign) keep(sign);
                while (isDigit(s.peek())) keep(s.peek());
            }
        }
    }
    if (!digits || over) return 0;
    return n;
}

// True for formats made only of plain "%f" directives and blanks, such as "%f %f".
inline bool plainReals(const char* f) {
    bool any = false;
    for (; *f; ++f) {
        if (isBlank(static_cast<unsigned char>(*f))) continue;
        if (f[0] != '%' || f[1] != 'f' || f[2] == '[') return false;
        any = true;
        ++f;
    }
    return any;
}

// The scan of a plain-reals format over contiguous text [p, end), as scan() would do it;
// *end must be a zero (a sentinel that no loop steps over).
// Returns the targets filled and advances p, or -1 (p untouched) when the text ran out
// before the scan could tell, so the caller must make more text available or use scan().
inline int scanRealsFast(const char*& p, const char* end, bool atEof, const char* f, const ScanArg* targets,
                         std::size_t ntargets) {
    const char* q = p;
    int filled = 0;
    std::size_t next = 0;
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' ' && isBlank(static_cast<unsigned char>(c)); };
    auto digit = [](char c) { return static_cast<unsigned>(c - '0') <= 9u; };
    for (; *f; ++f) {
        if (blank(*f)) continue;
        ++f;  // at the 'f' of "%f"
        if (next >= ntargets) break;
        const ScanArg& t = targets[next++];
        while (blank(*q)) ++q;
        if (q >= end && !atEof) return -1;
        const char* start = q;
        if (*q == '-' || *q == '+') ++q;
        const char* digits0 = q;
        while (digit(*q)) ++q;
        std::size_t ndig = static_cast<std::size_t>(q - digits0);
        if (*q == '.') {
            const char* d = ++q;
            while (digit(*q)) ++q;
            ndig += static_cast<std::size_t>(q - d);
        }
        if (q + 2 >= end && !atEof) return -1;  // an exponent may lie beyond what is here
        int expDigits = 0, expValue = 0;        // of the exponent, where there is one
        if (ndig && (*q == 'e' || *q == 'E')) {
            const char* e = q + 1;
            if (*e == '+' || *e == '-') ++e;
            if (digit(*e)) {
                q = e;
                for (; digit(*q); ++q, ++expDigits)
                    if (expDigits < 4) expValue = expValue * 10 + (*q - '0');
                if (q >= end && !atEof) return -1;
            }
        }
        const char* tok = *start == '+' ? start + 1 : start;
        std::size_t n = static_cast<std::size_t>(q - tok);
        if (!ndig || n > kMaxNumber) {
            p = q;
            return filled;
        }
        // A value of at most `ndig` significant digits scaled by 10^exp stays within the
        // range while ndig + |exp| < 300: no conversion is needed to check it.
        double v;
        bool sure = !t.p && expDigits < 4 && static_cast<int>(ndig) + expValue < 300;
        if (!sure) {
            if (std::from_chars(tok, tok + n, v).ec != std::errc()) {
                p = q;
                return filled;
            }
            if (t.p) {
                if (t.kind == ScanArg::Double)
                    *static_cast<double*>(t.p) = v;
                else if (v > -2147483649.0 && v < 2147483648.0)
                    *static_cast<int*>(t.p) = static_cast<int>(v);
                else {
                    p = q;
                    return filled;
                }
            }
        }
        ++filled;
    }
    p = q;
    return filled;
}

template <class Src>
int scan(Src& s, const char* f, const ScanArg* targets, std::size_t ntargets) {
    if (f[0] == '%' && f[1] == 's' && f[2] == '>') f += 3;  // the source designator
    int filled = 0;
    std::size_t next = 0;
    char tok[kMaxNumber + 1];
    while (*f) {
        if (isBlank(static_cast<unsigned char>(*f))) {
            while (isBlank(s.peek())) s.next();
            ++f;
            continue;
        }
        if (*f != '%' || !f[1]) {
            if (s.peek() != static_cast<unsigned char>(*f)) return filled;
            s.next();
            ++f;
            continue;
        }
        Directive d;
        f = parseDirective(f, d);
        if (next >= ntargets) return filled;
        const ScanArg& t = targets[next++];  // a null target matches without storing
        while (isBlank(s.peek())) s.next();
        bool real = d.conv == 'f';
        if (d.conv != 'f' && d.conv != 'd') return filled;
        std::size_t n = takeNumber(s, tok, real);
        if (n == 0) return filled;
        if (!t.p) {  // matched, not stored: convert only where the range is in doubt
            double v;
            if (!surelyInRange(tok, n) && std::from_chars(tok, tok + n, v).ec != std::errc()) return filled;
        } else if (t.kind == ScanArg::Double) {
            double v;
            auto r = std::from_chars(tok, tok + n, v);
            if (r.ec != std::errc()) return filled;
            *static_cast<double*>(t.p) = v;
        } else {
            // A real scanned into an int, or an int into a double, converts as a cast would.
            if (real) {
                double v;
                auto r = std::from_chars(tok, tok + n, v);
                if (r.ec != std::errc() || !(v > -2147483649.0 && v < 2147483648.0)) return filled;
                *static_cast<int*>(t.p) = static_cast<int>(v);
            } else {
                int v;
                auto r = std::from_chars(tok, tok + n, v);
                if (r.ec != std::errc()) return filled;
                *static_cast<int*>(t.p) = v;
            }
        }
        ++filled;
    }
    return filled;
}

}  // namespace fmtlang
