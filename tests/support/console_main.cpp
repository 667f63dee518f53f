#include <gtest/gtest.h>

#include "platform/platform.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    platform::install(platform::makeConsoleBackend());
    return RUN_ALL_TESTS();
}
