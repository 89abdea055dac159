// The window suites run inside one application object, on the offscreen platform unless the
// caller chose another (the Xvfb run sets QT_QPA_PLATFORM=xcb).

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/kestrova_application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    TKestrovaApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
