#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform.h"

// The leak checker of the sanitizer build: fontconfig keeps its parsed
// configuration to the end of the process, by design.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    // gtest_discover_tests runs the binary without the test environment, so
    // the offscreen platform is chosen here, before the application exists.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    platform::install(platform::makeQtBackend(argc, argv));
    return RUN_ALL_TESTS();
}
