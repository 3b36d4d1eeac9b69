// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every benchmark shares: its arguments (refused when empty or not
// usable), wall and CPU time of a measured stretch, the median of five runs
// after a warm-up, peak memory, the machine's load before and after, and one
// line per target ending in OK or MISSED.
//
// On a machine that others share, the wall time says more about their load
// than about the code: most targets are judged by CPU time. A target judged
// by wall time (a line's timing, a window opening) says "depends on load".

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace kolvex::bench {

// ---- arguments ------------------------------------------------------------------

[[noreturn]] inline void Refuse(const char* program, const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", program, why.c_str());
    std::exit(2);
}

// argv[index] as a positive count, or `fallback` when it is not given at all;
// an empty, non-numeric or non-positive value ends the program with status 2.
inline long CountArg(int argc, char** argv, int index, long fallback) {
    if (index >= argc) return fallback;
    const char* text = argv[index];
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || n <= 0)
        Refuse(argv[0], std::string("the record count must be a positive number, not \"") + text + "\"");
    return n;
}

// argv[index] as an existing directory, or `fallback` when not given; an
// empty or missing directory ends the program with status 2.
inline std::string DirArg(int argc, char** argv, int index, const std::string& fallback) {
    const std::string dir = index < argc ? argv[index] : fallback;
    struct stat st {};
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        Refuse(argv[0], "not a directory: \"" + dir + "\"");
    return dir;
}

// ---- time -------------------------------------------------------------------------

inline double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The mark a missed target gets beside its figure.

class Stopwatch {
public:
    Stopwatch() { Restart(); }
    void Restart() {
        wall_ = std::chrono::steady_clock::now();
        cpu_ = CpuNow();
    }
    double Wall() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(); }
    double Cpu() const { return CpuNow() - cpu_; }

private:
    std::chrono::steady_clock::time_point wall_;
    double cpu_ = 0;
};

struct Timing {
    double Wall = 0, Cpu = 0;
};

// One warm-up run (caches, fonts, the page cache), then `runs` runs; the
// median wall time and the median CPU time, each of its own.
inline Timing Median(const std::function<Timing()>& run, int runs = 5) {
    run();
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const Timing t = run();
        wall.push_back(t.Wall);
        cpu.push_back(t.Cpu);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// Times a stretch of this process.
inline Timing Time(const std::function<void()>& work) {
    const Stopwatch sw;
    work();
    return {sw.Wall(), sw.Cpu()};
}

// ---- memory -------------------------------------------------------------------------

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when unknown.
inline long StatusKb(const char* key) {
    long kb = -1;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::strlen(key);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
        std::fclose(f);
    }
    return kb;
}
inline double RssMb() { return static_cast<double>(StatusKb("VmRSS")) / 1024.0; }
// The peak resident size since the start or the last ResetPeak.
inline double PeakMb() { return static_cast<double>(StatusKb("VmHWM")) / 1024.0; }
// Starts the peak afresh at the current resident size; false when the
// system does not offer that (the peak then includes earlier work).
inline bool ResetPeak() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, "5", 1) == 1;
    return ::close(fd) == 0 && ok;
}

// ---- load and verdicts ----------------------------------------------------------------

// The one-minute load average of the machine.
inline double Load() {
    double one = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &one) != 1) one = -1;
        std::fclose(f);
    }
    return one;
}

// Prints the load when a benchmark starts and when it ends, and counts the
// targets missed; main returns Finish(): 0 when every target was met, 1 when
// some were missed (2 is left to a benchmark that could not run).
class Session {
public:
    explicit Session(const char* name) : name_(name) {
        std::printf("== %s (load %.2f before)\n", name_, Load());
        std::fflush(stdout);
    }
    // One target: the figure, the limit and the verdict.
    void Target(const std::string& what, bool met, bool dependsOnLoad = false) {
        std::printf("  target %s: %s%s\n", what.c_str(), met ? "OK" : "MISSED",
                    dependsOnLoad ? " (depends on load)" : "");
        std::fflush(stdout);
        if (!met) ++missed_;
    }
    int Finish() const {
        std::printf("== %s: %d target(s) missed (load %.2f after)\n", name_, missed_, Load());
        return missed_ > 0 ? 1 : 0;
    }

private:
    const char* name_;
    int missed_ = 0;
};

}  // namespace kolvex::bench
