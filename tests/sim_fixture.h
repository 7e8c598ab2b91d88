// SPDX-License-Identifier: GPL-3.0-or-later
// The program in-process against the module simulator on a real pty at ports/com1.
#pragma once

#include "fixture.h"
#include "sim.h"

#include <algorithm>

class ModuleTest : public ProgramTest {
protected:
    sim::Simulator module;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(module.start(dir.path("ports/com1")));
    }
    void TearDown() override { module.stop(); }

    // Confirms port 1 as the operator does, then forgets what that sent.
    void connect() {
        seam::Type(p4, P4_PORT, "1");
        module.clearCommands();
    }
    void poll() { seam::Tick(p1, P1_TIMER); }
    std::vector<std::string> sent() {
        auto c = module.commands();
        module.clearCommands();
        return c;
    }
    std::string status() { return seam::Text(p1, P1_STATUS); }
    double value(int ctrl) {
        double v = 0;
        GetCtrlVal(p1, ctrl, &v);
        return v;
    }
};

// The recorder panel shown, port 1 confirmed, the clock virtual from 1000 s.
class RecorderTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        connect();
        seam::UseVirtualTime(true);
        seam::SetTime(1000.0);
        stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    }
    void TearDown() override {
        seam::AnswerPort(1, nullptr);
        seam::UseVirtualTime(false);
        ModuleTest::TearDown();
    }
    // The module answered in-process from now on, with `reading`: a test of what is drawn
    // must not depend on a reply arriving in time on a busy machine.
    double reading = 0.0;
    void answerInProcess() {
        seam::AnswerPort(1, [this](const std::string&) {
            char r[40];
            Fmt(r, "M=%f%c", reading, 13);
            return std::string(r);
        });
    }
};

using Commands = std::vector<std::string>;

inline const Commands kSettingsRead = {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "t12", "d1", "d2", "d3"};
inline const Commands kPoll = {"u1", "u2", "u3", "u4", "u5", "u6", "m2"};

inline Commands concat(Commands a, const Commands& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
