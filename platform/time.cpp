// SPDX-License-Identifier: GPL-3.0-or-later
#include "io.h"
#include "seams.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <thread>

namespace {
platform::Clock* given = nullptr;  // a test's clock in place of the steady one
}  // namespace

void platform::useClock(Clock* c) { given = c; }

double Timer() {
    using namespace std::chrono;
    if (given) return given->now();
    static const steady_clock::time_point origin = steady_clock::now();
    return duration<double>(steady_clock::now() - origin).count();
}

void Delay(double seconds) {
    if (!(seconds > 0.0)) return;
    if (given) return given->sleep(seconds);
    std::this_thread::sleep_for(std::chrono::duration<double>(std::fmin(seconds, 3600.0)));
}

long long UnixTimeMs() { return QDateTime::currentMSecsSinceEpoch(); }

int LocalTimeText(char* out, std::size_t size, int form) { return LocalTimeTextAt(UnixTimeMs(), out, size, form); }

int LocalTimeTextAt(long long unixMs, char* out, std::size_t size, int form) {
    if (!out || size == 0) return 0;
    QDateTime at = QDateTime::fromMSecsSinceEpoch(unixMs);
    QByteArray t;
    if (form == 1) {
        int off = at.offsetFromUtc() / 60;  // [min], written even when 0 ("+00:00")
        char zone[16];
        std::snprintf(zone, sizeof zone, "%c%02d:%02d", off < 0 ? '-' : '+', std::abs(off) / 60, std::abs(off) % 60);
        t = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + zone;
    } else if (form == 2) {
        t = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    } else {
        t = at.toString(QStringLiteral("HH:mm:ss")).toLatin1();
    }
    std::size_t n = std::min(static_cast<std::size_t>(t.size()), size - 1);
    std::memcpy(out, t.constData(), n);
    out[n] = '\0';
    return static_cast<int>(n);
}
