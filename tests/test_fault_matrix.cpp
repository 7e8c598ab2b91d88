// SPDX-License-Identifier: GPL-3.0-or-later
// Every operation against every fault of the module: the reaction its site prescribes, and a
// program that works again once the module does.
#include "sim_fixture.h"

#include <functional>

namespace {

enum class Outcome { Works, LinkFailure, Mismatch };

// How an operation examines its replies: not at all, by the first letter (the live poll and
// the recorder sample), or by their echo (every operation that reads the settings).
enum class Examines { Nothing, Letter, Echo };

struct Operation {
    const char* name;
    Examines examines;
    std::function<void()> run;
    // What the panels show after the operation for each outcome.
    std::function<void(Outcome)> check;
};

struct FaultCase {
    const char* name;
    sim::Fault fault;
    int hangupReturn;  // 0 no hang-up; 1 hang up for good; 2 hang up and come back
};

sim::Fault make(bool silent, double delay, char letter, bool overlong, bool nocr, bool garbage) {
    sim::Fault f;
    f.silent = silent;
    f.delay = delay;
    f.letter = letter;
    f.overlong = overlong;
    f.noCR = nocr;
    f.garbage = garbage;
    return f;
}

const FaultCase kFaults[] = {
    {"Silence", make(true, 0, 0, false, false, false), 0},
    {"Delay04", make(false, 0.4, 0, false, false, false), 0},
    {"WrongLetter", make(false, 0, 'x', false, false, false), 0},
    {"Overlong", make(false, 0, 0, true, false, false), 0},
    {"NoCR", make(false, 0, 0, false, true, false), 0},
    {"Garbage", make(false, 0, 0, false, false, true), 0},
    {"HangUp", {}, 1},
    {"HangUpAndReturn", {}, 2},
};

// The outcome a fault on every reply gives an operation.
Outcome expected(const FaultCase& f, Examines examines) {
    if (f.hangupReturn || f.fault.silent || f.fault.noCR) return Outcome::LinkFailure;
    bool wrongForm = f.fault.letter || f.fault.garbage;
    if (wrongForm && examines == Examines::Letter) return Outcome::Mismatch;
    if (wrongForm && examines == Examines::Echo) return Outcome::LinkFailure;  // no echo: a failed read
    return Outcome::Works;
}

class FaultMatrix : public ModuleTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        connect();
        seam::UseVirtualTime(true);  // the zero point's one-second wait passes at once
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    }
    void TearDown() override {
        seam::UseVirtualTime(false);
        ModuleTest::TearDown();
    }
    void startRecording() {
        seam::AnswerFileSelect(0, "");
        seam::Commit(psc, PSC_IDLE_CTRL);
        seam::Commit(psc, PSC_STOP);
        plot = 1;  // sampling on, without the start's own sample
    }
    std::vector<Operation> operations();
};

std::vector<Operation> FaultMatrix::operations() {
    auto link = [this](const char* failText) {
        return [this, failText](Outcome o) { EXPECT_EQ(status(), o == Outcome::LinkFailure ? failText : "ok"); };
    };
    return {
        {"Connect", Examines::Echo, [] { seam::Type(p4, P4_PORT, "1"); }, link("NO CONNECTION")},
        {"ReSynchronise", Examines::Echo, [] { seam::Commit(p1, P1_GO); }, link("NO CONNECTION")},
        {"LivePoll", Examines::Letter, [this] { poll(); },
         [this](Outcome o) {
             if (o == Outcome::LinkFailure) {
                 EXPECT_EQ(status(), "NO CONNECTION");
                 EXPECT_EQ(seam::Text(p1, P1_BUSY), "1");
             } else {
                 EXPECT_EQ(status() == "ok", o == Outcome::Works) << status();
                 EXPECT_EQ(fehlx, o == Outcome::Works ? 0 : 1);
                 EXPECT_EQ(seam::Text(p1, P1_BUSY), "0");
             }
         }},
        {"SettingsRead", Examines::Echo, [] { holset(); }, link("NO CONNECTION")},
        // The write's replies are not examined, but its closing read's are.
        {"SettingsWrite", Examines::Echo, [] { seam::Commit(p1, P1_SAVE); }, link("NO CONNECTION")},
        {"ZeroReset", Examines::Nothing,
         [] {
             seam::AnswerConfirm(1);
             seam::Commit(p1, P1_ZERO_RESET);
         },
         link("ERROR NO CONNECT")},
        {"ZeroAdjust", Examines::Nothing,
         [] {
             seam::AnswerConfirm(1);
             seam::Commit(p1, P1_ZERO_ADJUST);
         },
         link("NO CONNECT")},
        {"RecorderSample", Examines::Letter,
         [this] {
             startRecording();
             seam::Tick(psc, PSC_TIMER);
         },
         [this](Outcome o) {
             std::string v = seam::Text(psc, PSC_VALUE);
             if (o == Outcome::LinkFailure)
                 EXPECT_EQ(v, "NO CONNECTION");
             else if (o == Outcome::Mismatch)
                 EXPECT_EQ(v.substr(0, 2), "* ");
             else
                 EXPECT_NE(v.find("ppm O2"), std::string::npos) << v;
         }},
    };
}

const char* const kOperationNames[] = {"Connect",       "ReSynchronise", "LivePoll",   "SettingsRead",
                                       "SettingsWrite", "ZeroReset",     "ZeroAdjust", "RecorderSample"};

TEST_P(FaultMatrix, GivesThePrescribedReactionAndWorksAgainAfterwards) {
    auto [opIndex, faultIndex] = GetParam();
    Operation op = operations()[static_cast<std::size_t>(opIndex)];
    const FaultCase& f = kFaults[faultIndex];
    if (op.name == std::string("Connect")) {
        // A fresh start, the fault in place before the port is confirmed.
        start_program();
        module.clearCommands();
    }
    if (f.hangupReturn)
        module.hangUpAfter(1, f.hangupReturn == 2 ? 0.3 : -1.0);  // at the first command
    else
        module.setFault("*", f.fault);
    op.run();
    op.check(expected(f, op.examines));

    // The module works again: late replies drain, a pulled adapter is plugged back.
    module.clearFaults();
    plot = 0;
    ASSERT_TRUE(module.waitIdle(3.0));
    if (f.hangupReturn == 1) {
        module.stop();
        ASSERT_TRUE(module.start(dir.path("ports/com1")));
    }
    seam::Commit(p1, P1_GO);
    poll();
    EXPECT_EQ(status(), "ok");
    EXPECT_FALSE(seam::Dimmed(p1, P1_SAVE));
    EXPECT_EQ(fehlx, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryOperationAndFault, FaultMatrix,
                         ::testing::Combine(::testing::Range(0, 8), ::testing::Range(0, 8)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& p) {
                             return std::string(kOperationNames[std::get<0>(p.param)]) + "_" +
                                    kFaults[std::get<1>(p.param)].name;
                         });

}  // namespace
