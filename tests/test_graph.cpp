// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder graph in the operator's hands: zoom, pan, the full view, the cursor readout and
// pictures of the graph.
#include "sim_fixture.h"

#include <cmath>
#include <fstream>

namespace {

class Graph : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        answerInProcess();
    }
    // A recording in display mode `mode` with samples 1 s apart for `seconds`, the value of
    // sample k being value(k).
    template <class F>
    void record(int mode, int seconds, F valueAt) {
        SetCtrlVal(p1, P1_MODE, mode);
        seam::AnswerFileSelect(0, "");
        reading = valueAt(0);
        seam::Commit(psc, PSC_IDLE_CTRL);
        for (int k = 1; k <= seconds; ++k) sample(k, valueAt(k));
    }
    void sample(int k, double v) {
        reading = v;
        seam::SetTime(tstart + k);
        seam::Tick(psc, PSC_TIMER);
    }
    struct View {
        double x0, x1, y0, y1;
        bool following;
    };
    View view() {
        View v{};
        v.following = GetGraphView(psc, PSC_GRAPH, &v.x0, &v.x1, &v.y0, &v.y1) == 1;
        return v;
    }
    std::string follow() { return seam::Text(psc, PSC_FOLLOW); }
};

double sine(int k) { return 12.0 + 3.0 * std::sin(k / 5.0); }

TEST_F(Graph, TheWheelZoomsAboutThePointerAndWithShiftOnlyY) {
    record(1, 40, sine);
    View before = view();
    ASSERT_TRUE(before.following);
    EXPECT_EQ(follow(), "1");
    auto [px, py] = seam::GraphPixel(psc, PSC_GRAPH, 20.0, 12.0);
    seam::Wheel(psc, PSC_GRAPH, px, py, 2, false);
    View in = view();
    EXPECT_FALSE(in.following);
    EXPECT_EQ(follow(), "0");
    EXPECT_NEAR((in.x1 - in.x0) / (before.x1 - before.x0), 0.85 * 0.85, 1e-9);
    EXPECT_LT(in.y1 - in.y0, before.y1 - before.y0);
    auto [qx, qy] = seam::GraphPixel(psc, PSC_GRAPH, 20.0, 12.0);  // the point under the pointer stays
    EXPECT_NEAR(qx, px, 1);
    EXPECT_NEAR(qy, py, 1);

    seam::Wheel(psc, PSC_GRAPH, px, py, -3, true);
    View shifted = view();
    EXPECT_EQ(shifted.x0, in.x0);
    EXPECT_EQ(shifted.x1, in.x1);
    EXPECT_GT(shifted.y1 - shifted.y0, in.y1 - in.y0);
}

TEST_F(Graph, WhileRecordingAZoomHoldsTheViewUntilResetViewFollowsAgain) {
    record(1, 100, sine);
    auto [px, py] = seam::GraphPixel(psc, PSC_GRAPH, 50.0, 12.0);
    seam::Wheel(psc, PSC_GRAPH, px, py, 1, false);
    View zoomed = view();
    for (int k = 101; k <= 115; ++k) sample(k, sine(k));  // scrolls twice
    ASSERT_EQ(xmax, 120);
    View held = view();
    EXPECT_EQ(held.x0, zoomed.x0);
    EXPECT_EQ(held.x1, zoomed.x1);
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH).back().x.size(), 115u);  // drawing goes on

    seam::Commit(psc, PSC_RESET_VIEW);
    EXPECT_EQ(follow(), "1");
    View back = view();
    EXPECT_TRUE(back.following);
    EXPECT_EQ(back.x0, xmin);
    EXPECT_EQ(back.x1, xmax);
    for (int k = 116; k <= 121; ++k) sample(k, sine(k));
    EXPECT_EQ(view().x1, 130.0);  // following the scroll again

    // A double click and Home return to the full view as well; a new recording starts following.
    for (int way = 0; way < 3; ++way) {
        seam::Wheel(psc, PSC_GRAPH, px, py, 1, false);
        ASSERT_FALSE(view().following);
        if (way == 0) seam::DoubleClick(psc, PSC_GRAPH, px, py);
        if (way == 1) seam::Key(psc, PSC_GRAPH, "Home");
        if (way == 2) {
            seam::Commit(psc, PSC_STOP);
            record(1, 3, sine);
        }
        EXPECT_TRUE(view().following) << way;
        EXPECT_EQ(follow(), "1") << way;
    }
}

