// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer: thinning by file size, the count rules, and files that are not what they seem.
#include "fixture.h"
#include "reading.h"
#include "recording_line.h"
#include "viewer_reference.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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

namespace {

// A recording's lines as a plain reading of the text gives them; unreadable lines are skipped.
struct Lines {
    std::vector<double> t, v;
    long long unreadable = 0;
};
Lines plain_reading(const std::string& text) {
    Lines out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const char* p = text.data() + at;
        const char* e = text.data() + end;
        at = end + 1;
        while (p < e && (*p == ' ' || *p == '\t')) ++p;
        if (p == e) continue;
        double t = 0.0, v = 0.0;
        auto r1 = std::from_chars(p, e, t);
        const char* q = r1.ptr;
        while (q < e && (*q == ' ' || *q == '\t')) ++q;
        if (r1.ec != std::errc() || std::from_chars(q, e, v).ec != std::errc()) {
            ++out.unreadable;
            continue;
        }
        out.t.push_back(t);
        out.v.push_back(v);
    }
    return out;
}

// n recorder lines half a second apart from `start` with random values of every size and sign; one spike.
std::string random_recording(std::mt19937& rng, int n, int spikeAt, double spike, double start = 0.0) {
    std::uniform_real_distribution<double> mant(-9.9, 9.9);
    std::uniform_int_distribution<int> exp10(-4, 4);
    std::string s;
    char line[64];
    for (int i = 0; i < n; ++i) {
        double v = i == spikeAt ? spike : mant(rng) * std::pow(10.0, exp10(rng));
        if (i % 97 == 5) v = 0.0;
        Fmt(line, kRecordingLine, start + i * 0.5, v);
        s += line;
    }
    return s;
}

TEST_F(Viewer, TheBandHoldsEveryValueOfEveryGroupSoASpikeAlwaysShows) {
    std::mt19937 rng(5);
    for (int round = 0; round < 6; ++round) {
        int n = std::uniform_int_distribution<int>(500, 60000)(rng);
        int spikeAt = std::uniform_int_distribution<int>(0, n - 1)(rng);
        std::string text = random_recording(rng, n, spikeAt, round % 2 ? 1e6 : -1e6);
        dir.write("b.dat", text);
        Lines file = plain_reading(text);
        long long step = static_cast<long long>(text.size()) / 20000 + 1;
        auto p = view("b.dat");
        auto bands = seam::Bands(psc, PSC_GRAPH);
        ASSERT_EQ(bands.size(), step > 1 ? 1u : 0u) << round;
        if (step == 1) continue;
        const auto& b = bands[0];
        ASSERT_EQ(b.x, p[0].x);
        EXPECT_EQ(b.color, 0xC6D2EE);
        for (std::size_t i = 0; i < b.x.size(); ++i) {
            auto from = file.v.begin() + static_cast<long>(i * step), to = from + step;
            ASSERT_EQ(b.lo[i], *std::min_element(from, to)) << round << " group " << i;
            ASSERT_EQ(b.hi[i], *std::max_element(from, to)) << round << " group " << i;
        }
        if (spikeAt / step < static_cast<long long>(b.x.size())) {
            double extreme =
                round % 2 ? *std::max_element(b.hi.begin(), b.hi.end()) : *std::min_element(b.lo.begin(), b.lo.end());
            EXPECT_EQ(extreme, round % 2 ? 1e6 : -1e6) << round;
            auto y = seam::YAxis(psc, PSC_GRAPH);  // the full view takes the band in
            EXPECT_TRUE(y.min <= -1e6 || y.max >= 1e6) << round;
        }
    }
}

