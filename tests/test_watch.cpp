// SPDX-License-Identifier: GPL-3.0-or-later
// The watch in the program against the module simulator: limits raised and cleared by real
// polls, the no-reading alarm and its reasons, acknowledgement, the chart's limits, the
// settings file and the dialog.
#include "feed.h"
#include "settings.h"
#include "sim_fixture.h"
#include "watch.h"

#include <regex>
#include <sys/stat.h>

namespace {

std::vector<std::string> events;  // "kind: details" of every event since the program started
void capture(const char* kind, const char* details) { events.push_back(std::string(kind) + ": " + details); }

std::vector<std::string> kinds(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : events)
        if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(0, e.find(':')));
    return out;
}

class Watch : public ModuleTest {
protected:
    // The program started anew with this watch file beside it.
    void restart(const std::string& watchFile) {
        dir.write("pavro-watch.ini", watchFile);
        start_program();
        events.clear();
        feed_on_event(capture);
    }
    std::string line() { return watch_text(); }
    int colour() { return seam::Color(p1, P1_ALARM); }
    void polls(int n) {
        for (int i = 0; i < n; ++i) poll();
    }
};

const std::regex kHigh(R"(HIGH 2[45](\.\d+)? ppm > 20 ppm since \d\d:\d\d:\d\d)");

TEST_F(Watch, WithoutALimitThePanelsAreAsEverAndNothingIsRaised) {
    EXPECT_EQ(seam::PanelHeight(p1), 540);
    EXPECT_EQ(seam::PanelHeight(psc), 710);
    EXPECT_FALSE(seam::Visible(p1, P1_ALARM));
    EXPECT_FALSE(seam::Visible(psc, PSC_ACK));
    restart("[alarm]\nppm_high=\nno_reading_s=1\n");
    EXPECT_EQ(seam::PanelHeight(p1), 540);
    connect();
    module.setReading(500);
    polls(2);
    watch_tick();
    EXPECT_EQ(line(), "");
    EXPECT_TRUE(kinds("alarm").empty());
}

TEST_F(Watch, AReadingAcrossTheHighLimitRaisesAfterNAndClearsWithTheHysteresis) {
    restart("[alarm]\nppm_high=20\nreadings=2\nhysteresis=2\n");
    EXPECT_EQ(seam::PanelHeight(p1), 588);
    EXPECT_TRUE(seam::Visible(p1, P1_ALARM));
    EXPECT_TRUE(seam::Visible(psc, PSC_ACK));
    connect();
    module.setReading(15);
    poll();
    module.setReading(25);
    poll();
    EXPECT_EQ(line(), "");
    EXPECT_EQ(colour(), 0xE3E8EC);
    poll();
    EXPECT_TRUE(std::regex_match(line(), kHigh)) << line();
    EXPECT_EQ(seam::Label(p1, P1_ALARM), line());
    EXPECT_EQ(seam::Label(psc, PSC_ALARM), line());
    EXPECT_EQ(colour(), 0xC62828);
    EXPECT_EQ(limit_alarm.state, kAlarmHigh);
    module.setReading(19);  // inside the limit, not by the hysteresis
    polls(3);
    EXPECT_EQ(limit_alarm.state, kAlarmHigh);
    module.setReading(15);
    poll();
    EXPECT_EQ(limit_alarm.state, kAlarmHigh);
    poll();
    EXPECT_EQ(line(), "");
    EXPECT_EQ(kinds("alarm"), std::vector<std::string>({"alarm-raised", "alarm-cleared"}));
    // The watch sends nothing of its own: eight polls, nothing else.
    Commands expected;
    for (int i = 0; i < 8; ++i) expected = concat(expected, kPoll);
    EXPECT_EQ(sent(), expected);
}

