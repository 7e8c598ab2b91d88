// SPDX-License-Identifier: GPL-3.0-or-later
// The strip-chart recorder: control, sampling window and axis, value text, recording file.
#include "sim_fixture.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

class Recorder : public RecorderTest {
protected:
    void setInterval(double s) {
        SetCtrlVal(psc, PSC_INTERVAL, s);
        seam::Commit(psc, PSC_APPLY);
    }
    // Starts a recording; with a file name, to that new file in the program folder.
    void start(const std::string& file = "") {
        if (file.empty())
            seam::AnswerFileSelect(0, "");
        else
            seam::AnswerFileSelect(2, dir.path(file));
        seam::Commit(psc, PSC_IDLE_CTRL);
    }
    // One timer-driven sample `t` seconds after the start.
    void sampleAt(double t) {
        seam::SetTime(tstart + t);
        seam::Tick(psc, PSC_TIMER);
    }
    std::vector<seam::PlotInfo> plots() { return seam::Plots(psc, PSC_GRAPH); }
    seam::AxisInfo xaxis() { return seam::XAxis(psc, PSC_GRAPH); }
};

TEST_F(Recorder, ShowingThePanelLoadsTheStoredSettingsOnly) {
    abtast = 2.5;
    skl[0] = -1.0;
    skl[1] = 30.0;
    was[0] = 0;
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_TRUE(seam::PanelVisible(psc));
    EXPECT_EQ(seam::Text(psc, PSC_INTERVAL), "2.50");
    EXPECT_EQ(seam::Text(psc, PSC_YMAX), "30.000");
    EXPECT_EQ(seam::Text(psc, PSC_AUTOSCALE), "0");
    EXPECT_EQ(seam::TimerInterval(psc, PSC_TIMER), 1.0);  // applied only by the scale or a start
    EXPECT_TRUE(seam::YAxis(psc, PSC_GRAPH).autoscale);
    seam::Commit(psc, PSC_APPLY);
    EXPECT_EQ(seam::TimerInterval(psc, PSC_TIMER), 2.5);
    auto y = seam::YAxis(psc, PSC_GRAPH);
    EXPECT_FALSE(y.autoscale);
    EXPECT_EQ(y.min, -1.0);
    EXPECT_EQ(y.max, 30.0);
}

TEST_F(Recorder, AStartSwitchesPollingOffTakesASampleAndShowsTheRunningLook) {
    hol = 1;
    start();
    EXPECT_EQ(hol, 0);
    EXPECT_EQ(plot, 1);
    EXPECT_EQ(speichern, 0);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), "no file");
    EXPECT_EQ(sent(), Commands({"m2"}));
    EXPECT_EQ(mpoint, 1);
    EXPECT_TRUE(plots().empty());
    EXPECT_EQ(xaxis().min, 0.0);
    EXPECT_EQ(xaxis().max, 100.0);
    EXPECT_TRUE(seam::Dimmed(psc, PSC_IDLE_CTRL));
    EXPECT_FALSE(seam::Dimmed(psc, PSC_VALUE));
    EXPECT_EQ(seam::Color(psc, PSC_RUN_INDICATOR), 0x800000);
    EXPECT_EQ(seam::Color(psc, PSC_IDLE_INDICATOR), 0xA0A0A0);
    std::string text = seam::Text(psc, PSC_VALUE);  // display mode 1 from the module: 12.5 by one digit
    EXPECT_EQ(text.substr(0, 9), "       12");
    EXPECT_EQ(text[9], '.');
    EXPECT_EQ(text.substr(11), " ppm O2");
    EXPECT_EQ(text.size(), 18u);
    // A second start does nothing: no dialog, nothing reset.
    sampleAt(1);
    seam::Commit(psc, PSC_IDLE_CTRL);
    EXPECT_EQ(mpoint, 2);
    EXPECT_TRUE(seam::TakePopups().size() == 1);  // the first start's dialog only
}