TEST_F(Viewer, TheStatisticsMatchAPlainReadingOfEveryLine) {
    std::mt19937 rng(8);
    for (int round = 0; round < 4; ++round) {
        std::string text = random_recording(rng, 30000, 12345, 4e4);
        // Lines of another hand and unreadable ones, one of them where the thinned reading stops.
        text.insert(text.find('\n', 200000) + 1, "7 8\nnot a line\n\n");
        if (round % 2) text += "1e5 -3.25\r\n";
        text.insert(text.find('\n', 20000 * static_cast<std::size_t>(round + 1)) + 1, "x 1\n");
        dir.write("s.dat", text);
        Lines file = plain_reading(text);

        int h = OpenFile(dir.path("s.dat").c_str(), 1, 2, 1);
        static double time[kViewerPoints], value[kViewerPoints], lo[kViewerPoints], hi[kViewerPoints];
        Pass pass;
        long long step = static_cast<long long>(text.size()) / 20000 + 1;
        lesen(h, step, time, value, &pass, lo, hi);
        lesen_rest(h, step, &pass);
        CloseFile(h);
        FileStats s = pass.stats();
        EXPECT_EQ(s.lines, static_cast<long long>(file.v.size()) + file.unreadable) << round;
        EXPECT_EQ(s.unreadable, file.unreadable) << round;
        EXPECT_EQ(s.first, file.t.front());
        EXPECT_EQ(s.last, file.t.back());
        EXPECT_EQ(s.least, *std::min_element(file.v.begin(), file.v.end()));
        EXPECT_EQ(s.greatest, *std::max_element(file.v.begin(), file.v.end()));
        long double sum = 0.0L;
        for (double v : file.v) sum += v;
        double mean = static_cast<double>(sum / static_cast<long double>(file.v.size()));
        EXPECT_NEAR(s.mean, mean, 1e-12 * std::max(1.0, std::fabs(mean))) << round;
        long long indexed = 0;
        for (const IndexEntry& e : pass.index()) indexed += e.lines;
        EXPECT_EQ(indexed, static_cast<long long>(file.v.size()));  // the index covers every line
    }
    SetCtrlVal(p1, P1_MODE, 2);
    dir.write("small.dat", " 0.5\t1.000000e+00 \n 1.0\t3.000000e+00 \nbad\n 1.5\t-2.500000e+00 \n");
    view("small.dat");
    EXPECT_EQ(seam::Text(psc, PSC_STATS),
              "4 lines, 0.5 s to 1.5 s; least -2.5 mV, greatest 3.0 mV, mean 0.5 mV; 1 unreadable");
}

class ViewerZoom : public Viewer {
protected:
    void SetUp() override {
        Viewer::SetUp();
        std::mt19937 rng(21);
        text = random_recording(rng, 40000, 30001, 5e5);
        dir.write("z.dat", text);
        file = plain_reading(text);
        whole = view("z.dat");
        seam::TakePopups();
    }
    // Zooms to the box from time a to b over the whole y range, as the operator drags it.
    void zoomTo(double a, double b) {
        auto y = seam::YAxis(psc, PSC_GRAPH);
        auto [ax, ay] = seam::GraphPixel(psc, PSC_GRAPH, a, y.max);
        auto [bx, by] = seam::GraphPixel(psc, PSC_GRAPH, b, y.min);
        seam::Drag(psc, PSC_GRAPH, ax, ay, bx, by, true);
        GetGraphView(psc, PSC_GRAPH, &from, &to, nullptr, nullptr);
    }
    std::string text;
    Lines file;
    std::vector<seam::PlotInfo> whole;
    double from = 0.0, to = 0.0;
};

TEST_F(ViewerZoom, AZoomReReadsExactlyTheLinesOfTheRangeAndResetViewReturns) {
    zoomTo(10000.0, 10200.0);
    EXPECT_EQ(seam::Text(psc, PSC_FOLLOW), "0");
    std::vector<double> t, v;
    for (std::size_t i = 0; i < file.t.size(); ++i)
        if (file.t[i] >= from && file.t[i] <= to) {
            t.push_back(file.t[i]);
            v.push_back(file.v[i]);
        }
    ASSERT_GT(t.size(), 300u);
    auto p = seam::Plots(psc, PSC_GRAPH);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].x, t);
    EXPECT_EQ(p[0].y, v);
    EXPECT_TRUE(seam::Bands(psc, PSC_GRAPH).empty());  // every line drawn: no band needed

    zoomTo(2000.0, 17000.0);  // 30000 lines: thinned again, with the band, the spike in it
    p = seam::Plots(psc, PSC_GRAPH);
    auto b = seam::Bands(psc, PSC_GRAPH);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_LE(p[0].x.size(), 999u);
    EXPECT_GT(p[0].x.size(), 900u);
    for (std::size_t j = 0; j < p[0].x.size(); ++j) {
        auto i = static_cast<std::size_t>(std::lround(p[0].x[j] * 2));  // the line of that time
        ASSERT_EQ(p[0].y[j], file.v[i]);
        ASSERT_TRUE(p[0].x[j] >= from && p[0].x[j] <= to);
        ASSERT_TRUE(b[0].lo[j] <= p[0].y[j] && p[0].y[j] <= b[0].hi[j]);
    }
    EXPECT_EQ(*std::max_element(b[0].hi.begin(), b[0].hi.end()), 5e5);

    seam::Commit(psc, PSC_RESET_VIEW);
    EXPECT_EQ(seam::Text(psc, PSC_FOLLOW), "1");
    p = seam::Plots(psc, PSC_GRAPH);
    EXPECT_EQ(p[0].x, whole[0].x);
    EXPECT_EQ(p[0].y, whole[0].y);
    EXPECT_EQ(seam::Bands(psc, PSC_GRAPH).size(), 1u);
    EXPECT_TRUE(seam::TakePopups().empty());
}

