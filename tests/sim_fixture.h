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

using Commands = std::vector<std::string>;

inline const Commands kSettingsRead = {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "t12", "d1", "d2", "d3"};
inline const Commands kPoll = {"u1", "u2", "u3", "u4", "u5", "u6", "m2"};

inline Commands concat(Commands a, const Commands& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
