#include "settings/event_log_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/environment_variable.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// The user a test run as root gives way to, for whom a folder without write permission is one.
constexpr uid_t Nobody = 65534;

// ChooseEventLogFolder as an ordinary user sees it. Root may write into any folder, so a run
// as root asks in a child process that has dropped root.
std::string ChooseAsUser(const std::string& programPath) {
    if (geteuid() != 0) return ChooseEventLogFolder(programPath);
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setresgid(Nobody, Nobody, Nobody) != 0 || setresuid(Nobody, Nobody, Nobody) != 0)
            _exit(2);
        const std::string folder = ChooseEventLogFolder(programPath);
        _exit(write(fds[1], folder.data(), folder.size()) == ssize_t(folder.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string folder;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) folder.append(buffer, n);
    close(fds[0]);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    return folder;
}

enum class tPortable { Absent, Writable, ReadOnly, FileInTheWay };

// A program in bin/ of a fresh folder, with state/ and home/ that the user may fill and a
// file state/blocked that no folder can be made in.
class tProgramTree {
  public:
    explicit tProgramTree(tPortable portable) {
        fs::permissions(FTemp.Path(), fs::perms(0755));
        for (const char* folder : {"/bin", "/state", "/home"}) {
            fs::create_directory(Path(folder));
            fs::permissions(Path(folder), fs::perms(0777));
        }
        fs::permissions(Path("/bin"), fs::perms(0755));
        std::ofstream(Path("/state/blocked")) << "in the way";
        if (portable == tPortable::FileInTheWay) std::ofstream(Path("/bin/logs")) << "in the way";
        if (portable == tPortable::Writable || portable == tPortable::ReadOnly) {
            fs::create_directory(Path("/bin/logs"));
            fs::permissions(Path("/bin/logs"),
                            fs::perms(portable == tPortable::Writable ? 0777 : 0555));
        }
    }

    std::string Path(const std::string& below) const { return FTemp.Path() + below; }
    std::string Program() const { return Path("/bin/kestrova_zizizada"); }

  private:
    TTempFolder FTemp;
};

// Whatever a test does, nothing lands in the real user's state folder.
class EventLogFolderTest : public ::testing::Test {
  protected:
    TEnvironmentVariable FStateHome{"XDG_STATE_HOME"};
    TEnvironmentVariable FHome{"HOME"};
};

TEST_F(EventLogFolderTest, PortableFolderWhenWritableElseTheStateFolder) {
    struct TCase {
        const char* Name;
        tPortable Portable;
        std::optional<std::string> StateHome;  // below the test folder unless it is relative
        bool HomeSet;
        std::string Expected;  // below the test folder; empty: no folder at all
    };
    const TCase cases[] = {
        {"portable, state set", tPortable::Writable, "/state", true, "/bin/logs/"},
        {"portable, state unset", tPortable::Writable, std::nullopt, true, "/bin/logs/"},
        {"read-only, state set", tPortable::ReadOnly, "/state", true,
         "/state/kestrova-zizizada/logs/"},
        {"read-only, state unset", tPortable::ReadOnly, std::nullopt, true,
         "/home/.local/state/kestrova-zizizada/logs/"},
        {"absent, state set", tPortable::Absent, "/state", true, "/state/kestrova-zizizada/logs/"},
        {"absent, state unset", tPortable::Absent, std::nullopt, true,
         "/home/.local/state/kestrova-zizizada/logs/"},
        {"absent, state relative", tPortable::Absent, "state", true,
         "/home/.local/state/kestrova-zizizada/logs/"},
        {"a file named logs", tPortable::FileInTheWay, "/state", true,
         "/state/kestrova-zizizada/logs/"},
        {"absent, no state and no home", tPortable::Absent, std::nullopt, false, ""},
        {"absent, state cannot be made", tPortable::Absent, "/state/blocked", true, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const tProgramTree tree(c.Portable);
        if (!c.StateHome)
            FStateHome.Unset();
        else
            FStateHome.Set(c.StateHome->front() == '/' ? tree.Path(*c.StateHome) : *c.StateHome);
        c.HomeSet ? FHome.Set(tree.Path("/home")) : FHome.Unset();

        const std::string chosen = ChooseAsUser(tree.Program());
        EXPECT_EQ(chosen, c.Expected.empty() ? "" : tree.Path(c.Expected));
        if (!c.Expected.empty()) {
            EXPECT_TRUE(fs::is_directory(chosen));
        }
        // The folder beside the program is used, never made.
        if (c.Portable == tPortable::Absent) {
            EXPECT_FALSE(fs::exists(tree.Path("/bin/logs")));
        }
    }
}

TEST_F(EventLogFolderTest, MissingStateFoldersAreMadeForTheOwnerOnly) {
    const tProgramTree tree(tPortable::Absent);
    FStateHome.Unset();
    FHome.Set(tree.Path("/home"));
    ASSERT_EQ(ChooseAsUser(tree.Program()),
              tree.Path("/home/.local/state/kestrova-zizizada/logs/"));
    for (const char* folder :
         {"/home/.local", "/home/.local/state", "/home/.local/state/kestrova-zizizada",
          "/home/.local/state/kestrova-zizizada/logs"}) {
        struct stat info {};
        ASSERT_EQ(stat(tree.Path(folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder;
    }
    // The prepared folder above them keeps its mode.
    EXPECT_EQ(fs::status(tree.Path("/home")).permissions(), fs::perms(0777));
}

}  // namespace
