// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program ends on SIGTERM from any state and writes its
// configuration: the first-start dialog, an error box at start-up, the main
// window with the live display.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
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
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
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
