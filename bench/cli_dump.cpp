// kolvex12-cli dump over a table of 1,000,000 records (DATETIME + two
// doubles, one every 10 s): the program run as a child with its output going
// to /dev/null, as CSV and as JSON; wall time, CPU time and the child's peak
// memory.
//
//   bench_cli_dump [records] [directory]
//
// Targets: CSV at least 10 M records/s (by CPU time, the median of five runs;
// the wall time is printed beside it and suffers on a loaded machine); JSON in constant memory: its
// peak within 16 MB of the peak of a dump of a tenth of the records.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/Adm.h"
#include "base/DateTime.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;

namespace {

const char* Verdict(bool met) { return met ? "" : "  MISSED"; }

void Write(const std::string& path, long n) {
    LoggerImage image;
    image.Parameters.ArchiveFlags = 3;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    adm.CreateArchive(path, BuildParameterRecord(image, Lang::English));
    Table& t = adm.Table1;
    t.DisableControls();
    for (long i = 0; i < n; ++i) {
        t.Append();
        t.SetDateTime(0, t0 + static_cast<double>(i) * 10.0 / 86400.0);
        t.SetFloat(1, 20.0 + static_cast<double>(i % 1000) * 0.01);
        t.SetFloat(2, static_cast<double>(i % 997) * 0.1 - 30);
        t.Post();
    }
    t.EnableControls();
    adm.CloseArchive();
}

struct Run {
    double Wall = 0, Cpu = 0, PeakMb = 0;
    bool Ok = false;
};

Run Dump(const std::string& table, bool json) {
    Run r;
    const auto a = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        if (json)
            ::execl(KOLVEX_CLI_PATH, "kolvex12-cli", "dump", table.c_str(), "--json", static_cast<char*>(nullptr));
        else
            ::execl(KOLVEX_CLI_PATH, "kolvex12-cli", "dump", table.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    rusage u{};
    ::wait4(child, &status, 0, &u);
    r.Wall = std::chrono::duration<double>(Clock::now() - a).count();
    r.Cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
            static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    r.PeakMb = static_cast<double>(u.ru_maxrss) / 1024.0;
    r.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const std::string small = dir + "/bench_dump_small.dbf", large = dir + "/bench_dump.dbf";
    Write(small, n / 10);
    Write(large, n);
    const double mb = static_cast<double>(std::filesystem::file_size(large)) / 1048576.0;

    Dump(large, false);  // the table in the page cache
    // The median of five runs by CPU time (a shared machine's noise is large
    // against 0.1 s).
    std::vector<Run> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(Dump(large, false));
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Cpu < b.Cpu; });
    const Run csv = runs[runs.size() / 2];
    const double rate = static_cast<double>(n) / csv.Cpu / 1e6;
    std::printf("dump CSV  %ld records (%.1f MB table, median of 5): wall %.3f s, CPU %.3f s = %.1f M records/s (target >= 10 M/s)%s, "
                "peak %.1f MB%s\n",
                n, mb, csv.Wall, csv.Cpu, rate, Verdict(rate >= 10), csv.PeakMb, csv.Ok ? "" : "  (failed!)");
    const Run js = Dump(small, true);
    const Run jl = Dump(large, true);
    std::printf("dump JSON %ld records: wall %.3f s, CPU %.3f s = %.1f M records/s, peak %.1f MB; %ld records: peak "
                "%.1f MB (target: constant memory, <= %.1f MB)%s%s\n",
                n, jl.Wall, jl.Cpu, static_cast<double>(n) / jl.Cpu / 1e6, jl.PeakMb, n / 10, js.PeakMb,
                js.PeakMb + 16, Verdict(jl.PeakMb <= js.PeakMb + 16), jl.Ok && js.Ok ? "" : "  (failed!)");
    for (const std::string& p : {small, large}) {
        std::filesystem::remove(p);
        std::filesystem::remove(p.substr(0, p.size() - 4) + ".par");
    }
    return 0;
}
