#pragma once
// Wall time and the process's CPU time of a measured stretch. On a machine
// that several people share the wall time says more about the others' load
// than about the code; the benchmarks judge the CPU time and print both.

#include <time.h>

#include <chrono>

namespace kolvex::bench {

class Stopwatch {
public:
    Stopwatch() { Restart(); }
    void Restart() {
        wall_ = std::chrono::steady_clock::now();
        cpu_ = CpuNow();
    }
    double Wall() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(); }
    double Cpu() const { return CpuNow() - cpu_; }

    static double CpuNow() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }

private:
    std::chrono::steady_clock::time_point wall_;
    double cpu_ = 0;
};

inline const char* Verdict(bool met) { return met ? "" : "  MISSED"; }

}  // namespace kolvex::bench
