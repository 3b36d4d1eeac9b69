// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12-cli dump over a table of 1,000,000 records (DATETIME + two
// doubles, one every 10 s): the program run as a child with its output going
// to /dev/null, as CSV and as JSON; and kolvex12-cli export of the same table
// to a CSV file. Wall time, CPU time and the child's peak memory.
//
//   bench_cli_dump [records] [directory]
//
// Targets (CPU time, the median of five runs after a warm-up; the wall time
// is printed beside it): dump CSV at least 10 M records/s; the CSV export at
// most 1.2 times the time of the dump; JSON in constant memory: its peak
// within 16 MB of the peak of a dump of a tenth of the records.

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

#include "BenchKit.h"
#include "archive/Adm.h"
#include "base/DateTime.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;

namespace {

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

// kolvex12-cli with the arguments, its output going to `out`.
Run Child(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    Run r;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("kolvex12-cli"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto a = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        // The output file is the benchmark's own, made afresh for each run
        // (a link planted at its name is not followed).
        if (out != "/dev/null") ::unlink(out.c_str());
        const int sink = out == "/dev/null" ? ::open(out.c_str(), O_WRONLY)
                                            : ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        ::dup2(sink, 1);
        ::execv(KOLVEX_CLI_PATH, argv.data());
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

Run Dump(const std::string& table, bool json) {
    return json ? Child({"dump", table, "--json"}) : Child({"dump", table});
}

// One warm-up, then five runs: the median CPU and the median wall time.
Run Median(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    Run ok;
    ok.Ok = true;
    const bench::Timing t = bench::Median([&] {
        const Run r = Child(args, out);
        ok.Ok = ok.Ok && r.Ok;
        ok.PeakMb = std::max(ok.PeakMb, r.PeakMb);
        return bench::Timing{r.Wall, r.Cpu};
    });
    ok.Wall = t.Wall;
    ok.Cpu = t.Cpu;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = bench::CountArg(argc, argv, 1, 1000000);
    const std::string dir = bench::DirArg(argc, argv, 2, std::filesystem::temp_directory_path().string());
    bench::Session session("kolvex12-cli dump and CSV export");
    const std::string small = dir + "/bench_dump_small.dbf", large = dir + "/bench_dump.dbf";
    const std::string csvOut = dir + "/bench_dump_export.csv";
    Write(small, std::max(n / 10, 1L));
    Write(large, n);
    const double mb = static_cast<double>(std::filesystem::file_size(large)) / 1048576.0;

    const Run csv = Median({"dump", large});
    const double rate = static_cast<double>(n) / csv.Cpu / 1e6;
    std::printf("dump CSV  %ld records (%.1f MB table, median of 5): wall %.3f s, CPU %.3f s = %.1f M records/s, "
                "peak %.1f MB%s\n",
                n, mb, csv.Wall, csv.Cpu, rate, csv.PeakMb, csv.Ok ? "" : "  (failed!)");
    // The export writes a file: so does the dump it is compared with.
    const std::string dumpOut = dir + "/bench_dump_out.csv";
    const Run toFile = Median({"dump", large}, dumpOut);
    const Run exported = Median({"export", large, "--out", csvOut});
    const double ratio = exported.Cpu / toFile.Cpu;
    std::printf("dump CSV into a file (median of 5): wall %.3f s, CPU %.3f s\n", toFile.Wall, toFile.Cpu);
    std::printf("export CSV %ld records (median of 5): wall %.3f s, CPU %.3f s = %.2f x the dump, peak %.1f MB%s\n", n,
                exported.Wall, exported.Cpu, ratio, exported.PeakMb, exported.Ok && toFile.Ok ? "" : "  (failed!)");
    const Run js = Dump(small, true);
    const Run jl = Dump(large, true);
    std::printf("dump JSON %ld records: wall %.3f s, CPU %.3f s = %.1f M records/s, peak %.1f MB; %ld records: peak "
                "%.1f MB%s\n",
                n, jl.Wall, jl.Cpu, static_cast<double>(n) / jl.Cpu / 1e6, jl.PeakMb, std::max(n / 10, 1L), js.PeakMb,
                jl.Ok && js.Ok ? "" : "  (failed!)");
    char line[160];
    std::snprintf(line, sizeof line, "dump CSV %.1f M records/s >= 10 M/s", rate);
    session.Target(line, rate >= 10 && csv.Ok);
    std::snprintf(line, sizeof line, "CSV export %.2f x the dump <= 1.2", ratio);
    session.Target(line, ratio <= 1.2 && exported.Ok);
    std::snprintf(line, sizeof line, "dump JSON memory %.1f MB <= %.1f MB (constant)", jl.PeakMb, js.PeakMb + 16);
    session.Target(line, jl.PeakMb <= js.PeakMb + 16 && jl.Ok && js.Ok);
    for (const std::string& p : {small, large}) {
        std::filesystem::remove(p);
        std::filesystem::remove(p.substr(0, p.size() - 4) + ".par");
    }
    std::filesystem::remove(csvOut);
    std::filesystem::remove(dumpOut);
    return session.Finish();
}