TEST_F(ViewerZoom, ARangeWithoutLinesIsAnEmptyViewAndTheFileIsNeverWritten) {
    auto before = fs::last_write_time(dir.path("z.dat"));
    fs::permissions(dir.path("z.dat"), fs::perms::owner_read | fs::perms::group_read);
    zoomTo(19900.0, 19990.0);
    ASSERT_FALSE(seam::Plots(psc, PSC_GRAPH)[0].x.empty());
    for (int i = 0; i < 20; ++i) seam::Key(psc, PSC_GRAPH, "Right");  // beyond the last line
    EXPECT_TRUE(seam::Plots(psc, PSC_GRAPH)[0].x.empty());
    seam::Key(psc, PSC_GRAPH, "Home");
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH)[0].x, whole[0].x);
    EXPECT_TRUE(seam::TakePopups().empty());
    EXPECT_EQ(dir.read("z.dat"), text);
    EXPECT_EQ(fs::last_write_time(dir.path("z.dat")), before);
    fs::permissions(dir.path("z.dat"), fs::perms::owner_all);
}

TEST_F(ViewerZoom, AFileThatChangedSaysSoAndOneThatGrewStillZooms) {
    dir.write("z.dat", text + " 20000.0\t1.000000e+00 \n");  // a recording still running
    zoomTo(5000.0, 5050.0);
    EXPECT_GT(seam::Plots(psc, PSC_GRAPH)[0].x.size(), 90u);
    EXPECT_TRUE(seam::TakePopups().empty());

    std::mt19937 rng(3);
    dir.write("z.dat", random_recording(rng, 40100, 0, 1.0, 0.25));  // rewritten: other times
    ASSERT_GE(fs::file_size(dir.path("z.dat")), text.size());
    auto shown = seam::Plots(psc, PSC_GRAPH);
    zoomTo(100.0, 150.0);
    auto popups = seam::TakePopups();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0].title, "View file");
    EXPECT_NE(popups[0].text.find("changed"), std::string::npos);
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH)[0].x, shown[0].x);  // the graph keeps what it had
    dir.write("z.dat", text.substr(0, 1000));                 // cut short: no message again, no crash
    zoomTo(100.0, 150.0);
    EXPECT_TRUE(seam::TakePopups().empty());

    dir.write("z.dat", text);  // loaded again, then cut short
    view("z.dat");
    dir.write("z.dat", text.substr(0, text.size() / 2));
    seam::TakePopups();
    zoomTo(100.0, 150.0);
    popups = seam::TakePopups();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0].title, "View file");
}

}  // namespace

namespace {

TEST_F(Viewer, ACloserLookReadsTheFileAsTheFullViewDid) {
    std::string s;  // three numbers a line: the pairs run across the lines
    for (int k = 0; k < 300; ++k)
        s += std::to_string(3 * k + 1) + " " + std::to_string(3 * k + 2) + " " + std::to_string(3 * k + 3) + "\n";
    dir.write("three.dat", s);
    auto whole = view("three.dat");
    ASSERT_EQ(whole[0].x.size(), 450u);
    seam::ZoomGraph(psc, PSC_GRAPH, 100.0, 200.0);
    auto p = seam::Plots(psc, PSC_GRAPH);
    std::vector<double> t, v;
    for (int x = 101; x <= 199; x += 2) {
        t.push_back(x);
        v.push_back(x + 1);
    }
    EXPECT_EQ(p[0].x, t);
    EXPECT_EQ(p[0].y, v);

    // A stray sign: the scan that meets it fails, the next takes 7 and 8 across the line end.
    dir.write("sign.dat", "+ 7\n 8\n 9 10\n" + std::string(60000, ' ') + "\n");  // step 4
    EXPECT_TRUE(view("sign.dat")[0].x.empty());                                  // the group's last scan found the end
    seam::ZoomGraph(psc, PSC_GRAPH, 7.5, 100.0);
    p = seam::Plots(psc, PSC_GRAPH);
    EXPECT_EQ(p[0].x, std::vector<double>{9.0});
    EXPECT_EQ(p[0].y, std::vector<double>{10.0});
}

}  // namespace
