// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer: thinning by file size, the count rules, and files that are not what they seem.
#include "fixture.h"
#include "recording_line.h"
#include "viewer_reference.h"

#include <cstring>
#include <random>

namespace {

class Viewer : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    }
    // Loads `name` from the program folder as the operator does.
    std::vector<seam::PlotInfo> view(const std::string& name) {
        seam::AnswerFileSelect(1, dir.path(name));
        seam::Commit(psc, PSC_LOAD);
        return seam::Plots(psc, PSC_GRAPH);
    }
    // A recording file of n lines with time i/10 + 0.1 and value i for line i (from 1),
    // each line padded to `width` bytes.
    void recording(const std::string& name, int n, int width = 20) {
        std::string s;
        for (int i = 1; i <= n; ++i) {
            char line[64];
            Fmt(line, " %f[p1]\t%f[e2] \n", i / 10.0 + 0.1, static_cast<double>(i));
            std::string l = line;
            l.insert(l.size() - 1, std::string(width > static_cast<int>(l.size()) ? width - l.size() : 0, ' '));
            s += l;
        }
        dir.write(name, s);
    }
};

TEST(RecordingLine, IsKnownAtOnceOnlyAsTheRecorderWritesIt) {
    char b[64];
    auto length = [&](const std::string& text) {
        std::memset(b, 0, sizeof b);
        std::memcpy(b, text.data(), text.size());
        return recording_line_length(b);
    };
    Fmt(b, kRecordingLine, 12.3, -45.6);
    std::string written = b;
    EXPECT_EQ(length(written), written.size() - 2);  // up to the end of the second number
    EXPECT_EQ(length(" 12.3\t4.560000e+01 \n"), 18u);
    for (const char* near :
         {" 12.34\t4.560000e+01 \n", " 12.3 4.560000e+01 \n", " 12.3\t4.56e+01 \n", " 12.3\t4.560000e+012 \n",
          " 12.3\t4.560000E+01 \n", " .3\t4.560000e+01 \n", " 12.3\t4.5600"})
        EXPECT_EQ(length(near), 0u) << near;
}

TEST_F(Viewer, ASmallFileIsDrawnLineByLineWithItsTenths) {
    recording("r.dat", 10);
    auto p = view("r.dat");
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].x.size(), 10u);
    EXPECT_EQ(p[0].x[0], 0.2);
    EXPECT_EQ(p[0].y[9], 10.0);
    EXPECT_EQ(p[0].color, 0x000080);
    EXPECT_FALSE(p[0].refers);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), dir.path("r.dat"));
    EXPECT_EQ(seam::Text(psc, PSC_AUTOSCALE), "1");
    EXPECT_TRUE(seam::XAxis(psc, PSC_GRAPH).autoscale);
    EXPECT_TRUE(seam::YAxis(psc, PSC_GRAPH).autoscale);
    EXPECT_EQ(was[0], 1);  // only the control changed
}

TEST_F(Viewer, AFileOfTwoToThreeTimes20000BytesKeepsEveryThirdLine) {
    recording("r.dat", 2100, 20);  // 42000 bytes: step 3
    auto p = view("r.dat");
    ASSERT_EQ(p[0].y.size(), 700u);
    EXPECT_EQ(p[0].y[0], 3.0);
    EXPECT_EQ(p[0].y[1], 6.0);
    EXPECT_EQ(p[0].y.back(), 2100.0);
    recording("r.dat", 2102, 20);  // two lines beyond the last full group are dropped
    p = view("r.dat");
    EXPECT_EQ(p[0].y.size(), 700u);
}

TEST_F(Viewer, AllGroupsReadGive998Points) {
    std::string s;
    for (int i = 1; i <= 1200; ++i) s += std::to_string(i) + " " + std::to_string(i) + "\n";
    dir.write("short.dat", s);  // under 20000 bytes: step 1
    auto p = view("short.dat");
    ASSERT_EQ(p[0].y.size(), 998u);
    EXPECT_EQ(p[0].y.back(), 998.0);
}

TEST_F(Viewer, TextThatIsNoNumberEndsTheReadingAtItsGroup) {
    dir.write("t.dat", " 1.0 1\n 2.0 2\n 3.0 x\n 4.0 4\n");
    EXPECT_EQ(view("t.dat")[0].y.size(), 2u);
    dir.write("three.dat", "1 2 3\n4 5 6\n");  // pairs are taken as they come
    auto p = view("three.dat");
    ASSERT_EQ(p[0].y.size(), 3u);
    EXPECT_EQ(p[0].x[1], 3.0);
    EXPECT_EQ(p[0].y[1], 4.0);
}