TEST_F(Recorder, TheWindowDrawsKMinusOnePointsThenTheNewest499) {
    answerInProcess();
    start();
    for (int k = 2; k <= 502; ++k) {
        reading = 10.0 * k;
        sampleAt(k - 1);
        auto p = plots();
        if (k <= 2) {
            EXPECT_TRUE(p.empty()) << k;
            continue;
        }
        ASSERT_FALSE(p.empty()) << k;
        std::size_t drawn = p.back().x.size();
        if (k <= 500) {
            ASSERT_EQ(drawn, static_cast<std::size_t>(k - 1)) << k;
            EXPECT_EQ(p.back().y.back(), 10.0 * (k - 1)) << "the newest is drawn one step later";
        } else {
            ASSERT_EQ(drawn, 499u) << k;
            EXPECT_EQ(p.back().y.back(), 10.0 * k) << "the newest is last";
            EXPECT_EQ(p.back().y[497], 10.0 * (k == 501 ? 499 : 501)) << "sample 500 is never drawn";
        }
    }
}

TEST_F(Recorder, TheAxisScrollsInStepsOfTenIntervalsTruncated) {
    start();
    for (int t = 1; t <= 100; ++t) sampleAt(t);
    EXPECT_EQ(xaxis().max, 100.0);  // equality does not scroll
    sampleAt(100.5);
    EXPECT_EQ(xaxis().min, 0.0);  // the computed -388 lies before the oldest sample
    EXPECT_EQ(xaxis().max, 110.0);
    EXPECT_EQ(plots().size(), 1u);  // the scroll removed every plot, then drew one
    sampleAt(101.5);
    EXPECT_EQ(plots().size(), 2u);  // between scrolls, each sample adds a plot
}

TEST_F(Recorder, AQuarterSecondIntervalScrollsByTwoSeconds) {
    setInterval(0.25);
    start();
    for (int i = 1; i <= 416; ++i) sampleAt(i * 0.25);
    EXPECT_EQ(xaxis().max, 104.0);  // 100, then +2 (2.5 truncated) at 100.25 and at 102.25
    sampleAt(104.25);
    EXPECT_EQ(xaxis().max, 106.0);
    EXPECT_EQ(xaxis().min, 0.0);
}

TEST_F(Recorder, BelowATenthOfASecondTheAxisEndStaysAndEverySampleRedraws) {
    setInterval(0.05);
    start();
    for (int i = 1; i <= 60; ++i) sampleAt(i * 0.05);
    EXPECT_EQ(plots().size(), 59u);
    for (double t : {100.5, 101.0, 150.0}) {
        sampleAt(t);
        EXPECT_EQ(xaxis().max, 100.0);  // the step truncates to 0: the end stays put
        EXPECT_EQ(plots().size(), 1u);  // and every later sample redraws the window alone
        EXPECT_EQ(xaxis().min, 76.0);   // 100 - 24.95 + 1, truncated, after the oldest sample
    }
}

struct ValueCase {
    int mode;
    double value;
    const char* text;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << "mode " << c.mode << " value " << c.value; }

