// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the scanner with every format the program reads with, over text as a module or a
// file could hold it: NULs, over-long numbers, garbage.
#include "io.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // Scan reads up to a zero
    double d[8] = {};
    int i[8] = {};
    Scan(text.c_str(), "%f", &d[0]);
    Scan(text.c_str(), "%d", &i[0]);
    Scan(text.c_str(), "%f %f", &d[0], &d[1]);
    Scan(text.c_str(), "%f %f", nullptr, nullptr);
    Scan(text.c_str(), "%s>%d%f%d%d%f%f%f%f", &i[0], &d[0], &i[1], &i[2], &d[1], &d[2], &d[3], &d[4]);
    for (std::size_t off = 1; off <= 3 && off <= text.size(); ++off) Scan(text.c_str() + off, "%f", &d[5]);
    char out[32];
    Fmt(out, " %f[e2w10] ppm O2", d[0]);
    Fmt(out, "* %s  *", text.c_str());
    return 0;
}