TEST_F(Viewer, EmptyBinaryAndMissingFilesDrawNothingAndNeverCrash) {
    recording("r.dat", 5);
    view("r.dat");
    dir.write("empty.dat", "");
    auto p = view("empty.dat");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(p[0].y.empty());
    EXPECT_EQ(seam::Text(psc, PSC_FILE), dir.path("empty.dat"));
    std::string bin(70000, '\0');
    for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>((i * 7919) % 256);
    dir.write("bin.dat", bin);
    EXPECT_EQ(view("bin.dat")[0].y.size(), 0u);  // the first group already holds no pair of numbers
    dir.write("long.dat", std::string(3'000'000, '5') + " 1\n 2 3\n");  // one very long line
    EXPECT_EQ(view("long.dat")[0].y.size(), 0u);                        // a number too large for a double is none
    seam::AnswerFileSelect(1, dir.path("gone.dat"));                    // vanished after the dialog
    seam::Commit(psc, PSC_LOAD);
    EXPECT_TRUE(seam::Plots(psc, PSC_GRAPH)[0].y.empty());
}

TEST_F(Viewer, ACancelledDialogChangesNothing) {
    recording("r.dat", 5);
    view("r.dat");
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_LOAD);
    auto look = seam::LastFileDialog();  // untitled, "Load", and no new folders
    EXPECT_EQ(look.title, "");
    EXPECT_EQ(look.accept, "Load");
    EXPECT_FALSE(look.newFolder);
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH)[0].y.size(), 5u);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), dir.path("r.dat"));
}

}  // namespace

namespace {

// The whole file as the plain thinning reads it.
std::vector<std::pair<double, double>> reference(const std::string& path) {
    static double time[kViewerPoints], value[kViewerPoints];
    int h = OpenFile(path.c_str(), 1, 2, 1);
    long long size = 0;
    GetFileInfo(path.c_str(), &size);
    int count = reference_lesen(h, size / 20000 + 1, time, value);
    if (h > 0) CloseFile(h);
    std::vector<std::pair<double, double>> out;
    for (int j = 0; j < count; ++j) out.emplace_back(time[j], value[j]);
    return out;
}

TEST_F(Viewer, ThinningIsExactOnGarbledFilesToo) {
    std::mt19937 rng(11);
    const char* pieces[] = {" 1.5\t2.500000e+00 \n", "7 8\n", " 3.0 x\n", "1e999 2\n", "4 1e-999\n", "-0.0 +5\n",
                            "\t\r\n", ".5 5.\n", "1e 2e+\n", "9 9 9\n", "0e9999 1\n", "1.2.3 4\n", "\x01\x02\n",
                            "123456789012345678901234567890 0.000000000000000000000000000000000001\n",
                            // nearly the recorder's own lines
                            " 12.3\t4.560000e+012 \n", " 12.3\t-4.560000e+01 \n", " 12.34\t4.5e+01 \n",
                            "  12.3\t4.560000e+01\n", " 12.3 4.560000e+01 \n", " 12.3\t4.560000e-99 \n",
                            " 1234567890123456.7\t4.560000e+01 \n", " 12.3\t4.560000E+01 \n"};
    for (int round = 0; round < 12; ++round) {
        std::string s;
        std::size_t target = std::uniform_int_distribution<std::size_t>(0, 70000)(rng);
        while (s.size() < target) {
            // Mostly good lines, so the reading goes on long enough to meet the bad ones.
            bool good = std::uniform_int_distribution<int>(0, 30)(rng) > 0;
            s += good ? " 12.3\t4.560000e+01 \n"
                      : pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(rng)];
        }
        dir.write("g.dat", s);
        auto expected = reference(dir.path("g.dat"));
        auto p = view("g.dat");
        ASSERT_EQ(p[0].x.size(), expected.size()) << round;
        for (std::size_t j = 0; j < expected.size(); ++j) {
            ASSERT_EQ(p[0].x[j], expected[j].first) << round << " " << j;
            ASSERT_EQ(p[0].y[j], expected[j].second) << round << " " << j;
        }
    }
}

}  // namespace
