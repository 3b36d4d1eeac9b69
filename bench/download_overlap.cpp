// SPDX-License-Identifier: GPL-3.0-or-later
// Overlap benchmark: a 300-record download whose time stamps fall inside a
// table of 10 million records (half of the 300 stored there already), and
// the same download appended after the end of such a table. Every record of
// the whole table is compared, so the figures are the scan of the table plus
// the download itself. Targets: at most 1 s of CPU time and at most 64 MB
// peak resident memory for the download (the peak is reset after the tables
// are built). Options: --records N (default 10000000).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "base/ConfigRecord.h"
#include "archive/Adm.h"
#include "archive/Download.h"
#include "archive/dbf/DbfTable.h"
#include "link/CommSettings.h"
#include "link/SerCom.h"
#include "logger/LoggerOps.h"
#include "sim/Simulator.h"

using namespace kolvex;
namespace fs = std::filesystem;

namespace {

class QuietUi : public DownloadUi {
public:
    explicit QuietUi(std::string file) : file_(std::move(file)) {}
    void Message(const std::string&) override {}
    void EditStoringOptions(StoringOptions&) override {}
    bool Confirm(const std::string&) override { return true; }
    std::optional<std::string> ChooseTargetFile(const std::string&) override { return file_; }
    StepFailure CommError(const std::string&) override { return StepFailure::Retry; }
    void ProgressStart(const std::string&) override {}
    void Progress(int) override {}
    void ProgressEnd() override {}
    void Information(const std::string&) override {}

private:
    std::string file_;
};

using bench::PeakMb;
using bench::ResetPeak;

struct Row {
    double T, V1, V2;
};

// Downloads the whole archive into `table` (no bookmark moved).
DownloadResult Download(const std::string& port, const std::string& table) {
    TSerCom com;
    LoggerData data;
    LoggerOps ops(com, data);
    OpenPortDirect(com, port, 1, 100);
    ConfigRecord config;
    config.LastArchivePath = table;
    config.NameSource = 2;
    config.SplitFlags = 1;
    config.ReadMode = 1;
    config.InsertBookmark = 0;
    FixedAnswerer answers(false);
    TADM adm(&answers);
    QuietUi ui(table);
    DownloadResult r = ReadArchive(ops, adm, config, ui);
    adm.CloseArchive();
    com.Close();
    return r;
}

// A table of `filler` records one second apart before `first` (and, when
// `after`, as many after `last`), with `middle` in between.
void BuildTable(const std::string& path, double first, double last, std::int64_t filler, bool after,
                const std::vector<Row>& middle) {
    dbf::DbfTable t;
    t.Create(path, {{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}, {FieldType::Float, "VSTUP2"}});
    auto add = [&](double time, double v1, double v2) {
        t.Append();
        t.SetDateTime(0, time);
        t.SetFloat(1, v1);
        t.SetFloat(2, v2);
        t.Post();
    };
    const std::int64_t before = after ? filler / 2 : filler;
    for (std::int64_t i = before; i > 0; --i) add(first - static_cast<double>(i) / 86400.0, 20 + i % 1000 * 0.01, 4);
    for (const Row& r : middle) add(r.T, r.V1, r.V2);
    if (after)
        for (std::int64_t i = 1; i <= filler - before; ++i) add(last + static_cast<double>(i) / 86400.0, 21, 5 + i % 7);
    t.Close();
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t records = 10'000'000;
    for (int i = 1; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--records") != 0 || i + 1 >= argc)
            bench::Refuse(argv[0], "the only option is --records N");
        records = bench::CountArg(argc, argv, i + 1, records);
    }
    bench::Session session("download into a long table");

    sim::SimOptions o;
    o.Samples = 300;
    o.ArchiveSize = 4096;
    o.Pacing = false;
    o.TurnaroundMs = 0;
    sim::Simulator simulator(o);
    const std::string port = simulator.Start();

    const fs::path dir = fs::temp_directory_path() / ("kolvex-bench-overlap-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);

    // The download's records, as a first download stores them.
    const std::string probe = (dir / "probe.dbf").string();
    Download(port, probe);
    std::vector<Row> rows;
    {
        dbf::DbfTable t;
        t.Open(probe, false);
        for (t.First(); !t.Eof(); t.Next()) rows.push_back({t.AsDateTime(0), t.AsFloat(1), t.AsFloat(2)});
    }
    if (rows.size() < 2) {
        std::fprintf(stderr, "the simulated logger gave no records\n");
        return 2;
    }
    std::vector<Row> half;
    for (std::size_t i = 0; i < rows.size(); i += 2) half.push_back(rows[i]);

    std::printf("download of %zu records into a table of %lld records\n", rows.size(), static_cast<long long>(records));
    const std::string inside = (dir / "inside.dbf").string(), end = (dir / "end.dbf").string();
    BuildTable(inside, rows.front().T, rows.back().T, records - static_cast<std::int64_t>(half.size()), true, half);
    BuildTable(end, rows.front().T, rows.back().T, records, false, {});

    for (const auto& [name, path] : {std::pair{"inside the table", inside}, std::pair{"after its end   ", end}}) {
        ResetPeak();
        bench::Stopwatch clock;
        const DownloadResult r = Download(port, path);
        const double cpu = clock.Cpu(), wall = clock.Wall(), peak = PeakMb();
        std::printf("  %s: %llu added, %llu already stored; CPU %.2f s, wall %.2f s, peak %.1f MB\n", name,
                    static_cast<unsigned long long>(r.RecordsAdded()),
                    static_cast<unsigned long long>(r.AlreadyStored()), cpu, wall, peak);
        char line[160];
        std::snprintf(line, sizeof line, "%s CPU %.2f s <= 1 s", name, cpu);
        session.Target(line, cpu <= 1.0);
        std::snprintf(line, sizeof line, "%s peak %.1f MB <= 64 MB", name, peak);
        session.Target(line, peak >= 0 && peak <= 64.0);
    }
    simulator.Stop();
    fs::remove_all(dir);
    return session.Finish();
}