class ValueText : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueText, ShowsTheValueRightAlignedWithItsUnit) {
    wat = static_cast<unsigned char>(GetParam().mode);
    mw = GetParam().value;
    messwert();
    EXPECT_STREQ(mw_buf, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ValueText,
    ::testing::Values(ValueCase{0, 100.0, " 1.000000e+02 ppm O2"}, ValueCase{0, -5.0, " -5.000000e+00 ppm O2"},
                      ValueCase{1, 100.0, "        100 ppm O2"}, ValueCase{1, 10.0, "       10.0 ppm O2"},
                      ValueCase{1, 1.0, "       1.00 ppm O2"}, ValueCase{1, 0.5, "      0.500 ppm O2"},
                      ValueCase{1, -5.0, "     -5.000 ppm O2"}, ValueCase{2, 100.0, "      100.0 mV    "},
                      ValueCase{2, 0.5, "        0.5 mV    "}, ValueCase{3, 100.0, " 0.0 mV    "},
                      ValueCase{255, -5.0, " 0.0 mV    "}));

TEST_F(Recorder, EverySampleIsALineFailedOnesIncluded) {
    start("rec.dat");
    EXPECT_EQ(speichern, 1);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), dir.path("rec.dat"));
    sampleAt(12.34);
    sim::Fault silent;
    silent.silent = true;
    module.setFault("m2", silent);
    sampleAt(13.0);
    EXPECT_EQ(seam::Text(psc, PSC_VALUE), "NO CONNECTION");
    EXPECT_EQ(status(), "NO CONNECTION");
    module.clearFaults();
    sim::Fault x;
    x.letter = 'x';
    module.setFault("m2", x);
    sampleAt(14.0);
    EXPECT_EQ(seam::Text(psc, PSC_VALUE).substr(0, 4), "* x=");
    seam::Commit(psc, PSC_STOP);
    EXPECT_EQ(speichern, 0);
    std::string content = dir.read("rec.dat");
    auto first = content.substr(0, content.find('\n') + 1);
    EXPECT_EQ(first.substr(0, 7), " 0.0\t1.");  // the start's sample, 12.5 give or take the drift
    EXPECT_EQ(first.substr(first.size() - 6), "e+01 \n");
    EXPECT_NE(content.find(" 12.3\t"), std::string::npos);
    EXPECT_NE(content.find(" 13.0\t0.000000e+00 \n"), std::string::npos);
    EXPECT_NE(content.find(" 14.0\t0.000000e+00 \n"), std::string::npos);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 4);
    // The idle look after the stop.
    EXPECT_FALSE(seam::Dimmed(psc, PSC_IDLE_CTRL));
    EXPECT_TRUE(seam::Dimmed(psc, PSC_VALUE));
    EXPECT_EQ(seam::Color(psc, PSC_IDLE_INDICATOR), 0x008000);
}

TEST_F(Recorder, AnExistingFileIsOverwrittenOnlyWhenTheOperatorSaysSo) {
    dir.write("old.dat", "keep me\n");
    seam::AnswerFileSelect(1, dir.path("old.dat"));
    seam::AnswerConfirm(0);
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    auto p = seam::TakePopups();
    ASSERT_EQ(p.size(), 3u);
    auto look = seam::LastFileDialog();
    EXPECT_EQ(look.title, "Filename");
    EXPECT_EQ(look.accept, "OK");
    EXPECT_FALSE(look.newFolder);
    EXPECT_EQ(p[1].title, "File already exists !");
    EXPECT_EQ(p[1].text, "Do you want to overwrite it ?");
    EXPECT_EQ(seam::Text(psc, PSC_FILE), "no file");
    EXPECT_EQ(plot, 1);
    EXPECT_EQ(dir.read("old.dat"), "keep me\n");
    seam::Commit(psc, PSC_STOP);
    seam::AnswerFileSelect(1, dir.path("old.dat"));
    seam::AnswerConfirm(1);
    seam::Commit(psc, PSC_IDLE_CTRL);
    EXPECT_EQ(speichern, 1);
    EXPECT_EQ(dir.read("old.dat").substr(0, 5), " 0.0\t");
    EXPECT_EQ(dir.read("old.dat").find("keep"), std::string::npos);
}

TEST_F(Recorder, AFileThatCannotBeOpenedLeavesTheRecordingWithoutAFile) {
    seam::AnswerFileSelect(2, dir.path("no/such/folder/rec.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    EXPECT_EQ(speichern, 0);
    EXPECT_EQ(plot, 1);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), "no file");  // what the panel file gives it
    sim::Fault late;
    late.delay = 0.4;  // the time-out stays 0.6 s: no file was opened
    module.setFault("m2", late);
    sampleAt(1);
    EXPECT_NE(seam::Text(psc, PSC_VALUE), "NO CONNECTION");
}

