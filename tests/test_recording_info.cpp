// SPDX-License-Identifier: GPL-3.0-or-later
// What happened, and when: the recording info beside a recording file, the viewer's clock time
// and unit from it, the CSV export, and the Event log window.
#include "eventlog.h"
#include "export.h"
#include "info.h"
#include "json.h"
#include "recording_line.h"
#include "sim_fixture.h"

#include <clocale>
#include <functional>
#include <regex>

namespace {

RecordingInfo example() {
    RecordingInfo r;
    r.start = "2026-12-10T14:32:05.123+01:00";
    r.startUnixMs = 1796909525123;
    r.unit = kFeedMv;
    r.displayMode = 2;
    r.interval_s = 0.5;
    r.changes = {{12, 2.0}};
    r.moduleType = 3;
    r.settingsWord = 49;
    r.port = 2;
    r.device = "/dev/ttyUSB0";
    r.programVersion = "0.1.0";
    return r;
}

TEST(RecordingInfoText, ReadsBackAsWrittenAndRefusesWhatIsNoInfoOfThisVersion) {
    const std::vector<Interruption> cut = {{30, 14.5, "2026-12-10T14:40:00.000+01:00", 1796910000000}};
    for (bool ended : {false, true}) {
        RecordingInfo r = example();
        r.interruptions = cut;
        r.ended = ended;
        r.end = "2026-12-10T15:00:00.000+01:00";
        r.samples = 40;
        r.endedBy = "panel closed";
        r.bytes = 760;
        std::string text = info_text(r), why;
        RecordingInfo back;
        ASSERT_TRUE(info_parse(text.data(), text.size(), &back, &why)) << why << "\n" << text;
        EXPECT_EQ(info_text(back), text);
        EXPECT_EQ(back.startUnixMs, r.startUnixMs);
        EXPECT_EQ(back.ended, ended);
    }
    RecordingInfo none = example();
    none.unit = kFeedUnknown;
    none.moduleType = none.settingsWord = -1;
    std::string text = info_text(none);
    EXPECT_NE(text.find("\"unit\":null"), std::string::npos) << text;
    EXPECT_NE(text.find("\"settings_word\":null"), std::string::npos) << text;

    RecordingInfo withCut = example();
    withCut.interruptions = cut;
    const std::string good = info_text(withCut);
    auto refused = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        std::size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        t.replace(at, from.size(), to);
        RecordingInfo r;
        std::string why;
        EXPECT_FALSE(info_parse(t.data(), t.size(), &r, &why)) << t;
        return why;
    };
    EXPECT_EQ(refused("\"format\":1", "\"format\":2"), "written by a later version of pavro");
    EXPECT_NE(refused("\"unit\":\"mV\"", "\"unit\":\"%\"").find("unit"), std::string::npos);
    EXPECT_NE(refused("\"start_unix_ms\":1796909525123", "\"start_unix_ms\":1.5"), "");
    EXPECT_NE(refused("\"sample\":12", "\"sample\":-1"), "");
    EXPECT_NE(refused("{", "["), "");
    EXPECT_EQ(refused("\"last_s\":14.5", "\"last_s\":-1"), "an interruption is not samples, a time and a resumption");
    EXPECT_EQ(refused("\"interruptions\":[", "\"interruptions\":7,\"x\":["), "\"interruptions\" is no list");
    EXPECT_EQ(refused(good, "not json").rfind("no JSON", 0), 0u);
}

// ----- recordings write it -------------------------------------------------------------------

class Info : public RecorderTest {
protected:
    Json info(const std::string& name) {
        Json j;
        std::string why;
        EXPECT_EQ(JsonReadFile(dir.path(name + ".json").c_str(), 1 << 20, &j, &why), 1) << why;
        return j;
    }
    static double number(const Json& j, const char* key) {
        const Json* v = j.get(key);
        return v && v->kind == Json::Number ? v->number : -1e300;
    }
    static std::string text(const Json& j, const char* key) {
        const Json* v = j.get(key);
        return v && v->kind == Json::String ? v->text : "<none>";
    }
};

