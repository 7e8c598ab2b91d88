// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the watch's settings file with any content: what is read is always a set of rules
// the dialog would accept, and written back it reads back as the same rules, with no problem.
#include "settings.h"
#include "testing.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

static bool same(const Limits& a, const Limits& b) {
    return a.hasHigh == b.hasHigh && a.hasLow == b.hasLow && (!a.hasHigh || a.high == b.high) &&
           (!a.hasLow || a.low == b.low);
}

static bool same(const WatchRules& a, const WatchRules& b) {
    return same(a.ppm, b.ppm) && same(a.mv, b.mv) && a.readings == b.readings && a.hysteresis == b.hysteresis &&
           a.latching == b.latching && a.noReadingS == b.noReadingS && a.sound == b.sound;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string dir = [] {
        std::string d = "/tmp/pavro-fuzz-watch-" + std::to_string(getpid());
        std::filesystem::create_directories(d);
        seam::SetProjectDir(d);
        return d;
    }();
    {
        std::ofstream(dir + "/" + kWatchFile, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    char problem[512];
    WatchRules first = watch_settings_read(problem, sizeof problem);
    if (rules_problem(first)) std::abort();  // only rules the dialog accepts
    if (watch_settings_write(first) != 0) return 0;
    WatchRules again = watch_settings_read(problem, sizeof problem);
    if (!same(first, again)) std::abort();
    // What the file held beside [alarm] may be odd, but [alarm] itself reads cleanly now.
    if (std::strstr(problem, "[alarm]")) std::abort();
    return 0;
}
