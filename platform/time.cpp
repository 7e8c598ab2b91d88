#include "io.h"

#include <chrono>
#include <cmath>
#include <thread>

double Timer() {
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    return duration<double>(steady_clock::now() - origin).count();
}

void Delay(double seconds) {
    if (!(seconds > 0.0)) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(std::fmin(seconds, 3600.0)));
}
