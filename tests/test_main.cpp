// Test main: the run-time starts offscreen with popups answered from the script.
#include "testing.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    seam::Init(argc, argv);
    return RUN_ALL_TESTS();
}
