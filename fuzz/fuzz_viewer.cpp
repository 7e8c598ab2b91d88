// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the viewer's reading: its fast reading of a group's lines must give
// exactly what converting every line would, on any file; the reading that also gathers band,
// index and statistics must give the same points, a band around each, statistics that hold the
// band, and a closer look at the whole time range that finds every readable line.
#include "io.h"
#include "reading.h"
#include "testing.h"
#include "viewer.h"
#include "viewer_reference.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
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
    auto same = [](double a, double b) { return a == b || (a != a && b != b); };
    for (int i = 0; i < c1; ++i)
        if (!same(t1[i], t2[i]) || !same(v1[i], v2[i])) std::abort();

    static double t3[1000], v3[1000], lo[1000], hi[1000];
    Pass pass;
    int h3 = OpenFile(path.c_str(), 1, 2, 1);
    int c3 = lesen(h3, step, t3, v3, &pass, lo, hi);
    lesen_rest(h3, step, &pass);
    if (c3 != c1) std::abort();
    FileStats st = pass.stats();
    for (int i = 0; i < c3; ++i) {
        if (!same(t3[i], t1[i]) || !same(v3[i], v1[i])) std::abort();
        if (!(lo[i] <= v3[i] && v3[i] <= hi[i]) || lo[i] < st.least || hi[i] > st.greatest) std::abort();
    }
    long long readable = st.lines - st.unreadable, indexed = 0;
    for (const IndexEntry& e : pass.index()) indexed += e.lines;
    if (indexed != readable || (readable > 0 && !(st.least <= st.mean && st.mean <= st.greatest))) std::abort();
    static double t4[1000], v4[1000], lo4[1000], hi4[1000];
    bool thinned = false;
    const double all = std::numeric_limits<double>::infinity();
    int c4 = read_range(h3, pass.index(), -all, all, t4, v4, lo4, hi4, &thinned);
    CloseFile(h3);
    if (c4 < 0 || (readable <= 998 && (thinned || c4 != readable))) std::abort();
    return 0;
}
