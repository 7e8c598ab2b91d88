// SPDX-License-Identifier: GPL-3.0-or-later
#include "io.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace platform {
// Tests may run the program on a virtual clock: Timer() reads it and Delay() advances it.
bool virtualTime = false;
double virtualNow = 0.0;
}  // namespace platform

double Timer() {
    using namespace std::chrono;
    if (platform::virtualTime) return platform::virtualNow;
    static const steady_clock::time_point origin = steady_clock::now();
    return duration<double>(steady_clock::now() - origin).count();
}

void Delay(double seconds) {
    if (!(seconds > 0.0)) return;
    if (platform::virtualTime) {
        platform::virtualNow += seconds;
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::fmin(seconds, 3600.0)));
}