TEST_F(Info, ARecordingToAFileWritesItsInfoAtItsStartAtEachNewIntervalAndAtItsStop) {
    long long before = UnixTimeMs();
    seam::AnswerFileSelect(2, dir.path("run1.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    Json j = info("run1.dat");
    EXPECT_EQ(text(j, "unit"), "ppm");  // the first settings read at the port's confirmation
    EXPECT_EQ(number(j, "settings_word"), 49);
    EXPECT_EQ(number(j, "display_mode"), 1);
    EXPECT_EQ(number(j, "interval_s"), 1);
    EXPECT_EQ(number(j, "port"), 1);
    EXPECT_EQ(text(j, "program_version"), "0.1.0");
    EXPECT_GE(number(j, "start_unix_ms"), static_cast<double>(before));
    EXPECT_LE(number(j, "start_unix_ms"), static_cast<double>(UnixTimeMs()));
    EXPECT_TRUE(std::regex_match(text(j, "start"), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
    EXPECT_EQ(j.get("end"), nullptr);  // still running: no end yet

    seam::Tick(psc, PSC_TIMER);
    SetCtrlVal(psc, PSC_INTERVAL, 2.5);
    seam::Commit(psc, PSC_APPLY);
    seam::Commit(psc, PSC_APPLY);  // the same interval again is no change
    seam::Tick(psc, PSC_TIMER);
    j = info("run1.dat");
    const Json* changes = j.get("interval_changes");
    ASSERT_TRUE(changes && changes->items.size() == 1u) << JsonText(j);
    EXPECT_EQ(number(changes->items[0], "sample"), 2);
    EXPECT_EQ(number(changes->items[0], "interval_s"), 2.5);

    seam::Commit(psc, PSC_STOP);
    j = info("run1.dat");
    EXPECT_EQ(number(j, "samples"), 3);
    EXPECT_EQ(text(j, "ended_by"), "stop");
    EXPECT_EQ(number(j, "bytes"), static_cast<double>(dir.read("run1.dat").size()));
    EXPECT_NE(text(j, "end"), "<none>");

    // A recording without a file has no info; closing the panel ends one as such.
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    seam::Commit(psc, PSC_STOP);
    EXPECT_FALSE(fs::exists(dir.path(".json")));
    seam::AnswerFileSelect(2, dir.path("run2.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    seam::Close(psc);
    EXPECT_EQ(text(info("run2.dat"), "ended_by"), "panel closed");
}

// ----- the viewer uses it --------------------------------------------------------------------

class Clock : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    }
    // 30 lines, one a second from 0 s, values 1-30 (e+00 .. e+01); an info that fits unless
    // changed.
    RecordingInfo recorded(const std::string& name) {
        std::string s;
        for (int i = 0; i < 30; ++i) {
            char line[64];
            Fmt(line, kRecordingLine, static_cast<double>(i), static_cast<double>(i + 1));
            s += line;
        }
        dir.write(name, s);
        RecordingInfo r = example();
        r.startUnixMs = UnixTimeMs() - 3600 * 1000;  // an hour ago
        r.ended = true;
        r.samples = 30;
        r.bytes = static_cast<long long>(s.size());
        r.endedBy = "stop";
        return r;
    }
    void view(const std::string& name) {
        seam::AnswerFileSelect(1, dir.path(name));
        seam::Commit(psc, PSC_LOAD);
    }
    std::string note() { return seam::GraphNote(psc, PSC_GRAPH); }
    int visible(int control) { return seam::Visible(psc, control) ? 1 : 0; }
    static std::string at(long long ms, int form) {
        char t[64];
        LocalTimeTextAt(ms, t, sizeof t, form);
        return t;
    }
};

TEST_F(Clock, AFittingInfoGivesClockTimesAndTheRecordingsUnit) {
    RecordingInfo r = recorded("a.dat");
    ASSERT_EQ(info_write(dir.path("a.dat").c_str(), r), 0);
    SetCtrlVal(p1, P1_MODE, 1);  // the ring says ppm; the recording was in mV
    view("a.dat");
    EXPECT_EQ(note(), "Recorded " + at(r.startUnixMs, 2) + ", in mV");
    EXPECT_EQ(visible(PSC_TIME_AXIS), 1);
    EXPECT_EQ(visible(PSC_EXPORT), 1);
    std::string stats = seam::Text(psc, PSC_STATS);
    EXPECT_EQ(stats, "30 lines, 0.0 s to 29.0 s (" + at(r.startUnixMs, 2) + " to " +
                         (at(r.startUnixMs, 2).substr(0, 10) == at(r.startUnixMs + 29000, 2).substr(0, 10)
                              ? at(r.startUnixMs + 29000, 0)
                              : at(r.startUnixMs + 29000, 2)) +
                         "); least 1.0 mV, greatest 30.0 mV, mean 15.5 mV");
    // Elapsed is the default; clock time labels the axis with times of day, the data unchanged.
    EXPECT_EQ(seam::GraphXLabel(psc, PSC_GRAPH), "Time [s]");
    SetCtrlVal(psc, PSC_TIME_AXIS, 1);
    seam::Commit(psc, PSC_TIME_AXIS);
    EXPECT_EQ(seam::GraphXLabel(psc, PSC_GRAPH), "Clock time");
    std::vector<std::string> ticks = seam::GraphXTicks(psc, PSC_GRAPH);
    ASSERT_FALSE(ticks.empty());
    for (const std::string& t : ticks) EXPECT_TRUE(std::regex_match(t, std::regex(R"(\d\d:\d\d:\d\d)"))) << t;
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH)[0].x.back(), 29.0);
    SetCtrlVal(psc, PSC_TIME_AXIS, 0);
    seam::Commit(psc, PSC_TIME_AXIS);
    EXPECT_EQ(seam::GraphXLabel(psc, PSC_GRAPH), "Time [s]");

    // A new load starts elapsed again.
    SetCtrlVal(psc, PSC_TIME_AXIS, 1);
    seam::Commit(psc, PSC_TIME_AXIS);
    view("a.dat");
    EXPECT_EQ(seam::GraphXLabel(psc, PSC_GRAPH), "Time [s]");
    int axis = -1;
    GetCtrlVal(psc, PSC_TIME_AXIS, &axis);
    EXPECT_EQ(axis, 0);

    // An info without an end, of a file not written to for a while: interrupted.
    r.ended = false;
    ASSERT_EQ(info_write(dir.path("a.dat").c_str(), r), 0);
    fs::last_write_time(dir.path("a.dat"), fs::file_time_type::clock::now() - std::chrono::minutes(10));
    view("a.dat");
    EXPECT_EQ(note(), "Recorded " + at(r.startUnixMs, 2) + ", in mV; the recording was interrupted (no end in its info)");
    EXPECT_EQ(visible(PSC_TIME_AXIS), 1);
}

TEST_F(Clock, WithoutAFittingInfoTheViewerIsAsBeforeAndSaysWhy) {
    RecordingInfo r = recorded("b.dat");
    const std::string plain =
        "30 lines, 0.0 s to 29.0 s; least 1.000000e+00 ppm O2, greatest 3.000000e+01 ppm O2, mean 1.550000e+01 ppm O2";
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string says;
    } cases[] = {
        {"none", [&] { fs::remove(dir.path("b.dat.json")); }, "No recording info (b.dat.json): elapsed time only"},
        {"another recording's",
         [&] {
             RecordingInfo other = r;
             other.samples = 31;
             info_write(dir.path("b.dat").c_str(), other);
         },
         "Recording info b.dat.json not used: it tells of 31 samples in " + std::to_string(r.bytes) +
             " bytes, the file has 30 lines in " + std::to_string(r.bytes)},
        {"a later version's",
         [&] {
             std::string t = info_text(r);
             t.replace(t.find("\"format\":1"), 10, "\"format\":7");
             dir.write("b.dat.json", t);
         },
         "Recording info b.dat.json not used: written by a later version of pavro"},
        {"garbled", [&] { dir.write("b.dat.json", "{\"format\":1,"); }, "Recording info b.dat.json not used: no JSON"},
        {"older than its file",
         [&] {
             RecordingInfo later = r;
             later.startUnixMs = UnixTimeMs() + 3600 * 1000;
             info_write(dir.path("b.dat").c_str(), later);
         },
         "Recording info b.dat.json not used: the file is older than the recording it tells of"},
    };
    SetCtrlVal(p1, P1_MODE, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        view("b.dat");
        EXPECT_EQ(note().substr(0, c.says.size()), c.says);
        EXPECT_EQ(visible(PSC_TIME_AXIS), 0);
        EXPECT_EQ(seam::Text(psc, PSC_STATS), plain);
        EXPECT_EQ(seam::GraphXLabel(psc, PSC_GRAPH), "Time [s]");
    }
}

// ----- CSV export ----------------------------------------------------------------------------

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "a row without CRLF";
        if (end == std::string::npos) break;
        std::vector<std::string> cols;
        std::string line = text.substr(at, end - at);
        for (std::size_t c = 0, n; c <= line.size(); c = n + 1) {
            n = line.find(',', c);
            if (n == std::string::npos) n = line.size();
            cols.push_back(line.substr(c, n - c));
        }
        rows.push_back(cols);
        at = end + 2;
    }
    return rows;
}