TEST_F(Graph, ADragPansACtrlDragZoomsToTheBoxAndKeysPanAndZoom) {
    record(1, 60, sine);
    View v0 = view();
    auto [ax, ay] = seam::GraphPixel(psc, PSC_GRAPH, 30.0, 12.0);
    auto [bx, by] = seam::GraphPixel(psc, PSC_GRAPH, 40.0, 12.0);
    seam::Drag(psc, PSC_GRAPH, bx, by, ax, ay, false);  // the time at bx moves to ax
    View panned = view();
    EXPECT_FALSE(panned.following);
    EXPECT_NEAR(panned.x0, v0.x0 + 10.0, 0.2);
    EXPECT_NEAR(panned.x1, v0.x1 + 10.0, 0.2);
    EXPECT_NEAR(panned.y0, v0.y0, 1e-9);

    auto [cx, cy] = seam::GraphPixel(psc, PSC_GRAPH, 45.0, 14.0);
    auto [dx, dy] = seam::GraphPixel(psc, PSC_GRAPH, 55.0, 10.0);
    seam::Drag(psc, PSC_GRAPH, cx, cy, dx, dy, true);
    View box = view();
    double px = (panned.x1 - panned.x0) / 800.0;  // about one pixel
    EXPECT_NEAR(box.x0, 45.0, 2 * px);
    EXPECT_NEAR(box.x1, 55.0, 2 * px);
    EXPECT_NEAR(box.y0, 10.0, 0.05);
    EXPECT_NEAR(box.y1, 14.0, 0.05);

    seam::Key(psc, PSC_GRAPH, "Right");
    View right = view();
    EXPECT_NEAR(right.x0 - box.x0, 0.1 * (box.x1 - box.x0), 0.02);
    seam::Key(psc, PSC_GRAPH, "Up");
    EXPECT_GT(view().y0, right.y0);
    seam::Key(psc, PSC_GRAPH, "+");
    View plus = view();
    EXPECT_NEAR((plus.x1 - plus.x0) / (right.x1 - right.x0), 0.8, 1e-9);
    seam::Key(psc, PSC_GRAPH, "-");
    EXPECT_NEAR(view().x1 - view().x0, right.x1 - right.x0, 1e-9);
}

TEST_F(Graph, ALogAxisZoomsAndPansThroughZeroAndNegativeValues) {
    record(0, 30, [](int k) { return k % 3 == 0 ? 0.0 : k % 3 == 1 ? -4.0 : 2.0 * k; });
    ASSERT_TRUE(seam::YAxis(psc, PSC_GRAPH).log);
    auto [px, py] = seam::GraphPixel(psc, PSC_GRAPH, 15.0, 20.0);
    auto sound = [&](const char* what) {
        View v = view();
        EXPECT_TRUE(std::isfinite(v.y0) && std::isfinite(v.y1)) << what;
        EXPECT_GT(v.y0, 0.0) << what;
        EXPECT_GT(v.y1, v.y0) << what;
    };
    for (int i = 0; i < 60; ++i) seam::Wheel(psc, PSC_GRAPH, px, py, -10, true);
    sound("far out");
    for (int i = 0; i < 120; ++i) seam::Wheel(psc, PSC_GRAPH, px, py, 10, true);
    sound("far in");
    seam::Key(psc, PSC_GRAPH, "Home");
    for (int i = 0; i < 40; ++i) seam::Drag(psc, PSC_GRAPH, px, 10, px, 390, false);
    sound("dragged down");
    for (int i = 0; i < 40; ++i) seam::Key(psc, PSC_GRAPH, "Up");
    sound("keys");
}

