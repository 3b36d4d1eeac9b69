// SPDX-License-Identifier: GPL-3.0-or-later
// Archive table speed: append, scan, delete a period and pack a table of
// 1,000,000 records (DATETIME + two doubles), with dbfread's scan beside ours.
//
//   bench_archive_table [records] [directory]
//
// Targets by CPU time; the scans are the median of five after a warm-up.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchKit.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "base/DateTime.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;
using bench::Stopwatch;

namespace {

double PythonScan(const std::string& path) {
    const std::string cmd =
        "/usr/bin/python3 -c \"import time,dbfread;t=time.perf_counter();n=sum(1 for r in "
        "dbfread.DBF('" + path + "', ignore_missing_memofile=True));print(time.perf_counter()-t, n)\"";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    char line[256] = {};
    double s = -1;
    long n = 0;
    if (!std::fgets(line, sizeof line, p) || std::sscanf(line, "%lf %ld", &s, &n) != 2) {
        std::fprintf(stderr, "dbfread: %s\n", line);
        s = -1;
    }
    ::pclose(p);
    return s;
}
}  // namespace

int main(int argc, char** argv) {
    const long n = bench::CountArg(argc, argv, 1, 1000000);
    const std::string dir = bench::DirArg(argc, argv, 2, std::filesystem::temp_directory_path().string());
    bench::Session session("archive table");
    const std::string path = dir + "/bench_archive.dbf";
    LoggerImage image;
    image.Parameters.ArchiveFlags = 3;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    const double step = 10.0 / 86400.0;

    Stopwatch sw;
    adm.CreateArchive(path, BuildParameterRecord(image, Lang::English));
    Table& t = adm.Table1;
    t.DisableControls();
    for (long i = 0; i < n; ++i) {
        t.Append();
        t.SetDateTime(0, t0 + static_cast<double>(i) * step);
        t.SetFloat(1, 20.0 + static_cast<double>(i % 1000) * 0.01);
        t.SetFloat(2, -static_cast<double>(i));
        t.Post();
    }
    t.EnableControls();
    adm.CloseArchive();
    const double append = sw.Cpu(), appendWall = sw.Wall();

    adm.OpenArchive(path);
    double sum = 0, last = 0;
    long seen = 0;
    const bench::Timing cursor = bench::Median([&] {
        return bench::Time([&] {
            sum = 0;
            seen = 0;
            t.DisableControls();
            for (t.First(); !t.Eof(); t.Next()) {
                last = t.AsDateTime(0);
                sum += t.AsFloat(1) + t.AsFloat(2);
                ++seen;
            }
            t.EnableControls();
        });
    });
    const double scan = cursor.Cpu, scanWall = cursor.Wall;

    // The same through the engine's block scan (what dump, the chart and the
    // grid read with).
    double blockSum = 0, blockLast = 0;
    long blockSeen = 0;
    const bench::Timing block = bench::Median([&] {
        return bench::Time([&] {
            blockSum = 0;
            blockSeen = 0;
            t.Scan({0, 1, 2}, 1, [&](const ScanBlock& blk) {
                for (std::size_t r = 0; r < blk.Rows; ++r) {
                    const double* v = blk.Values + r * blk.Fields;
                    blockLast = v[0];
                    blockSum += v[1] + v[2];
                }
                blockSeen += static_cast<long>(blk.Rows);
                return true;
            });
        });
    });
    const double blockScan = block.Cpu, blockWall = block.Wall;

    // A tenth of the period, in the middle.
    sw.Restart();
    const int deleted = adm.DeleteRecordsInPeriod(t0 + 0.45 * n * step, t0 + (0.55 * n - 1) * step);
    const double pack = sw.Cpu(), packWall = sw.Wall();
    const long left = static_cast<long>(t.RecordCount());
    adm.CloseArchive();

    const double py = std::getenv("KOLVEX_NO_PYTHON") ? -1 : PythonScan(path);
    std::printf("records            %ld (file %.1f MB)\n", n,
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    const double appendRate = n / append / 1e6, scanRate = seen / scan / 1e6;
    std::printf("(CPU time; wall time in brackets; the scans the median of 5)\n");
    std::printf("append             %.3f s [%.3f]  %.2f M records/s\n", append, appendWall, appendRate);
    const double blockRate = blockSeen / blockScan / 1e6;
    std::printf("cursor scan        %.3f s [%.3f]  %.2f M records/s   (checksum %.0f, last %.4f, %ld)\n", scan,
                scanWall, scanRate, sum, last, seen);
    std::printf("                   (record by record: the print pages, the download's merge, the deletion of a\n"
                "                   period; the print plan, the viewer's grid and chart, dump and export read by block scan)\n");
    std::printf("block scan         %.3f s [%.3f]  %.2f M records/s   (checksum %.0f, last %.4f, %ld)%s\n", blockScan,
                blockWall, blockRate, blockSum, blockLast, blockSeen,
                blockSum == sum && blockSeen == seen ? "" : "  (differs from the cursor scan!)");
    std::printf("delete 10%% + pack  %.3f s [%.3f]  %d deleted, %ld left\n", pack, packWall, deleted, left);
    char line[160];
    std::snprintf(line, sizeof line, "append %.2f M records/s >= 5 M/s", appendRate);
    session.Target(line, appendRate >= 5);
    std::snprintf(line, sizeof line, "cursor scan %.2f M records/s >= 20 M/s", scanRate);
    session.Target(line, scanRate >= 20 && seen == n);
    std::snprintf(line, sizeof line, "block scan %.2f M records/s >= 50 M/s", blockRate);
    session.Target(line, blockRate >= 50 && blockSeen == n && blockSum == sum);
    std::snprintf(line, sizeof line, "delete 10%% + pack %.3f s < 0.5 s", pack);
    session.Target(line, pack < 0.5 && deleted > 0);
    if (py > 0)
        std::printf("dbfread scan       %.3f s  %.3f M records/s of %ld   ours is %.0f x faster\n", py,
                    static_cast<double>(left) / py / 1e6, left, py / (scan * static_cast<double>(left) / seen));
    else
        std::printf("dbfread scan       not available\n");
    DeleteFileIfExists(path);
    DeleteFileIfExists(ReplaceExtension(path, ".par"));
    return session.Finish();
}
