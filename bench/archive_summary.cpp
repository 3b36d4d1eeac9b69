// SPDX-License-Identifier: GPL-3.0-or-later
// Period summary speed: one pass of the summary over 10,000,000 records of
// two inputs (a temperature with limits and a second input), as the table
// walk hands them over, against the target of 0.3 s; and the whole table
// form over a table of 1,000,000 records for comparison.
//
//   bench_archive_summary [records] [directory]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "archive/Adm.h"
#include "archive/PeriodSummary.h"
#include "base/DateTime.h"

using namespace kolvex;
using bench::Stopwatch;

int main(int argc, char** argv) {
    const long n = bench::CountArg(argc, argv, 1, 10000000);
    const std::string dir = bench::DirArg(argc, argv, 2, std::filesystem::temp_directory_path().string());
    bench::Session session("period summary");
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    const double step = 300.0 / 86400.0;

    SummarySetup setup;
    setup.PeriodSeconds = 300;
    SummaryInput a;
    a.Column = 0;
    a.Temperature = true;
    a.Low = 2;
    a.High = 8;
    SummaryInput b;
    b.LoggerInput = 2;
    b.Column = 1;
    b.Low = 30;
    b.High = 70;
    setup.Inputs = {a, b};

    // Blocks of rows as a table scan hands them over: time and two values.
    constexpr std::size_t kBlock = 4096;
    std::vector<double> rows(kBlock * 3);
    std::vector<std::uint8_t> nulls(kBlock * 3, 0);
    Stopwatch sw;
    double cpu = 0, wall = 0;
    SummaryBuilder builder(setup);
    for (long first = 0; first < n; first += static_cast<long>(kBlock)) {
        const std::size_t count = static_cast<std::size_t>(std::min<long>(static_cast<long>(kBlock), n - first));
        const double c0 = bench::CpuNow();
        for (std::size_t r = 0; r < count; ++r) {
            const long i = first + static_cast<long>(r);
            rows[r * 3] = t0 + static_cast<double>(i) * step;
            rows[r * 3 + 1] = 5.0 + 4.0 * std::sin(static_cast<double>(i % 4096) * 0.01) + static_cast<double>(i % 7) * 0.1;
            rows[r * 3 + 2] = 50.0 + static_cast<double>(i % 41);
            nulls[r * 3 + 1] = i % 1000 == 999;
        }
        cpu -= bench::CpuNow() - c0;  // filling the rows is not the summary's
        for (std::size_t r = 0; r < count; ++r) builder.Add(rows[r * 3], &rows[r * 3 + 1], &nulls[r * 3 + 1]);
    }
    const PeriodSummary s = builder.Finish();
    cpu += sw.Cpu();
    wall = sw.Wall();
    std::printf("summary of %ld records: %.3f s CPU (%.3f s wall)\n", n, cpu, wall);
    char line[160];
    std::snprintf(line, sizeof line, "summary of %ld records %.3f s CPU <= 0.3 s", n, cpu);
    session.Target(line, cpu <= 0.3);
    std::printf("  input 1: %lld values, %zu excursions, MKT %.3f\n", static_cast<long long>(s.Inputs[0].Values),
                s.Inputs[0].Excursions.size(), s.Inputs[0].Mkt.value_or(NAN));

    // The table form over a table on disk (the scan included).
    const long m = std::min<long>(n, 1000000);
    const std::string path = dir + "/bench_summary.dbf";
    LoggerImage image;
    image.Parameters.ArchiveFlags = 3;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.CreateArchive(path, BuildParameterRecord(image, Lang::English));
    Table& t = adm.Table1;
    t.DisableControls();
    for (long i = 0; i < m; ++i) {
        t.Append();
        t.SetDateTime(0, t0 + static_cast<double>(i) * step);
        t.SetFloat(1, 5.0 + static_cast<double>(i % 100) * 0.1);
        t.SetFloat(2, 50.0);
        t.Post();
    }
    t.EnableControls();
    adm.CloseArchive();
    adm.OpenArchive(path);
    sw.Restart();
    const PeriodSummary ts = SummariseTable(t, adm.ParameterRecord, {});
    std::printf("table summary of %ld records (scan included): %.3f s CPU (%.3f s wall), %lld records\n", m, sw.Cpu(),
                sw.Wall(), static_cast<long long>(ts.Records));
    adm.CloseArchive();
    std::filesystem::remove(path);
    std::filesystem::remove(std::filesystem::path(path).replace_extension(".par"));
    return session.Finish();
}
