// SPDX-License-Identifier: GPL-3.0-or-later
// A load read in two halves at once gives exactly what one reading from the start gives: the
// points, the band, every index entry and the statistics, on files of the recorder's lines and
// on files where other lines break the stretch anywhere.
#include "fixture.h"
#include "halves.h"
#include "reading.h"
#include "recording_line.h"
#include "viewer.h"

#include <cstring>
#include <random>

namespace {

struct Load {
    int count = 0;
    double time[kViewerPoints], value[kViewerPoints], lo[kViewerPoints], hi[kViewerPoints];
    Pass pass;
};

// The load from the start only, as a file under the halves' size is read.
void from_start(const std::string& path, long long step, Load* out) {
    int h = OpenFile(path.c_str(), 1, 2, 1);
    out->count = lesen(h, step, out->time, out->value, &out->pass, out->lo, out->hi);
    if (h > 0) {
        lesen_rest(h, step, &out->pass);
        CloseFile(h);
    }
}

void in_halves(const std::string& path, long long step, const HalvesPlan& plan, Load* out) {
    int h = OpenFile(path.c_str(), 1, 2, 1);
    long long size = 0;
    GetFileInfo(path.c_str(), &size);
    out->count = lesen_ganz(h, step, out->time, out->value, &out->pass, out->lo, out->hi, size, plan);
    if (h > 0) CloseFile(h);
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Both loads alike to the bit; `what` names the case in a failure.
void expect_alike(const Load& a, const Load& b, const std::string& what) {
    ASSERT_EQ(a.count, b.count) << what;
    for (int i = 0; i < a.count; ++i) {
        ASSERT_TRUE(same(a.time[i], b.time[i]) && same(a.value[i], b.value[i])) << what << " point " << i;
        ASSERT_TRUE(same(a.lo[i], b.lo[i]) && same(a.hi[i], b.hi[i])) << what << " band " << i;
    }
    const auto &x = a.pass.index(), &y = b.pass.index();
    ASSERT_EQ(x.size(), y.size()) << what;
    for (std::size_t j = 0; j < x.size(); ++j) {
        ASSERT_EQ(x[j].begin, y[j].begin) << what << " group " << j;
        ASSERT_EQ(x[j].end, y[j].end) << what << " group " << j;
        ASSERT_EQ(x[j].reads, y[j].reads) << what << " group " << j;
        ASSERT_EQ(x[j].lines, y[j].lines) << what << " group " << j;
        ASSERT_TRUE(same(x[j].first, y[j].first) && same(x[j].tmin, y[j].tmin) && same(x[j].tmax, y[j].tmax))
            << what << " group " << j;
    }
    FileStats s = a.pass.stats(), t = b.pass.stats();
    EXPECT_EQ(s.lines, t.lines) << what;
    EXPECT_EQ(s.unreadable, t.unreadable) << what;
    EXPECT_TRUE(same(s.first, t.first) && same(s.last, t.last)) << what;
    EXPECT_TRUE(same(s.least, t.least) && same(s.greatest, t.greatest)) << what;
    EXPECT_TRUE(same(s.mean, t.mean)) << what << " " << s.mean << " " << t.mean;
}

// n recorder lines from time `start`, values of every size and sign, now and then zero.
std::string recorder_lines(std::mt19937& rng, int n, double start = 0.0) {
    std::uniform_real_distribution<double> mant(-9.9, 9.9);
    std::uniform_int_distribution<int> exp10(-6, 6);
    std::string s;
    char line[64];
    for (int i = 0; i < n; ++i) {
        double v = i % 53 == 7 ? 0.0 : mant(rng) * std::pow(10.0, exp10(rng));
        Fmt(line, kRecordingLine, start + i * 0.1, v);
        s += line;
    }
    return s;
}

class Halves : public ProgramTest {
protected:
    // The file `text` loaded both ways for each step and plan.
    void compare(const std::string& text, std::initializer_list<long long> steps,
                 std::initializer_list<HalvesPlan> plans, const std::string& what) {
        dir.write("h.dat", text);
        for (long long step : steps)
            for (const HalvesPlan& plan : plans) {
                auto a = std::make_unique<Load>(), b = std::make_unique<Load>();
                from_start(dir.path("h.dat"), step, a.get());
                in_halves(dir.path("h.dat"), step, plan, b.get());
                expect_alike(*a, *b,
                             what + " step " + std::to_string(step) + " blocks " + std::to_string(plan.blockLines) +
                                 " split " + std::to_string(plan.splitAt));
                if (HasFatalFailure()) return;
            }
    }
};

TEST_F(Halves, TheRecordersLinesGiveWhatOneReadingGivesWhateverTheBlocksGroupsAndSplit) {
    std::mt19937 rng(17);
    // Few groups, 999 groups and some beyond, one line a group; blocks smaller and larger than a
    // group, of one line, and groups ending on a block's edge.
    std::string text = recorder_lines(rng, 3001);
    long long mid = static_cast<long long>(text.size()) / 2;
    std::initializer_list<HalvesPlan> plans = {{0, 1, -1},    {0, 4, -1},
                                               {0, 3, 7},     {0, 64, mid + 5},
                                               {0, 5000, -1}, {0, 2, static_cast<long long>(text.size()) - 3}};
    compare(text, {1, 2, 3, 4, 7, 600, 5000}, plans, "recorder");
    compare(text.substr(0, text.size() - 1), {3, 4}, plans, "no last line end");
    compare(text + "   \n\n \t\r\n", {2, 3}, plans, "blanks at the end");
    compare(recorder_lines(rng, 1, 5.0), {1, 2}, {{0, 1, -1}, {0, 1, 0}}, "one line");
    compare("", {1}, {{0, 1, -1}}, "empty");
}

TEST_F(Halves, OtherLinesAnywhereEndTheStretchAndTheReadingFromTheStartTakesOver) {
    std::mt19937 rng(23);
    const char* others[] = {"7 8\n",
                            "not a line\n",
                            " 12.3\t4.5e+01 \n",
                            "\n\n\n",
                            "1e999 2\n",
                            " 1.0\t1.000000e+00 1\n",  // a third number: two scans
                            "\x01\xff\n"};
    std::string blanks(100, ' ');  // a line longer than a look ahead
    for (int round = 0; round < 24; ++round) {
        std::string text = recorder_lines(rng, 2000 + round * 37, round * 1.5);
        std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng);
        at = text.find('\n', at) + 1;
        if (round == 0) at = 0;
        if (round == 1) at = text.size() / 2 + 1;  // about where the second half begins
        std::string piece = round % 8 == 7 ? blanks + "\n" : others[round % std::size(others)];
        text.insert(std::min(at, text.size()), piece);
        compare(text, {1, 3, 40}, {{0, 3, -1}, {0, 16, static_cast<long long>(at)}, {0, 16, 11}},
                "round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

TEST_F(Halves, ALongLoadCancelledInEitherHalfReturnsAtOnce) {
    std::mt19937 rng(29);
    std::string text = recorder_lines(rng, 200000);
    dir.write("c.dat", text);
    for (long long split : {-1LL, 4000LL}) {  // the second half the longer: cancelled while it is waited for
        auto load = std::make_unique<Load>();
        seam::ProgressScript(0.6, 0.0);
        ProgressBegin("View file", "Reading");
        in_halves(dir.path("c.dat"), 11, {0, 256, split}, load.get());
        ProgressEnd();
        EXPECT_EQ(load->count, -1) << split;
        EXPECT_TRUE(seam::ProgressShown());
    }
    seam::ProgressScript(2.0);
    auto a = std::make_unique<Load>(), b = std::make_unique<Load>();
    from_start(dir.path("c.dat"), 11, a.get());
    in_halves(dir.path("c.dat"), 11, HalvesPlan{}, b.get());  // 3.6 MB: under the halves' size
    expect_alike(*a, *b, "whole");
}

}  // namespace