TEST_F(Graph, TheReadoutShowsTheNearestPointInTheTextOfTheMode) {
    struct Case {
        int mode;
        double value;
        const char* text;
    };
    for (Case c : {Case{0, 0.0123, "7.0 s    1.230000e-02 ppm O2"}, Case{1, 4.56, "7.0 s    4.56 ppm O2"},
                   Case{2, -731.5, "7.0 s    -731.5 mV"}}) {
        record(c.mode, 12, [&](int k) { return k == 7 ? c.value : 1.0; });
        auto [px, py] = seam::GraphPixel(psc, PSC_GRAPH, 7.0, c.value);
        seam::Hover(psc, PSC_GRAPH, px + 2, py - 2);
        EXPECT_EQ(seam::Text(psc, PSC_READOUT), c.text) << c.mode;
        seam::LeaveGraph(psc, PSC_GRAPH);
        EXPECT_EQ(seam::Text(psc, PSC_READOUT), "") << c.mode;
        seam::Commit(psc, PSC_STOP);
    }
    // Points outside the view are not drawn: none is read out.
    seam::ZoomGraph(psc, PSC_GRAPH, 50.0, 60.0);
    seam::Hover(psc, PSC_GRAPH, 100, 100);
    EXPECT_EQ(seam::Text(psc, PSC_READOUT), "");
}

std::string head(const std::string& path, std::size_t n) {
    std::ifstream f(path, std::ios::binary);
    std::string s(n, '\0');
    f.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<std::size_t>(f.gcount()));
    return s;
}

std::string whole(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

int pngWidth(const std::string& path) {
    std::string h = head(path, 24);  // signature, IHDR length and type, then the width
    if (h.size() < 24) return -1;
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(h[i]); };
    return static_cast<int>(b(16) << 24 | b(17) << 16 | b(18) << 8 | b(19));
}

TEST_F(Graph, PicturesAreWholeFilesOfTheirTypeOrAClearMessage) {
    record(1, 20, sine);
    EXPECT_EQ(seam::GraphMenu(psc, PSC_GRAPH),
              (std::vector<std::string>{"Save picture...", "Copy picture", "Reset view"}));

    EXPECT_EQ(SaveGraphPicture(psc, PSC_GRAPH, dir.path("g.png").c_str(), 0), 0);
    EXPECT_EQ(head(dir.path("g.png"), 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(pngWidth(dir.path("g.png")), 876);
    seam::AnswerPictureSave(dir.path("wide.png"), 1600);
    seam::ChooseGraphMenu(psc, PSC_GRAPH, "Save picture...");
    EXPECT_EQ(pngWidth(dir.path("wide.png")), 1600);

    ASSERT_EQ(SaveGraphPicture(psc, PSC_GRAPH, dir.path("g.pdf").c_str(), 0), 0);
    std::string pdf = whole(dir.path("g.pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("%%EOF", pdf.size() - 16), std::string::npos);
    ASSERT_EQ(SaveGraphPicture(psc, PSC_GRAPH, dir.path("g.svg").c_str(), 500), 0);
    std::string svg = whole(dir.path("g.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("width=\"500"), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    seam::TakePopups();

    fs::create_directories(dir.path("locked"));
    fs::permissions(dir.path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    bool root = ::geteuid() == 0;  // root writes anyway: then a missing folder stands in
    std::string blocked = root ? dir.path("missing/g.png") : dir.path("locked/g.png");
    EXPECT_LT(SaveGraphPicture(psc, PSC_GRAPH, blocked.c_str(), 0), 0);
    EXPECT_LT(SaveGraphPicture(psc, PSC_GRAPH, dir.path("g.bmp").c_str(), 0), 0);
    auto shown = seam::TakePopups();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Save picture");
    EXPECT_NE(shown[0].text.find(blocked), std::string::npos);
    EXPECT_NE(shown[1].text.find(".png, .pdf or .svg"), std::string::npos);
    EXPECT_FALSE(fs::exists(blocked));
    EXPECT_FALSE(fs::exists(dir.path("g.bmp")));
    fs::permissions(dir.path("locked"), fs::perms::owner_all);

    seam::ChooseGraphMenu(psc, PSC_GRAPH, "Copy picture");
    EXPECT_EQ(seam::ClipboardImage(), (std::pair<int, int>{876, 400}));
}

TEST_F(Graph, TheNewControlsHaveNamesForAssistiveTechnology) {
    for (int c : {PSC_READOUT, PSC_FOLLOW, PSC_RESET_VIEW, PSC_STATS, PSC_GRAPH})
        EXPECT_GT(seam::AccessibleName(psc, c).size(), 5u) << c;
    EXPECT_EQ(seam::AccessibleName(psc, PSC_RESET_VIEW), "Reset view");
}

}  // namespace
