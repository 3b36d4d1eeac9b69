// SPDX-License-Identifier: GPL-3.0-or-later
// Export and deletion speed of the output dialogs over a table of 1,000,000
// records (DATETIME + two doubles, one every 10 s): the whole table written
// as an .xlsx workbook (constant memory, continued on a second sheet), the
// same as CSV, and the deletion of 10 % of the records with the one pack.
//
//   bench_output_export [records] [directory]
//
// Targets (CPU time, the median of five after a warm-up): the workbook under
// 3 s with flat memory; the deletion under 1 s. The CSV export is timed as
// well; its target (against the command line's dump) is in bench_cli_dump.
// The same walk into a sink that makes the cell values and drops them shows
// how much of the workbook's time is the walk and how much the writing (the
// sheet XML with its number texts, the deflate and the file).

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/WorkbookExport.h"

using namespace kolvex;

namespace {

// Takes the rows as the workbook does on our side (each value as its cell
// gets it) and drops them.
class NullSink : public RowSink {
public:
    void AddRow(const std::vector<double>& values, const std::vector<bool>&) override {
        for (double v : values) sum_ += ExportedValue(v);
        ++rows_;
    }
    void AddCells(const double* values, const std::uint8_t*, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) sum_ += ExportedValue(values[i]);
        ++rows_;
    }
    void Close() override {}
    std::uint64_t Rows() const override { return rows_; }
    double Sum() const { return sum_; }

private:
    std::uint64_t rows_ = 0;
    double sum_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const long n = bench::CountArg(argc, argv, 1, 1000000);
    const std::string dir = bench::DirArg(argc, argv, 2, std::filesystem::temp_directory_path().string());
    bench::Session session("workbook and CSV export, deletion");
    const std::string path = dir + "/bench_output.dbf";
    LoggerImage image;
    image.SerialNumber = 12345;
    image.Parameters.ArchiveFlags = 3;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    const double step = 10.0 / 86400.0;

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
    std::printf("table: %ld records, %.1f MB\n", n, static_cast<double>(std::filesystem::file_size(path)) / 1048576.0);

    const std::vector<OutputField> fields = OutputFields(t, adm.ParameterRecord);
    const ExportHeader header = MakeExportHeader(t, adm.ParameterRecord, true, 0, 0, 0, Lang::English);

    WalkResult r;
    const bench::Timing walk = bench::Median([&] {
        return bench::Time([&] {
            TablePositionGuard guard(t);
            NullSink sink;
            r = ExportRecords(t, fields, 0, 0, 5, sink, [](int) { return false; });
            if (sink.Sum() == 0.5) std::printf(" ");  // the values are used
        });
    });

    const std::string xlsx = dir + "/bench_output.xlsx";
    const double rssBefore = bench::RssMb();
    bench::ResetPeak();
    const bench::Timing workbook = bench::Median([&] {
        return bench::Time([&] {
            TablePositionGuard guard(t);
            auto sink = OpenXlsxExport(xlsx, header, ExportColumnsOf(fields));
            r = ExportRecords(t, fields, 0, 0, 5, *sink, [](int) { return false; });
            sink->Close();
        });
    });
    const double workbookPeak = bench::PeakMb() - rssBefore;
    std::printf("xlsx export: %lld rows in %.2f s CPU [%.2f s wall] (median of 5), %.1f MB file, memory %.1f MB\n",
                static_cast<long long>(r.Taken), workbook.Cpu, workbook.Wall,
                static_cast<double>(std::filesystem::file_size(xlsx)) / 1048576.0, workbookPeak);
    std::printf("  of which the table walk and the cell values %.2f s, the sheet XML, its deflate and the file %.2f s (CPU)\n",
                walk.Cpu, workbook.Cpu - walk.Cpu);

    const std::string csv = dir + "/bench_output.csv";
    const bench::Timing csvTime = bench::Median([&] {
        return bench::Time([&] {
            TablePositionGuard guard(t);
            auto sink = OpenCsvExport(csv, ExportColumnsOf(fields), Lang::English);
            r = ExportRecords(t, fields, 0, 0, 5, *sink);
            sink->Close();
        });
    });
    std::printf("csv export: %lld rows in %.2f s CPU [%.2f s wall] (median of 5)\n", static_cast<long long>(r.Taken),
                csvTime.Cpu, csvTime.Wall);

    // Ten per cent of the records, from the middle of the table.
    const double from = t0 + static_cast<double>(n / 2) * step;
    const double to = from + static_cast<double>(n / 10 - 1) * step + step / 4;
    std::int32_t deleted = 0;
    const bench::Timing deletion = bench::Time([&] { deleted = adm.DeleteRecordsInPeriod(from, to, [](int) {}); });
    std::printf("deletion: %d of %ld records and the pack in %.3f s CPU [%.3f s wall], %lld left\n", deleted, n,
                deletion.Cpu, deletion.Wall, static_cast<long long>(t.RecordCount()));

    char line[160];
    std::snprintf(line, sizeof line, "workbook of %ld records %.2f s CPU <= 3 s", n, workbook.Cpu);
    session.Target(line, workbook.Cpu <= 3 && r.Taken > 0);
    std::snprintf(line, sizeof line, "workbook memory %.1f MB <= 64 MB (flat)", workbookPeak);
    session.Target(line, workbookPeak <= 64);
    std::snprintf(line, sizeof line, "deletion of 10 %% %.3f s CPU <= 1 s", deletion.Cpu);
    session.Target(line, deletion.Cpu <= 1 && deleted > 0);

    adm.CloseArchive();
    std::filesystem::remove(path);
    std::filesystem::remove(dir + "/bench_output.par");
    std::filesystem::remove(xlsx);
    std::filesystem::remove(csv);
    return session.Finish();
}
