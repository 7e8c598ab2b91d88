// SPDX-License-Identifier: GPL-3.0-or-later
// A recording cut off by a kill or a power cut, taken up again in the same file.
#include "info.h"
#include "process.h"
#include "resume.h"
#include "sim_fixture.h"

#include <sys/stat.h>

#include <regex>

namespace {

class Resume : public RecorderTest {
protected:
    // A recording of `n` samples to rec.dat, then the program gone without a stop (its file
    // closed, unless `stillOpen`), its start moved `ago` seconds back; the program started anew
    // and the port confirmed.
    void cutOff(int n, double ago, const std::string& watch = "", bool stillOpen = false) {
        if (fs::exists(dir.path("rec.dat"))) seam::AnswerConfirm(1);
        seam::AnswerFileSelect(2, dir.path("rec.dat"));
        seam::Commit(psc, PSC_IDLE_CTRL);
        for (int i = 1; i < n; ++i) seam::Tick(psc, PSC_TIMER);
        RecordingInfo info;
        std::string why;
        ASSERT_EQ(info_read(dir.path("rec.dat").c_str(), &info, &why), 1) << why;
        info.startUnixMs -= static_cast<long long>(ago * 1000);
        ASSERT_EQ(info_write(dir.path("rec.dat").c_str(), info), 0);
        if (!stillOpen) CloseFile(filedat);  // as the process's end closes it
        restart(watch);
    }
    void restart(const std::string& watch) {
        if (!watch.empty()) dir.write("pavro-watch.ini", watch);
        start_program();
        connect();
    }
    bool offered() { return seam::Visible(psc, PSC_RESUME); }
    std::string log() { return dir.read("pavro-events.log"); }
};

TEST_F(Resume, OfferedOnlyForACutOffRecordingAndOnlyOnTheRecorderPanel) {
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_FALSE(offered());  // nothing recorded yet
    cutOff(4, 0);
    EXPECT_FALSE(offered());  // nothing at start-up
    EXPECT_FALSE(seam::PanelVisible(psc));
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_TRUE(offered());
    EXPECT_EQ(seam::Label(psc, PSC_RESUME), "Resume recording");
    // A recording that ended as it should is not offered; nor is anything under "never".
    seam::Commit(psc, PSC_RESUME);
    seam::Commit(psc, PSC_STOP);
    restart("");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_FALSE(offered());
    cutOff(3, 0, "[recording]\nresume=never\n");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_FALSE(offered());
    // A value that is none is taken as "offer"; offered, it goes when another recording starts.
    restart("[recording]\nresume=maybe\n");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    ASSERT_TRUE(offered());
    seam::AnswerFileSelect(2, dir.path("other.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    EXPECT_FALSE(offered());
    EXPECT_EQ(log().find("resume-refused"), std::string::npos) << log();
}

TEST_F(Resume, ResumedItAppendsWithTimesFromTheOriginalStartAndTheInfoRecordsTheGap) {
    cutOff(5, 100.0);
    const std::string before = dir.read("rec.dat");
    dir.write("rec.dat", before + " 0.9\t1.2");  // a half line the power cut left
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::Commit(psc, PSC_RESUME);
    EXPECT_FALSE(offered());
    EXPECT_TRUE(plot);
    for (int i = 0; i < 3; ++i) seam::Tick(psc, PSC_TIMER);
    seam::Commit(psc, PSC_STOP);

    std::string after = dir.read("rec.dat");
    ASSERT_EQ(after.substr(0, before.size()), before);
    auto lines = textLines(after);
    ASSERT_EQ(lines.size(), 9u) << after;
    static const std::regex line(R"( \d+\.\d\t-?\d\.\d{6}e[+-]\d\d )");
    for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, line)) << "[" << l << "]";
    double last = std::stod(lines[4]), first = std::stod(lines[5]);
    EXPECT_LT(last, 10.0);
    EXPECT_GE(first, 100.0);  // the gap shows as a jump in time
    EXPECT_LT(first, 160.0);

    RecordingInfo info;
    std::string why;
    ASSERT_EQ(info_read(dir.path("rec.dat").c_str(), &info, &why), 1) << why;
    ASSERT_EQ(info.interruptions.size(), 1u);
    EXPECT_EQ(info.interruptions[0].samples, 5);
    EXPECT_DOUBLE_EQ(info.interruptions[0].last_s, last);
    EXPECT_GE(info.interruptions[0].resumedUnixMs, info.startUnixMs + 100000);
    EXPECT_TRUE(info.ended);
    EXPECT_EQ(info.samples, 9);
    EXPECT_NE(log().find("recording-resume\tfile=" + dir.path("rec.dat") + " samples=5 "), std::string::npos) << log();
    EXPECT_NE(log().find("cut_bytes=8"), std::string::npos) << log();
    // The viewer takes the info as this file's.
    seam::AnswerFileSelect(1, dir.path("rec.dat"));
    seam::Commit(psc, PSC_LOAD);
    EXPECT_TRUE(seam::Visible(psc, PSC_TIME_AXIS));
    EXPECT_NE(seam::GraphNote(psc, PSC_GRAPH).find("; cut off and resumed once"), std::string::npos)
        << seam::GraphNote(psc, PSC_GRAPH);
}

TEST_F(Resume, AlwaysResumesOnceTheLinkIsUpWithoutAsking) {
    cutOff(3, 50.0, "[recording]\nresume=always\n");
    EXPECT_TRUE(plot);
    EXPECT_TRUE(seam::PanelVisible(psc));
    EXPECT_FALSE(offered());
    seam::Tick(psc, PSC_TIMER);
    auto lines = textLines(dir.read("rec.dat"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_GE(std::stod(lines[3]), 50.0);
}

TEST_F(Resume, AFileGoneReadOnlyOrRewrittenIsNotOfferedAndOneLineSaysWhy) {
    struct Case {
        std::string name, why;
        std::function<void(ProgramDir&)> spoil;
    };
    std::vector<Case> cases = {
        {"gone", "the file is gone", [](ProgramDir& d) { fs::remove(d.path("rec.dat")); }},
        {"rewritten", "line 1 is none of this recording's: rewritten by another program",
         [](ProgramDir& d) { d.write("rec.dat", "time;value\n0;1.5\n"); }},
        {"going back", "line 3 is none of this recording's",
         [](ProgramDir& d) { d.write("rec.dat", " 0.0\t1.000000e+00 \n 5.0\t1.000000e+00 \n 1.0\t1.000000e+00 \n"); }},
        {"no info", "it has no recording info", [](ProgramDir& d) { fs::remove(d.path("rec.dat.json")); }},
        {"later info", "its recording info is unusable: written by a later version of pavro",
         [](ProgramDir& d) {
             std::string t = d.read("rec.dat.json");
             t = std::regex_replace(t, std::regex(R"("format": *1)"), "\"format\": 9");
             d.write("rec.dat.json", t);
         }},
    };
    if (geteuid() != 0)
        cases.push_back({"read-only", "the file cannot be written",
                         [](ProgramDir& d) { chmod(d.path("rec.dat").c_str(), 0444); }});
    for (const Case& c : cases) {
        cutOff(3, 0);
        c.spoil(dir);
        fs::remove(dir.path("pavro-events.log"));
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
        EXPECT_FALSE(offered()) << c.name;
        std::string l = log();
        EXPECT_NE(l.find("\tresume-refused\tfile=" + dir.path("rec.dat") + " why=" + c.why), std::string::npos)
            << c.name << ": " << l;
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);  // said once
        EXPECT_EQ(log(), l) << c.name;
        chmod(dir.path("rec.dat").c_str(), 0644);
        start_program();
        connect();
    }
    // Still open in another pavro (here: the same process, which never closed it): not taken up.
    cutOff(3, 0, "", true);
    fs::remove(dir.path("pavro-events.log"));
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_FALSE(offered());
    EXPECT_NE(log().find("why=another pavro is recording it"), std::string::npos) << log();
    // A remembered name that is garbled is said too; nothing is offered.
    dir.write(kLastRecordingFile, "no line end");
    restart("");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_FALSE(offered());
}

// A long recording read through the checker's window: lines that straddle its edge count
// whole, a foreign line far in is found by its number, the half last line is left to cut.
TEST(ResumeCheckFile, ALongFileIsCheckedLineByLineAcrossTheReadingWindow) {
    ProgramDir dir;
    const std::string path = dir.path("long.dat");
    std::string text;
    std::size_t line6000 = 0;
    for (int k = 0; k < 10000; ++k) {
        if (k == 5999) line6000 = text.size();
        char l[64];
        std::snprintf(l, sizeof l, " %d.%d\t%.6e \n", k / 10, k % 10, 1.0 + k);
        text += l;
    }
    RecordingInfo info;
    info.startUnixMs = UnixTimeMs() - 2000000;
    info.start = "2026-12-10T14:32:05.123+01:00";
    info.programVersion = "0.1.0";
    ASSERT_EQ(info_write(path.c_str(), info), 0);
    ASSERT_GT(text.size(), 65536u * 2);
    dir.write("long.dat", text + " 1000.0\t1.2");
    ResumeCheck c = resume_check_file(path.c_str());
    EXPECT_TRUE(c.resumable) << c.why;
    EXPECT_EQ(c.samples, 10000);
    EXPECT_EQ(c.keep, static_cast<long long>(text.size()));
    EXPECT_DOUBLE_EQ(c.last_s, 999.9);
    std::string spoilt = text;
    spoilt.insert(line6000 + 3, "x");  // inside a line far past the first window
    dir.write("long.dat", spoilt);
    c = resume_check_file(path.c_str());
    EXPECT_FALSE(c.resumable);
    EXPECT_EQ(c.why, "line 6000 is none of this recording's: rewritten by another program");
}

// As a process: pavro-driver killed with SIGKILL mid-recording, then started again resuming
// as "always" does: the same file goes on, its times counted from the first start.
TEST(ResumeProcess, AfterASigkillTheSameFileGoesOnFromItsOriginalStart) {
    ProgramDir dir;
    Process sim = Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", dir.path("ports/com1")});
    ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(dir.path("ports/com1")); }, 10));
    Process first = Process::start({PAVRO_BIN_DIR "/pavro-driver", dir.path(), dir.path("rec.dat"), "0.05", "record"},
                                   {"QT_QPA_PLATFORM=offscreen"}, dir.path("first.log"));
    ASSERT_TRUE(waitUntil([&] { return textLines(dir.read("rec.dat")).size() >= 5; }, 10)) << dir.read("first.log");
    kill(first.pid, SIGKILL);
    ASSERT_EQ(first.wait(5), 128 + SIGKILL);
    Delay(1.1);  // a gap of more than a second
    const std::string before = dir.read("rec.dat");
    Process second = Process::start({PAVRO_BIN_DIR "/pavro-driver", dir.path(), dir.path("rec.dat"), "0.05", "resume", "4"},
                                    {"QT_QPA_PLATFORM=offscreen"}, dir.path("second.log"));
    ASSERT_EQ(second.wait(20), 0) << dir.read("second.log");
    auto said = textLines(dir.read("second.log"));
    EXPECT_NE(std::find(said.begin(), said.end(), "resumed"), said.end()) << dir.read("second.log");
    std::string after = dir.read("rec.dat");
    ASSERT_EQ(after.substr(0, before.size()), before);
    auto old = textLines(before), all = textLines(after);
    ASSERT_EQ(all.size(), old.size() + 4);
    EXPECT_GE(std::stod(all[old.size()]) - std::stod(old.back()), 1.0) << after;
    std::string info = dir.read("rec.dat.json");
    RecordingInfo parsed;
    std::string why;
    ASSERT_TRUE(info_parse(info.data(), info.size(), &parsed, &why)) << why;
    ASSERT_EQ(parsed.interruptions.size(), 1u) << info;
    EXPECT_EQ(parsed.interruptions[0].samples, static_cast<long long>(old.size()));
    EXPECT_EQ(parsed.samples, static_cast<long long>(all.size()));
    EXPECT_EQ(parsed.endedBy, "stop");
}

}  // namespace
