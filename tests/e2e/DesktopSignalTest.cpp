// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program ends on SIGTERM from any state and writes its
// configuration: the first-start dialog, an error box at start-up, the main
// window with the live display.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"

using namespace kolvex::e2e;

namespace {

std::string DesktopPath() { return BinDir() + "/app/kolvex12"; }

// A 344-byte configuration with the given port name and the live display on.
void WriteConfig(const std::string& path, const std::string& port) {
    std::vector<char> cfg(344, 0);
    cfg[0] = 111;
    cfg[20] = 1;  // live display on
    cfg[24] = 1;  // English
    cfg[28] = static_cast<char>(255);
    cfg[30] = static_cast<char>(port.size());
    for (std::size_t i = 0; i < port.size(); ++i) cfg[31 + i] = port[i];
    cfg[36] = 20;
    cfg[38] = 100;
    std::ofstream(path, std::ios::binary).write(cfg.data(), static_cast<std::streamsize>(cfg.size()));
}

// A signal mask line of /proc/PID/status ("SigBlk:", "SigCgt:") has `sig`.
bool MaskHas(const std::string& status, const std::string& field, int sig) {
    const auto at = status.find("\n" + field);
    if (at == std::string::npos) return false;
    const unsigned long long mask = std::strtoull(status.c_str() + at + 1 + field.size(), nullptr, 16);
    return (mask >> (sig - 1)) & 1u;
}

// True when the main thread of `pid` waits in poll: it runs an event loop
// (a dialog's, the main window's, or the one that keeps the windows live
// while port work runs).
bool WaitsInEventLoop(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    if (!(in >> number)) return false;  // "running"
#ifdef SYS_poll
    if (number == SYS_poll) return true;
#endif
    return number == SYS_ppoll;
}

// True when `pid` has a pseudo-terminal's slave open (the simulated logger's
// port opened by the program).
bool HasTerminalOpen(pid_t pid) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const auto target = std::filesystem::read_symlink(e.path(), ec);
        if (!ec && target.string().rfind("/dev/pts/", 0) == 0) return true;
    }
    return false;
}

// Waits until the program has started: it catches SIGTERM and no longer
// blocks it (its termination handling is in place), it has opened the
// simulated logger's port when `terminal` is set, and its main thread waits
// for events. False when that does not happen within 30 s or it has ended.
bool WaitUntilStarted(pid_t pid, bool terminal) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::stringstream text;
        text << in.rdbuf();
        const std::string status = "\n" + text.str();
        if (status.find("\nState:\tZ") != std::string::npos || !in) return false;
        if (MaskHas(status, "SigCgt:", SIGTERM) && !MaskHas(status, "SigBlk:", SIGTERM) &&
            (!terminal || HasTerminalOpen(pid)) && WaitsInEventLoop(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(Desktop, TerminationEndsEveryStateAndWritesTheConfiguration) {
    if (!std::filesystem::exists(DesktopPath())) GTEST_SKIP() << "built without the desktop program";
    struct Row {
        const char* state;
        const char* port;  // nullptr: no configuration (first start)
    };
    const Row rows[] = {{"first-start dialog", nullptr}, {"error box", "XX9"}, {"main window", "SIM"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        char tmpl[] = "/tmp/kolvex-term-XXXXXX";
        const std::string dir = ::mkdtemp(tmpl);
        const std::string cfg = dir + "/kolvex12.cfg";
        if (row.port) WriteConfig(cfg, row.port);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            // A signal that comes before the program has its handlers waits.
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGTERM);
            sigprocmask(SIG_BLOCK, &set, nullptr);
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execl(DesktopPath().c_str(), DesktopPath().c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        EXPECT_TRUE(WaitUntilStarted(pid, row.port && std::string(row.port) == "SIM"));
        if (row.port) std::filesystem::remove(cfg);
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        const auto t0 = std::chrono::steady_clock::now();
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() - t0 < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (done == 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "still running 5 s after SIGTERM";
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
        EXPECT_TRUE(WIFEXITED(status)) << status;
        ASSERT_TRUE(std::filesystem::exists(cfg));
        EXPECT_EQ(std::filesystem::file_size(cfg), 344u);
        std::filesystem::remove_all(dir);
    }
}

TEST(Desktop, NamedPipeAsTheConfigurationIsRefusedAndTheProgramStillEnds) {
    if (!std::filesystem::exists(DesktopPath())) GTEST_SKIP() << "built without the desktop program";
    char tmpl[] = "/tmp/kolvex-pipecfg-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string cfg = dir + "/kolvex12.cfg";
    ASSERT_EQ(::mkfifo(cfg.c_str(), 0600), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execl(DesktopPath().c_str(), DesktopPath().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Started with the refusal shown (no writer ever opens the pipe).
    EXPECT_TRUE(WaitUntilStarted(pid, false));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    const auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "still running 5 s after SIGTERM";
    }
    EXPECT_TRUE(WIFEXITED(status)) << status;
    // The settings are saved as a regular file in the pipe's place.
    EXPECT_TRUE(std::filesystem::is_regular_file(cfg));
    std::filesystem::remove_all(dir);
}