TEST_F(Clock, TheExportHasARowPerLineInAGermanLocaleTooAndTheRangeInView) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    std::string keep = saved ? saved : "C";
    bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
    // Recorder lines, and lines of other programs as the viewer reads them.
    std::string content = " 0.0\t1.500000e+00 \n 1.0\t-2.250000e-03 \n2 7.5\nno numbers here\n\n 3.5\t1.000000e+01 \n";
    dir.write("c.dat", content);
    RecordingInfo r = example();
    r.startUnixMs = UnixTimeMs() - 60000;
    r.ended = true;
    r.samples = 5;
    r.bytes = static_cast<long long>(content.size());
    ASSERT_EQ(info_write(dir.path("c.dat").c_str(), r), 0);
    view("c.dat");
    seam::AnswerFileSelect(2, dir.path("c.csv"));
    seam::Commit(psc, PSC_EXPORT);
    auto rows = csv_rows(dir.read("c.csv"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"clock_time", "seconds", "value", "unit"}));
    const std::vector<std::pair<std::string, std::string>> plain = {
        {"0.0", "1.500000e+00"}, {"1.0", "-2.250000e-03"}, {"2", "7.5"}, {"3.5", "1.000000e+01"}};
    const double seconds[] = {0.0, 1.0, 2.0, 3.5};
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_EQ(rows[i + 1].size(), 4u);
        EXPECT_EQ(rows[i + 1][0], at(r.startUnixMs + static_cast<long long>(seconds[i] * 1000), 1));
        EXPECT_EQ(rows[i + 1][1], plain[i].first);
        EXPECT_EQ(rows[i + 1][2], plain[i].second);
        EXPECT_EQ(rows[i + 1][3], "mV");
    }
    // The range in view only.
    seam::ZoomGraph(psc, PSC_GRAPH, 0.5, 2.5);
    seam::AnswerFileSelect(2, dir.path("d.csv"));
    seam::Commit(psc, PSC_EXPORT);
    rows = csv_rows(dir.read("d.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][1], "1.0");
    EXPECT_EQ(rows[2][1], "2");
    std::setlocale(LC_ALL, keep.c_str());
    if (!german) GTEST_SKIP() << "no German locale on this machine: exported in the C locale only";
}

TEST_F(Clock, ACancelledExportLeavesNoFileAndTheOldOneAsItWas) {
    std::string content;
    for (int i = 0; i < 200000; ++i) {
        char line[64];
        Fmt(line, kRecordingLine, i / 10.0, static_cast<double>(i % 97));
        content += line;
    }
    dir.write("big.dat", content);
    dir.write("big.csv", "the old table\n");
    view("big.dat");
    seam::ProgressScript(0.5, 0.0);
    seam::AnswerFileSelect(1, dir.path("big.csv"));
    seam::AnswerConfirm(1);
    seam::Commit(psc, PSC_EXPORT);
    EXPECT_TRUE(seam::ProgressShown());
    EXPECT_EQ(dir.read("big.csv"), "the old table\n");
    EXPECT_FALSE(fs::exists(dir.path("big.csv.part")));
    // Not cancelled: written whole, and a small one shows no window.
    seam::AnswerFileSelect(2, dir.path("whole.csv"));
    seam::Commit(psc, PSC_EXPORT);
    EXPECT_EQ(csv_rows(dir.read("whole.csv")).size(), 200001u);
    EXPECT_FALSE(fs::exists(dir.path("whole.csv.part")));
}

TEST_F(Clock, ACancelledLoadOrCloserLookLeavesTheGraphAsItWas) {
    info_write(dir.path("small.dat").c_str(), recorded("small.dat"));
    std::string content;
    for (int i = 0; i < 300000; ++i) {
        char line[64];
        Fmt(line, kRecordingLine, i / 10.0, static_cast<double>(i % 89));
        content += line;
    }
    dir.write("big.dat", content);
    view("small.dat");
    auto plots = seam::Plots(psc, PSC_GRAPH);
    std::string file = seam::Text(psc, PSC_FILE), before = note();
    ASSERT_FALSE(plots.empty());

    seam::ProgressScript(0.5, 0.0);
    view("big.dat");
    EXPECT_TRUE(seam::ProgressShown());
    auto after = seam::Plots(psc, PSC_GRAPH);
    ASSERT_EQ(after.size(), plots.size());
    EXPECT_EQ(after[0].x, plots[0].x);
    EXPECT_EQ(after[0].y, plots[0].y);
    EXPECT_EQ(seam::Text(psc, PSC_FILE), file);
    EXPECT_EQ(note(), before);
    // Still the small file's: its export and its clock time.
    seam::AnswerFileSelect(2, dir.path("small.csv"));
    seam::Commit(psc, PSC_EXPORT);
    EXPECT_EQ(csv_rows(dir.read("small.csv")).size(), 31u);
    EXPECT_EQ(visible(PSC_TIME_AXIS), 1);

    // The big file whole; a closer look cancelled keeps the whole file's points.
    view("big.dat");
    EXPECT_NE(seam::Text(psc, PSC_FILE), file);
    auto whole = seam::Plots(psc, PSC_GRAPH);
    seam::ProgressScript(0.0, 0.0);
    seam::ZoomGraph(psc, PSC_GRAPH, 100.0, 29000.0);
    EXPECT_TRUE(seam::ProgressShown());
    EXPECT_EQ(seam::Plots(psc, PSC_GRAPH)[0].x, whole[0].x);
    seam::ZoomGraph(psc, PSC_GRAPH, 100.0, 28000.0);  // not cancelled: the lines of the range
    auto closer = seam::Plots(psc, PSC_GRAPH)[0].x;
    ASSERT_FALSE(closer.empty());
    EXPECT_GE(closer.front(), 100.0);
    EXPECT_LE(closer.back(), 28000.0);
}

// ----- the Event log window ------------------------------------------------------------------

TEST_F(Clock, TheEventLogWindowShowsTheNewestFirstFiltersCopiesAndFollowsTheFile) {
    event_log("port", "number=1 device=/dev/ttyS0 opened");
    event_log("settings-read", "word=49 reply \x07 raw");
    ereignisse(m1, MENUBAR_WATCH_EVENTS, nullptr, p1);
    std::string status;
    std::vector<std::string> rows = seam::LogWindowRows("", "", &status);
    ASSERT_GE(rows.size(), 3u);  // the start event, then these two
    EXPECT_NE(rows[0].find("\tsettings-read\tword=49 reply \\x07 raw"), std::string::npos) << rows[0];
    EXPECT_NE(rows[1].find("\tport\t"), std::string::npos) << rows[1];
    EXPECT_NE(status.find(" events in "), std::string::npos) << status;
    EXPECT_EQ(seam::LogWindowRows("port", "", nullptr).size(), 1u);
    EXPECT_EQ(seam::LogWindowRows("", "TTYS0", nullptr).size(), 1u);
    std::string copied = seam::LogWindowCopy(0, 0);
    EXPECT_EQ(copied, seam::LogWindowRows("", "TTYS0", nullptr)[0] + "\n");

    // New lines appear on top at the window's next look (once a second).
    event_log("zero-reset", "u1=0.5 answer=yes outcome=done");
    seam::RefreshLogWindow();
    rows = seam::LogWindowRows("", "", &status);
    EXPECT_NE(rows[0].find("\tzero-reset\t"), std::string::npos) << rows[0];

    // The log cannot be written (a folder stands in its place): the window says since when.
    fs::remove(dir.path("pavro-events.log"));
    fs::create_directory(dir.path("pavro-events.log"));
    event_log("end", "lost");
    ASSERT_EQ(events_lost(nullptr), 1);
    seam::RefreshLogWindow();
    seam::LogWindowRows("", "", &status);
    EXPECT_NE(status.find("1 events lost since "), std::string::npos) << status;
    fs::remove(dir.path("pavro-events.log"));
    event_log("end", "written again");
    EXPECT_EQ(events_lost(nullptr), 0);
    seam::CloseLogWindow();
}

}  // namespace