TEST_F(Watch, AFailedReadingNeitherRaisesNorClears) {
    restart("[alarm]\nppm_high=20\nreadings=2\n");
    connect();
    module.setReading(25);
    poll();
    sim::Fault x;
    x.letter = 'x';
    module.setFault("m2", x);  // the poll's main reading becomes 0: no measurement
    poll();
    module.clearFaults();
    poll();
    EXPECT_EQ(limit_alarm.state, kAlarmHigh) << "the failed reading did not break the run";
    module.setFault("m2", x);
    polls(3);
    EXPECT_EQ(limit_alarm.state, kAlarmHigh) << "zeros that are no readings do not clear it";
}

TEST_F(Watch, NoValidReadingForTSecondsRaisesNoReadingAndSaysWhy) {
    seam::UseVirtualTime(true);
    seam::SetTime(100);
    seam::ForgetPorts();
    restart("[alarm]\nppm_high=20\nno_reading_s=10\n");
    seam::SetTime(109.5);
    watch_tick();
    EXPECT_EQ(line(), "");
    seam::SetTime(110);
    watch_tick();
    EXPECT_TRUE(std::regex_match(line(), std::regex(R"(NO READING for 10 s since \d\d:\d\d:\d\d: )"
                                                    R"(the serial port is not connected)")))
        << line();
    EXPECT_EQ(colour(), 0xC62828);

    connect();
    module.setReading(10);
    poll();
    EXPECT_EQ(line(), "");

    // A recording started and stopped: live polling stays off.
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    seam::Commit(psc, PSC_STOP);
    seam::SetTime(Timer() + 10);
    watch_tick();
    EXPECT_NE(line().find("live readings are off since the recording stopped: Re-synchronise"), std::string::npos)
        << line();

    // Polling again, but the module does not answer: the reason follows.
    seam::Commit(p1, P1_GO);
    sim::Fault silent;
    silent.silent = true;
    module.setFault("*", silent);
    poll();
    watch_tick();
    EXPECT_NE(line().find("no answer from the module"), std::string::npos) << line();
    EXPECT_EQ(kinds("alarm"), std::vector<std::string>({"alarm-raised", "alarm-cleared", "alarm-raised"}));
    seam::UseVirtualTime(false);
}

TEST_F(Watch, AcknowledgeHoldsAnAlarmAndEndsALatchedOneThatIsBackInside) {
    restart("[alarm]\nppm_low=5\nlatching=true\n");
    connect();
    module.setReading(2);
    poll();
    EXPECT_EQ(line().rfind("LOW 2", 0), 0u) << line();
    module.setReading(10);
    poll();
    EXPECT_NE(line().find("(back inside: acknowledge to clear)"), std::string::npos) << line();
    EXPECT_EQ(colour(), 0xF0A800);
    seam::Commit(psc, PSC_ACK);
    EXPECT_EQ(line(), "");
    EXPECT_EQ(kinds("alarm"), std::vector<std::string>({"alarm-raised", "alarm-ack", "alarm-cleared"}));

    // Acknowledged while still beyond: held, and it ends by itself once back inside.
    module.setReading(2);
    poll();
    seam::Commit(p1, P1_ACK);
    EXPECT_NE(line().find("(acknowledged)"), std::string::npos) << line();
    EXPECT_EQ(colour(), 0xF0A800);
    seam::Commit(p1, P1_ACK);  // nothing more to acknowledge
    module.setReading(10);
    poll();
    EXPECT_EQ(line(), "");
    EXPECT_EQ(kinds("alarm").size(), 6u);
}

