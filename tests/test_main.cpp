// SPDX-License-Identifier: GPL-3.0-or-later
// Test main: the run-time starts offscreen with popups answered from the script.
#include "testing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A test that ends the process (the program's exit paths call exit) must not pass for it:
// outside a death test's child, an exit while a test runs is a failure.
bool testRunning = false;

class RunningTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { testRunning = true; }
    void OnTestEnd(const ::testing::TestInfo&) override { testRunning = false; }
};

void exitDuringTest() {
    if (testRunning && !::testing::internal::InDeathTestChild()) {
        std::fprintf(stderr, "FAILED: the process ended in the middle of a test\n");
        std::_Exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new RunningTest);
    std::atexit(exitDuringTest);
    seam::Init(argc, argv);
    return RUN_ALL_TESTS();
}
