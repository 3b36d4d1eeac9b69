// Export and deletion speed of the output dialogs over a table of 1,000,000
// records (DATETIME + two doubles, one every 10 s): the whole table written
// as an .xlsx workbook (constant memory, continued on a second sheet), the
// same as CSV, and the deletion of 10 % of the records with the one pack.
//
//   bench_output_export [records] [directory]
//
// Targets: the workbook under 3 s with flat memory; the deletion under 1 s.
// The same walk into a sink that makes the cell values and drops them shows
// how much of the workbook's time is ours and how much the library's.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "BenchClock.h"
#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/WorkbookExport.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Resident set size now, in MB (from /proc/self/statm).
double RssMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

using bench::Stopwatch;
using bench::Verdict;

// Takes the rows as the workbook does on our side (each value as its cell
// gets it) and drops them.
class NullSink : public RowSink {
public:
    void AddRow(const std::vector<double>& values, const std::vector<bool>&) override {
        for (double v : values) sum_ += ExportedValue(v);
        ++rows_;
    }
    void Close() override {}
    std::uint64_t Rows() const override { return rows_; }
    double Sum() const { return sum_; }

private:
    std::uint64_t rows_ = 0;
    double sum_ = 0;
};

double PeakMb() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
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

    Stopwatch sw;
    WalkResult r;
    {
        TablePositionGuard guard(t);
        NullSink sink;
        r = ExportRecords(t, fields, 0, 0, 5, sink, [](int) { return false; });
        if (sink.Sum() == 0.5) std::printf(" ");  // the values are used
    }
    const double walk = sw.Cpu();

    const std::string xlsx = dir + "/bench_output.xlsx";
    const double rssBefore = RssMb();
    // Three workbooks: the median by CPU time.
    std::vector<std::pair<double, double>> times;  // CPU, wall
    for (int i = 0; i < 3; ++i) {
        sw.Restart();
        {
            TablePositionGuard guard(t);
            auto sink = OpenXlsxExport(xlsx, header, ExportColumnsOf(fields));
            r = ExportRecords(t, fields, 0, 0, 5, *sink, [](int) { return false; });
            sink->Close();
        }
        times.emplace_back(sw.Cpu(), sw.Wall());
    }
    std::sort(times.begin(), times.end());
    const double workbook = times[1].first, workbookWall = times[1].second;
    std::printf("xlsx export: %lld rows in %.2f s CPU [%.2f s wall] (median of 3; target < 3 s)%s, %.1f MB file, "
                "resident %.1f -> %.1f MB, peak %.1f MB\n",
                static_cast<long long>(r.Taken), workbook, workbookWall, Verdict(workbook < 3),
                static_cast<double>(std::filesystem::file_size(xlsx)) / 1048576.0, rssBefore, RssMb(), PeakMb());
    std::printf("  of which ours (the table walk and the cell values) %.2f s, inside libxlsxwriter %.2f s (CPU): its "
                "printf of every number, the sheet through a temporary file, and zlib\n",
                walk, workbook - walk);

    const std::string csv = dir + "/bench_output.csv";
    auto a = Clock::now();
    {
        TablePositionGuard guard(t);
        auto sink = OpenCsvExport(csv, ExportColumnsOf(fields), Lang::English);
        r = ExportRecords(t, fields, 0, 0, 5, *sink);
        sink->Close();
    }
    auto b = Clock::now();
    std::printf("csv export: %lld rows in %.2f s\n", static_cast<long long>(r.Taken), Seconds(a, b));

    // Ten per cent of the records, from the middle of the table.
    const double from = t0 + static_cast<double>(n / 2) * step;
    const double to = from + static_cast<double>(n / 10 - 1) * step + step / 4;
    a = Clock::now();
    const std::int32_t deleted = adm.DeleteRecordsInPeriod(from, to, [](int) {});
    b = Clock::now();
    std::printf("deletion: %d of %ld records and the pack in %.3f s (target < 1 s)%s, %lld left\n", deleted, n,
                Seconds(a, b), Verdict(Seconds(a, b) < 1), static_cast<long long>(t.RecordCount()));

    adm.CloseArchive();
    std::filesystem::remove(path);
    std::filesystem::remove(dir + "/bench_output.par");
    std::filesystem::remove(xlsx);
    std::filesystem::remove(csv);
    return 0;
}