TEST_F(Watch, TheChartDrawsTheLimitsOfTheReadingsUnitAndNoneForAViewedFile) {
    restart("[alarm]\nppm_high=20\nppm_low=2\nmv_high=500\n");
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    EXPECT_TRUE(seam::GraphLevels(psc, PSC_GRAPH).empty()) << "the unit is not known yet";
    connect();
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    auto levels = seam::GraphLevels(psc, PSC_GRAPH);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].y, 20);
    EXPECT_EQ(levels[0].text, "high 20 ppm");
    EXPECT_EQ(levels[1].text, "low 2 ppm");
    seam::Commit(psc, PSC_STOP);

    dir.write("old.dat", " 0.0\t1.0000000E+01 \n 1.0\t1.2000000E+01 \n");
    seam::AnswerFileSelect(1, dir.path("old.dat"));
    seam::Commit(psc, PSC_LOAD);
    EXPECT_TRUE(seam::GraphLevels(psc, PSC_GRAPH).empty());

    // The module saved in mV: its limits, from the next recording on.
    SetCtrlVal(p1, P1_MODE, 2);
    seam::Commit(p1, P1_SAVE);
    EXPECT_EQ(feed_unit(), kFeedMv);
    seam::AnswerFileSelect(0, "");
    seam::Commit(psc, PSC_IDLE_CTRL);
    levels = seam::GraphLevels(psc, PSC_GRAPH);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].text, "high 500 mV");
}

// ----- settings file and dialog -----------------------------------------------------------

TEST_F(Watch, TheDialogWritesItsGroupAndKeepsEveryOtherLine) {
    const std::string others = "# provisioned\n[mqtt]\nhost=broker.example\nport=1883\n";
    fs::create_directories(dir.path("etc"));
    std::ofstream(dir.path("etc/watch.ini")) << others + "\n[alarm]\nppm_high=99\n";
    fs::create_symlink(dir.path("etc/watch.ini"), dir.path("pavro-watch.ini"));
    start_program();
    EXPECT_EQ(watch_rules.ppm.high, 99);
    seam::AnswerForm({{"High limit, ppm", "20.5"}, {"Low limit, mV", "-3"}, {"Readings in a row", "3"},
                      {"Latching: stays raised until acknowledged", "1"}, {"No reading after [s]", "30"}},
                     true);
    grenzen(m1, MENUBAR_WATCH_LIMITS, nullptr, p1);
    EXPECT_TRUE(fs::is_symlink(dir.path("pavro-watch.ini")));
    EXPECT_EQ(dir.read("etc/watch.ini"), "[alarm]\nppm_high=20.5\nppm_low=\nmv_high=\nmv_low=-3\nreadings=3\n"
                                         "hysteresis=0\nlatching=true\nno_reading_s=30\nsound=true\n\n[General]\n" +
                                             others + "\n");
    EXPECT_FALSE(fs::exists(dir.path("etc/watch.ini.new")));
    // Read back as it was applied.
    WatchRules applied = watch_rules;
    start_program();
    EXPECT_EQ(watch_rules.ppm.high, applied.ppm.high);
    EXPECT_TRUE(watch_rules.mv.hasLow);
    EXPECT_FALSE(watch_rules.ppm.hasLow);
    EXPECT_EQ(watch_rules.readings, 3);
    EXPECT_TRUE(watch_rules.latching);
    EXPECT_EQ(watch_rules.noReadingS, 30);
    EXPECT_STREQ(watch_file_problem(), "");
    // The settings line is no business of the watch.
    EXPECT_FALSE(fs::exists(dir.path("pavro.ini")));
}

