// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the viewer's reading: its fast reading of a group's lines must give
// exactly what converting every line would, on any file.
#include "io.h"
#include "testing.h"
#include "viewer.h"
#include "viewer_reference.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string path = "/tmp/pavro-fuzz-viewer-" + std::to_string(getpid()) + ".dat";
    if (size < 1) return 0;
    long long step = data[0] % 8 + 1;  // groups of 1 to 8 lines
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    static double t1[1000], v1[1000], t2[1000], v2[1000];
    int h1 = OpenFile(path.c_str(), 1, 2, 1), h2 = OpenFile(path.c_str(), 1, 2, 1);
    int c1 = lesen(h1, step, t1, v1), c2 = reference_lesen(h2, step, t2, v2);
    CloseFile(h1);
    CloseFile(h2);
    if (c1 != c2) std::abort();
    for (int i = 0; i < c1; ++i)
        if (!(t1[i] == t2[i] || (t1[i] != t1[i] && t2[i] != t2[i])) ||
            !(v1[i] == v2[i] || (v1[i] != v1[i] && v2[i] != v2[i])))
            std::abort();
    return 0;
}
