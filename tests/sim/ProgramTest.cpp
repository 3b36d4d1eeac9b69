// SPDX-License-Identifier: GPL-3.0-or-later
// The quendal-sim program: slave path on the first line, stop on SIGTERM,
// exit code 2 on bad options. Skipped when the program has not been built.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string ProgramPath() {
    const char* dir = std::getenv("KOLVEX_BIN_DIR");
    std::filesystem::path p = dir ? std::filesystem::path(dir) / "sim" / "quendal-sim"
                                  : std::filesystem::path("sim/quendal-sim");
    if (!dir && !std::filesystem::exists(p)) p = std::filesystem::path("../sim/quendal-sim");
    return std::filesystem::exists(p) ? p.string() : std::string();
}

int ExitCodeOf(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SimProgram, OptionsPathAndSignals) {
    const std::string prog = ProgramPath();
    if (prog.empty()) GTEST_SKIP() << "quendal-sim not built";
    EXPECT_EQ(ExitCodeOf(prog + " --help"), 0);
    EXPECT_EQ(ExitCodeOf(prog + " --type 5"), 2);
    EXPECT_EQ(ExitCodeOf(prog + " --unit days"), 2);
    EXPECT_EQ(ExitCodeOf(prog + " --archive-size 1000"), 2);
    EXPECT_EQ(ExitCodeOf(prog + " --frames 1,x"), 2);
    EXPECT_EQ(ExitCodeOf(prog + " --bogus"), 2);

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(prog.c_str(), prog.c_str(), "--type", "3", "--input1", "0x3F", "--unit", "min",
              "--fault", "late", "--every", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    const std::string path(line);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_TRUE(std::filesystem::exists(path.substr(0, path.size() - 1)));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    fclose(f);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