TEST_F(Watch, TheDialogSaysWhatIsWrongAndKeepsTheOldSettings) {
    restart("[alarm]\nppm_high=20\n");
    struct Case {
        std::map<std::string, std::string> fields;
        const char* says;
    };
    const Case cases[] = {
        {{{"High limit, ppm", "2O"}}, "High limit, ppm: not a number (leave it empty for no limit)."},
        {{{"High limit, ppm", "20,5"}}, "High limit, ppm: not a number (leave it empty for no limit)."},
        {{{"Low limit, ppm", "30"}}, "The low limit in ppm lies above the high limit."},
        {{{"High limit, mV", "1"}, {"Low limit, mV", "2"}}, "The low limit in mV lies above the high limit."},
        {{{"No reading after [s]", "-1"}}, "The time without a reading must not be negative."},
        {{{"Readings in a row", "0"}}, "Readings in a row: a whole number from 1 to 1000."},
        {{{"Readings in a row", "2.5"}}, "Readings in a row: a whole number from 1 to 1000."},
        {{{"Hysteresis", "-0.5"}}, "The hysteresis must not be negative."},
        {{{"Hysteresis", "inf"}}, "Hysteresis: not a number."},
    };
    const std::string before = dir.read("pavro-watch.ini");
    for (const Case& c : cases) {
        seam::AnswerForm(c.fields, true);
        grenzen_dialog();
        auto shown = seam::TakePopups();
        ASSERT_EQ(shown.size(), 2u) << c.says;
        EXPECT_EQ(shown[1].text, c.says);
        EXPECT_EQ(watch_rules.ppm.high, 20);
        EXPECT_FALSE(watch_rules.ppm.hasLow);
        EXPECT_EQ(dir.read("pavro-watch.ini"), before);
    }
    // Cancel changes nothing either.
    seam::AnswerForm({{"High limit, ppm", ""}}, false);
    grenzen_dialog();
    EXPECT_TRUE(watch_rules.ppm.hasHigh);
    EXPECT_EQ(seam::LastForm()[""].rfind("The unit of the readings is not known", 0), 0u);
    connect();
    seam::AnswerForm({}, false);
    grenzen_dialog();
    EXPECT_EQ(seam::LastForm()[""].rfind("The readings are in ppm", 0), 0u);
}

TEST_F(Watch, AFaultyFileIsUsedWhereItReadsAndNamedOnceAndNeverStopsTheProgram) {
    restart("[alarm]\nppm_high=abc\nmv_high=400\nreadings=2.5\nlatching=perhaps\nsound=false\n");
    EXPECT_FALSE(watch_rules.ppm.hasHigh);
    EXPECT_EQ(watch_rules.mv.high, 400);
    EXPECT_EQ(watch_rules.readings, 1);
    EXPECT_FALSE(watch_rules.latching);
    EXPECT_FALSE(watch_rules.sound);
    std::string problem = watch_file_problem();
    EXPECT_NE(problem.find(dir.path("pavro-watch.ini")), std::string::npos) << problem;
    for (const char* key : {"ppm_high", "readings", "latching"})
        EXPECT_NE(problem.find(key), std::string::npos) << key;
    EXPECT_EQ(problem.find("mv_high"), std::string::npos);
    EXPECT_EQ(kinds("watch-settings").size(), 0u) << "said at start, before this test listened";

    restart("[alarm]\nppm_low=9\nppm_high=3\n");
    EXPECT_FALSE(rules_armed(watch_rules));
    EXPECT_NE(std::string(watch_file_problem()).find("ppm_low lies above the high limit"), std::string::npos);

    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
    restart(garbage);
    EXPECT_FALSE(rules_armed(watch_rules));

    fs::remove(dir.path("pavro-watch.ini"));
    fs::create_directory(dir.path("pavro-watch.ini"));
    start_program();
    EXPECT_NE(std::string(watch_file_problem()).find("is not all readable"), std::string::npos);
    EXPECT_TRUE(seam::PanelVisible(p1));
}

TEST(WatchNumbers, TakeOnlyPlainNumbersAndWriteThemBackExactly) {
    double v = 0;
    for (const char* good : {"20", " 20.5 ", "-3", "+4", "1e-6", ".5", "5."}) EXPECT_TRUE(number_from_text(good, &v)) << good;
    for (const char* bad : {"", " ", "2O", "20,5", "inf", "nan", "-inf", "0x10", "+-1", "1 2", "1e999"})
        EXPECT_FALSE(number_from_text(bad, &v)) << bad;
    for (double x : {20.0, 0.1, -3.25, 1e-6, 123456789.125}) {
        char t[32];
        number_text(x, t, sizeof t);
        ASSERT_TRUE(number_from_text(t, &v));
        EXPECT_EQ(v, x);
    }
}

}  // namespace
