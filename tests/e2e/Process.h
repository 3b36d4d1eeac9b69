// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the real programs: kolvex12-cli as a child with captured output, and
// quendal-sim as a background server whose pseudo-terminal path it prints.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kolvex::e2e {

inline std::string BinDir() {
    const char* d = std::getenv("KOLVEX_BIN_DIR");
    return d ? d : ".";
}
inline std::string CliPath() { return BinDir() + "/cli/kolvex12-cli"; }
inline std::string SimPath() { return BinDir() + "/sim/quendal-sim"; }

struct Result {
    int Status = -1;
    std::string Out, Err;
};

// Runs a program to its end (or kills it with SIGINT after `timeoutMs`), in
// `cwd` when given, as the user `user` (through runuser) when given.
inline Result RunProgram(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 20000,
                         const std::string& cwd = {}, const std::string& user = {}) {
    int out[2], err[2];
    if (pipe(out) || pipe(err)) throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        static const std::string runuser = "/usr/sbin/runuser", u = "-u", dashes = "--";
        if (!user.empty())
            for (const std::string* a : {&runuser, &u, &user, &dashes}) argv.push_back(const_cast<char*>(a->c_str()));
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        setenv("LC_ALL", "C.UTF-8", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Result r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    int waited = 0;
    bool interrupted = false;
    while (open > 0) {
        const int k = poll(fds, 2, 100);
        if (k == 0) {
            waited += 100;
            if (!interrupted && waited >= timeoutMs) {
                kill(pid, SIGINT);
                interrupted = true;
            }
            continue;
        }
        for (auto& f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(f.fd, buf, sizeof buf);
            if (n > 0) {
                (f.fd == out[0] ? r.Out : r.Err).append(buf, static_cast<std::size_t>(n));
            } else {
                close(f.fd);
                f.fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// quendal-sim in the background for one test.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out)) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<char*> argv;
            const std::string program = SimPath();
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        // The first line is the pseudo-terminal's path.
        pollfd p{out[0], POLLIN, 0};
        std::string line;
        while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
            char c[256];
            const ssize_t n = ::read(out[0], c, sizeof c);
            if (n <= 0) break;
            line.append(c, static_cast<std::size_t>(n));
        }
        close(out[0]);
        path_ = line.substr(0, line.find('\n'));
        if (path_.empty()) throw std::runtime_error("quendal-sim printed no path");
    }
    ~SimProcess() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    const std::string& Path() const { return path_; }

private:
    pid_t pid_ = -1;
    std::string path_;
};

// Waits until `ready` holds, for at most `seconds`, and no longer once
// `ended` (the run waited for) is set; returns ready().
inline bool WaitUntil(const std::function<bool()>& ready, const std::atomic<bool>* ended = nullptr,
                      int seconds = 30) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready() && !(ended && *ended) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ready();
}

// True when a run holds a port's lock in the lock folder `dir`: a holder
// writes its name into the lock file while it holds it (the "table-" files
// are the tables' locks).
inline bool PortLockHeld(const std::string& dir) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        if (e.path().filename().string().rfind("table-", 0) == 0) continue;
        const auto size = std::filesystem::file_size(e.path(), ec);
        if (!ec && size > 0) return true;
    }
    return false;
}

// The number of lines of a text file that contain `text`.
inline int LinesWith(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
    return n;
}

}  // namespace kolvex::e2e
