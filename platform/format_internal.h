// Private to platform/: the format language's parser and scanner, shared by the string and
// file forms of Fmt and Scan.
#pragma once

#include "io.h"

#include <charconv>
#include <cstddef>

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

// Collects an optional sign and digits ("%d"), or sign, digits with an optional point and an
// optional exponent ("%f"). Returns the length, 0 when no digit was found; a leading '+' is
// consumed but not stored.
template <class Src>
std::size_t takeNumber(Src& s, char* tok, bool real) {
    std::size_t n = 0;
    bool over = false;
    auto keep = [&](int c) {
        if (n < kMaxNumber) tok[n++] = static_cast<char>(c);
        else over = true;
        s.next();
    };
    if (s.peek() == '-') keep('-');
    else if (s.peek() == '+') s.next();
    std::size_t digits = 0;
    while (isDigit(s.peek())) { keep(s.peek()); ++digits; }
    if (real) {
        if (s.peek() == '.') {
            keep('.');
            while (isDigit(s.peek())) { keep(s.peek()); ++digits; }
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
        const ScanArg& t = targets[next++];
        while (isBlank(s.peek())) s.next();
        bool real = d.conv == 'f';
        if (d.conv != 'f' && d.conv != 'd') return filled;
        std::size_t n = takeNumber(s, tok, real);
        if (n == 0) return filled;
        if (t.kind == ScanArg::Double) {
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
