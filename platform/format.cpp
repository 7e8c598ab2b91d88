// SPDX-License-Identifier: GPL-3.0-or-later
// The format language: Fmt, Scan and their file forms share the directive parser and the
// number conversions here. Conversions use std::to_chars/from_chars, which ignore the locale.
#include "format_internal.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace fmtlang {

// Parses the directive at `f` (pointing at the '%'); returns the position after it.
const char* parseDirective(const char* f, Directive& d) {
    d = Directive{};
    d.conv = f[1];
    const char* p = f + 2;
    if (*p != '[') return p;
    ++p;
    while (*p && *p != ']') {
        char key = *p++;
        int value = 0;
        bool digits = false;
        while (*p >= '0' && *p <= '9') {
            if (value < 1000) value = value * 10 + (*p - '0');
            digits = true;
            ++p;
        }
        if (key == 'w' && digits)
            d.width = value;
        else if (key == 'p' && digits)
            d.precision = value;
        else if (key == 'e')
            d.exponent = digits ? value : 2;
    }
    if (*p == ']') ++p;
    return p;
}

void Sink::put(char c) {
    if (len + 1 < cap) buf[len] = c;
    ++len;
}

void Sink::put(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) put(s[i]);
}

static void putPadded(Sink& out, const char* s, std::size_t n, int width) {
    for (int pad = width - static_cast<int>(n); pad > 0; --pad) out.put(' ');
    out.put(s, n);
}

// Rewrites the exponent of a to_chars scientific form to at least `digits` digits.
static std::size_t fixExponent(char* s, std::size_t n, int digits) {
    char* e = static_cast<char*>(std::memchr(s, 'e', n));
    if (!e || e + 2 > s + n) return n;
    char* first = e + 2;  // after the sign
    char* end = s + n;
    while (end - first > 1 && *first == '0') {  // drop leading zeros, keep one digit
        std::memmove(first, first + 1, static_cast<std::size_t>(end - first - 1));
        --end;
    }
    int have = static_cast<int>(end - first);
    if (digits > 9) digits = 9;
    if (have < digits) {
        int add = digits - have;
        std::memmove(first + add, first, static_cast<std::size_t>(have));
        std::memset(first, '0', static_cast<std::size_t>(add));
        end += add;
    }
    return static_cast<std::size_t>(end - s);
}

std::size_t formatDouble(char* buf, std::size_t size, double v, int precision, int exponent) {
    if (precision > 15) precision = 15;
    std::to_chars_result r;
    if (exponent >= 0) {
        r = std::to_chars(buf, buf + size - 16, v, std::chars_format::scientific, precision < 0 ? 6 : precision);
        return fixExponent(buf, static_cast<std::size_t>(r.ptr - buf), exponent);
    }
    double mag = std::fabs(v);
    if (precision < 0 && std::isfinite(v) && ((mag != 0.0 && mag < 1e-4) || mag >= 1e20)) {
        // Six digits after the point would lose every significant digit or grow absurdly
        // long: write the shortest scientific form that reads back as the same value.
        r = std::to_chars(buf, buf + size - 16, v, std::chars_format::scientific);
        return fixExponent(buf, static_cast<std::size_t>(r.ptr - buf), 2);
    }
    r = std::to_chars(buf, buf + size - 16, v, std::chars_format::fixed, precision < 0 ? 6 : precision);
    if (r.ec != std::errc()) {  // a fixed form too long for the buffer
        r = std::to_chars(buf, buf + size - 16, v, std::chars_format::scientific);
        return fixExponent(buf, static_cast<std::size_t>(r.ptr - buf), 2);
    }
    return static_cast<std::size_t>(r.ptr - buf);
}

void format(Sink& out, const char* f, const FmtArg* args, std::size_t nargs) {
    std::size_t next = 0;
    char num[400];
    while (*f) {
        if (*f != '%' || !f[1]) {
            out.put(*f++);
            continue;
        }
        if (f[1] == '%') {
            out.put('%');
            f += 2;
            continue;
        }
        Directive d;
        f = parseDirective(f, d);
        const FmtArg* a = next < nargs ? &args[next] : nullptr;
        ++next;
        switch (d.conv) {
        case 'd': {
            int v = !a ? 0 : a->kind == FmtArg::Int ? a->i : static_cast<int>(a->d);
            auto r = std::to_chars(num, num + sizeof num, v);
            putPadded(out, num, static_cast<std::size_t>(r.ptr - num), d.width);
            break;
        }
        case 'f': {
            double v = !a ? 0.0 : a->kind == FmtArg::Double ? a->d : a->kind == FmtArg::Int ? a->i : 0.0;
            std::size_t n = formatDouble(num, sizeof num, v, d.precision, d.exponent);
            putPadded(out, num, n, d.width);
            break;
        }
        case 's': {
            const char* s = a && a->kind == FmtArg::Text && a->s ? a->s : "";
            putPadded(out, s, std::strlen(s), d.width);
            break;
        }
        case 'c': {
            char c = static_cast<char>(a && a->kind == FmtArg::Int ? a->i : 0);
            if (c) putPadded(out, &c, 1, d.width);
            break;
        }
        default:  // unknown conversion: copy it as it stands
            out.put('%');
            out.put(d.conv);
            break;
        }
    }
}

}  // namespace fmtlang

int FmtV(char* target, std::size_t size, const char* format, std::initializer_list<FmtArg> args) {
    if (!target || size == 0) return 0;
    fmtlang::Sink out{target, size, 0};
    fmtlang::format(out, format ? format : "", args.begin(), args.size());
    std::size_t end = out.len < size ? out.len : size - 1;
    target[end] = '\0';
    return static_cast<int>(end);
}

int ScanV(const char* source, const char* format, std::initializer_list<ScanArg> targets) {
    fmtlang::TextSource src{source ? source : ""};
    return fmtlang::scan(src, format ? format : "", targets.begin(), targets.size());
}
