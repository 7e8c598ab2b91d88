// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the settings-file read with any file content; whatever was accepted is written back
// and must read back to the same line.
#include "app.h"
#include "handles.h"
#include "io.h"
#include "testing.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

static std::string slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string dir = [] {
        std::string d = "/tmp/pavro-fuzz-settings-" + std::to_string(getpid());
        std::filesystem::create_directories(d);
        seam::SetProjectDir(d);
        return d;
    }();
    std::string ini = dir + "/pavro.ini";
    {
        std::ofstream(ini, std::ios::binary)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ini_lesen();
    ini_schreiben();
    std::string first = slurp(ini);
    ini_lesen();
    ini_schreiben();
    if (slurp(ini) != first) std::abort();  // the written line reads back as itself
    return 0;
}
