// SPDX-License-Identifier: GPL-3.0-or-later
#include "io.h"
#include "seams.h"

#include <chrono>
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
