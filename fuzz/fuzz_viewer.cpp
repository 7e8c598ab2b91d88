// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the viewer's reading: its fast reading of a group's lines must give
// exactly what converting every line would, on any file; the reading that also gathers band,
// index and statistics must give the same points, a band around each, statistics that hold the
// band, the same to the bit when read in two halves at once, and a closer look at the whole time
// range that finds every readable line.
#include "halves.h"
#include "io.h"
#include "reading.h"
#include "testing.h"
#include "viewer.h"
#include "viewer_reference.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    // Read in halves (blocks of 1 to 4 lines, split where the first byte says): the very same.
    static double t5[1000], v5[1000], lo5[1000], hi5[1000];
    Pass halves;
    int h5 = OpenFile(path.c_str(), 1, 2, 1);
    HalvesPlan plan{0, data[0] / 8 % 4 + 1, static_cast<long long>(data[0] / 32) * static_cast<long long>(size) / 8};
    int c5 = lesen_ganz(h5, step, t5, v5, &halves, lo5, hi5, static_cast<long long>(size), plan);
    CloseFile(h5);
    auto bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    if (c5 != c3) std::abort();
    for (int i = 0; i < c5; ++i)
        if (!bits(t5[i], t3[i]) || !bits(v5[i], v3[i]) || !bits(lo5[i], lo[i]) || !bits(hi5[i], hi[i])) std::abort();
    FileStats s5 = halves.stats();
    if (s5.lines != st.lines || s5.unreadable != st.unreadable || !bits(s5.first, st.first) ||
        !bits(s5.last, st.last) || !bits(s5.least, st.least) || !bits(s5.greatest, st.greatest) ||
        !bits(s5.mean, st.mean) || halves.index().size() != pass.index().size())
        std::abort();
    for (std::size_t j = 0; j < pass.index().size(); ++j) {
        const IndexEntry &a = pass.index()[j], &b = halves.index()[j];
        if (a.begin != b.begin || a.end != b.end || a.reads != b.reads || a.lines != b.lines ||
            !bits(a.first, b.first) || !bits(a.tmin, b.tmin) || !bits(a.tmax, b.tmax))
            std::abort();
    }

    static double t4[1000], v4[1000], lo4[1000], hi4[1000];
    bool thinned = false;
    const double all = std::numeric_limits<double>::infinity();
    int c4 = read_range(h3, pass.index(), -all, all, t4, v4, lo4, hi4, &thinned);
    CloseFile(h3);
    if (c4 < 0 || (readable <= 998 && (thinned || c4 != readable))) std::abort();
    return 0;
}
