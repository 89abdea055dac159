#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "planewright/planewright.h"

namespace {

const std::string kLibrary = std::string(KZ_BIN_DIR) + "/" + PLANEWRIGHT_LIBRARY_FILE;

std::string OutputOf(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get())) {
        output += buffer;
    }
    return output;
}

TEST(PlanewrightLibrary, ExportsRgb2YuvAndNothingElse) {
    // lines: address, type, name
    std::istringstream lines(OutputOf("nm -D --defined-only " + kLibrary));
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
    std::istringstream lines(OutputOf("ldd " + kLibrary));
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
