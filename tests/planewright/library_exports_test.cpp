#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "planewright/planewright.h"
#include "tests/support/run_command.h"

namespace {

const std::string kLibrary = std::string(KZ_BIN_DIR) + "/" + PLANEWRIGHT_LIBRARY_FILE;

TEST(PlanewrightLibrary, ExportsRgb2YuvAndNothingElse) {
    // lines: address, type, name
    std::istringstream lines(CommandOutput("nm -D --defined-only " + kLibrary).Output);
    std::set<std::string> names;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            names.insert(name);
        }
    }
    EXPECT_EQ(names, std::set<std::string>{PLANEWRIGHT_EXPORT_NAME});
}

TEST(PlanewrightLibrary, DependsOnlyOnTheCRuntime) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer builds link their runtimes into the library";
#endif
    std::istringstream lines(CommandOutput("ldd " + kLibrary).Output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        ++count;
        EXPECT_TRUE(name == "linux-vdso.so.1" || name == "libc.so.6" ||
                    name.find("/ld-linux") != std::string::npos)
            << line;
    }
    EXPECT_GE(count, 2);
}

}  // namespace