TEST_F(Recorder, ClosingThePanelEndsTheRecordingButKeepsTheRunningLook) {
    start("r.dat");
    sampleAt(1);
    seam::Close(psc);
    EXPECT_FALSE(seam::PanelVisible(psc));
    EXPECT_EQ(plot, 0);
    EXPECT_EQ(speichern, 0);
    sampleAt(2);  // the timer takes no sample now
    std::string content = dir.read("r.dat");
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2);
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_TRUE(seam::Dimmed(psc, PSC_IDLE_CTRL));
    EXPECT_EQ(seam::Color(psc, PSC_RUN_INDICATOR), 0x800000);
    seam::Commit(psc, PSC_STOP);
    EXPECT_FALSE(seam::Dimmed(psc, PSC_IDLE_CTRL));
    EXPECT_EQ(hol, 0);  // polling stays off after a recording
}

TEST_F(Recorder, ModeZeroDrawsOnALogAxisThatCopesWithZeroAndBelow) {
    SetCtrlVal(p1, P1_MODE, 0);
    start();
    EXPECT_TRUE(seam::YAxis(psc, PSC_GRAPH).log);
    sim::Fault x;
    x.letter = 'x';  // values of 0
    module.setFault("m2", x);
    for (int t = 1; t <= 5; ++t) sampleAt(t);
    module.clearFaults();
    module.setReading(-5.0);
    for (int t = 6; t <= 8; ++t) sampleAt(t);
    auto y = seam::YAxis(psc, PSC_GRAPH);
    EXPECT_GT(y.min, 0.0);
    EXPECT_GT(y.max, y.min);
    for (int mode : {1, 2}) {
        seam::Commit(psc, PSC_STOP);
        SetCtrlVal(p1, P1_MODE, mode);
        start();
        EXPECT_FALSE(seam::YAxis(psc, PSC_GRAPH).log) << mode;
    }
}

TEST_F(Recorder, StopWhileIdleOnlyShowsTheIdleLook) {
    seam::Commit(psc, PSC_STOP);
    EXPECT_EQ(plot, 0);
    EXPECT_EQ(speichern, 0);
    EXPECT_FALSE(seam::Dimmed(psc, PSC_IDLE_CTRL));
    EXPECT_TRUE(seam::Dimmed(psc, PSC_VALUE));
    EXPECT_EQ(seam::Color(psc, PSC_IDLE_INDICATOR), 0x008000);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(seam::TakePopups().empty());
    start("r.dat");  // and a recording starts as ever
    EXPECT_EQ(speichern, 1);
    seam::Commit(psc, PSC_STOP);
}

TEST_F(Recorder, ANewIntervalTakesEffectWhileRecording) {
    start();
    for (int t = 1; t <= 100; ++t) sampleAt(t);
    setInterval(2.0);
    EXPECT_EQ(seam::TimerInterval(psc, PSC_TIMER), 2.0);
    sampleAt(101);
    EXPECT_EQ(xaxis().max, 120.0);  // ten of the new intervals
    EXPECT_EQ(xaxis().min, 0.0);
    EXPECT_EQ(plot, 1);
}

TEST_F(Recorder, OpeningARecordingFileRestartsTheMainTimer) {
    ASSERT_TRUE(seam::TimerRunning(p1, P1_TIMER));
    double interval = seam::TimerInterval(p1, P1_TIMER);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_LT(seam::TimerRemaining(p1, P1_TIMER), interval - 0.25);
    start();  // no file: the timer runs on
    EXPECT_LT(seam::TimerRemaining(p1, P1_TIMER), interval - 0.25);
    seam::Commit(psc, PSC_STOP);
    start("r.dat");
    EXPECT_GT(seam::TimerRemaining(p1, P1_TIMER), interval - 0.2);
}

TEST_F(Recorder, ClosingTheMainPanelWhileRecordingWritesTheSettingsAndEndsAtOnce) {
    start("r.dat");
    sampleAt(1);
    EXPECT_EXIT(seam::Close(p1), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(dir.read("pavro.ini"), " 1 1.000000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n");
    std::string content = dir.read("r.dat");
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2);  // both lines, none cut short
}

}  // namespace
