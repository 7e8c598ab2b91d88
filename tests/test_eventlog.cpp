// SPDX-License-Identifier: GPL-3.0-or-later
// The event log: its line form, escaping and reading back, rotation, events lost while it
// could not be written, and the events of a real run against the module simulator.
#include "eventlog.h"
#include "sim_fixture.h"

#include <regex>

namespace {

struct Event {
    std::string time, kind, details;
};

std::vector<Event> read_log(const std::string& path) {
    std::vector<Event> out;
    std::ifstream f(path, std::ios::binary);
    for (std::string l; std::getline(f, l);) {
        l += '\n';
        char t[64], k[64], d[8192];
        if (!event_parse(l.data(), l.size(), t, sizeof t, k, sizeof k, d, sizeof d)) {
            ADD_FAILURE() << "unreadable line: " << l;
            continue;
        }
        out.push_back({t, k, d});
    }
    return out;
}

TEST(EventLine, EscapesWhatIsNoPlainTextAndReadsBackAsTheEvent) {
    const std::string details = std::string("reply \x07\tM=\r\n\x01 caf\xc3\xa9 back\\slash \xff end");
    char line[512];
    std::size_t n = event_line(line, sizeof line, "2026-12-10T14:32:05.123+01:00", "link-lost", details.c_str());
    ASSERT_GT(n, 0u);
    std::string text(line, n);
    EXPECT_EQ(text, "2026-12-10T14:32:05.123+01:00\tlink-lost\treply \\x07\\x09M=\\x0d\\x0a\\x01 caf\\xc3\\xa9 "
                    "back\\\\slash \\xff end\n");
    char t[64], k[64], d[256];
    ASSERT_TRUE(event_parse(line, n, t, sizeof t, k, sizeof k, d, sizeof d));
    EXPECT_STREQ(t, "2026-12-10T14:32:05.123+01:00");
    EXPECT_STREQ(k, "link-lost");
    EXPECT_EQ(std::string(d), details);
    // A kind that is no lower-case word is not taken as it stands; a line cut short is no event.
    n = event_line(line, sizeof line, "t", "Bad\tKind", "x");
    EXPECT_EQ(std::string(line, n), "t\tunknown\tx\n");
    EXPECT_FALSE(event_parse(line, n - 1, t, sizeof t, k, sizeof k, d, sizeof d));
    EXPECT_EQ(event_line(line, 8, "t", "kind", "too long for it"), 0u);
}

class EventLog : public ModuleTest {
protected:
    std::vector<Event> events() { return read_log(dir.path("pavro-events.log")); }
    std::vector<Event> of(const std::string& kind) {
        std::vector<Event> out;
        for (const Event& e : events())
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

TEST_F(EventLog, EveryLineHasItsClockTimeAndTheRunsEventsAreThere) {
    std::vector<Event> start = of("start");
    ASSERT_EQ(start.size(), 1u);
    EXPECT_TRUE(std::regex_match(start[0].time, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
        << start[0].time;
    EXPECT_NE(start[0].details.find("version=0.1.0 folder=" + dir.path("").substr(0, dir.path("").size() - 1)),
              std::string::npos)
        << start[0].details;
    EXPECT_NE(start[0].details.find(" user="), std::string::npos);

    connect();
    ASSERT_EQ(of("port").size(), 1u);
    EXPECT_NE(of("port")[0].details.find("number=1 device="), std::string::npos);
    EXPECT_NE(of("port")[0].details.find(" opened"), std::string::npos);
    ASSERT_EQ(of("settings-read").size(), 1u);
    EXPECT_NE(of("settings-read")[0].details.find("word=49 "), std::string::npos) << of("settings-read")[0].details;

    // The module stops answering, then answers again: lost once, restored once.
    sim::Fault silent;
    silent.silent = true;
    module.setFault("*", silent);
    poll();
    poll();
    module.clearFaults();
    ASSERT_TRUE(module.waitIdle(3.0));
    poll();
    ASSERT_EQ(of("link-lost").size(), 1u);
    EXPECT_EQ(of("link-lost")[0].details, "command=u1 error=-99");
    ASSERT_EQ(of("link-restored").size(), 1u);

    // A settings write: each field before and after, and the read-back.
    seam::Commit(p1, P1_GO);
    SetCtrlVal(p1, P1_D1, 20.0);
    seam::Commit(p1, P1_SAVE);
    ASSERT_EQ(of("settings-written").size(), 1u);
    std::string w = of("settings-written")[0].details;
    EXPECT_EQ(w.rfind("D1 15.000000 -> 20.000000; D2 200.000000 -> 200.000000;", 0), 0u) << w;
    EXPECT_NE(w.find("read back: as sent"), std::string::npos) << w;

    // The zero point confirmed, then refused.
    poll();
    seam::AnswerConfirm(1);
    seam::Commit(p1, P1_ZERO_RESET);
    seam::AnswerConfirm(0);
    seam::Commit(p1, P1_ZERO_ADJUST);
    ASSERT_EQ(of("zero-reset").size(), 1u);
    EXPECT_NE(of("zero-reset")[0].details.find("answer=yes outcome=done"), std::string::npos);
    ASSERT_EQ(of("zero-adjust").size(), 1u);
    EXPECT_NE(of("zero-adjust")[0].details.find("answer=no outcome=not sent"), std::string::npos);

    // A recording to a file, started and stopped.
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::AnswerFileSelect(2, dir.path("run1.dat"));
    seam::Commit(psc, PSC_IDLE_CTRL);
    seam::Tick(psc, PSC_TIMER);
    seam::Commit(psc, PSC_STOP);
    ASSERT_EQ(of("recording-start").size(), 1u);
    EXPECT_EQ(of("recording-start")[0].details,
              "file=" + dir.path("run1.dat") + " interval_s=1.000000 display_mode=1 unit=ppm");
    ASSERT_EQ(of("recording-stop").size(), 1u);
    EXPECT_EQ(of("recording-stop")[0].details, "file=" + dir.path("run1.dat") + " samples=2 ended_by=stop");
    // Nothing per reading: the polls left no line of their own.
    for (const Event& e : events()) EXPECT_NE(e.kind, "reading");
}

TEST_F(EventLog, APassedSizeMovesTheLogsUpAndKeepsFiveOlderOnes) {
    for (int n = 1; n <= 5; ++n) dir.write("pavro-events." + std::to_string(n) + ".log", "old " + std::to_string(n) + "\n");
    std::string full = dir.read("pavro-events.log");
    full.resize(static_cast<std::size_t>(kEventLogMax) - 20, 'x');
    full += "\n";
    dir.write("pavro-events.log", full);
    event_log("end", "one more");
    EXPECT_EQ(dir.read("pavro-events.1.log").size(), full.size());
    EXPECT_EQ(dir.read("pavro-events.2.log"), "old 1\n");
    EXPECT_EQ(dir.read("pavro-events.5.log"), "old 4\n");
    EXPECT_FALSE(fs::exists(dir.path("pavro-events.6.log")));
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].details, "one more");
}

TEST_F(EventLog, EventsThatCouldNotBeWrittenAreCountedAndTheNextLineSaysSince) {
    fs::remove(dir.path("pavro-events.log"));
    fs::create_directory(dir.path("pavro-events.log"));  // no file can be appended there
    event_log("alarm-raised", "first");
    event_log("alarm-cleared", "second");
    const char* since = nullptr;
    EXPECT_EQ(events_lost(&since), 2);
    EXPECT_NE(std::string(since), "");
    fs::remove(dir.path("pavro-events.log"));
    event_log("alarm-raised", "third");
    auto e = events();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].kind, "events-lost");
    EXPECT_EQ(e[0].details, std::string("2 events lost since ") + since + ": the log could not be written");
    EXPECT_EQ(e[1].details, "third");
    EXPECT_EQ(events_lost(nullptr), 0);
}

}  // namespace
