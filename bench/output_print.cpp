// Printing a whole table: the print dialog's report over every record of a
// table of 1,000,000 records (one every 10 s, printed with the 5 s step, so
// every record is listed: 9 616 pages) written to a PDF file, and the same
// for a tenth of the records, to show that the memory does not grow with the
// page count.
//
//   bench_output_print [records] [directory]
//
// Targets: the whole table under 5 s (CPU time, the median of three runs);
// the memory of the large report at most that of the small one plus 16 MB.
// The plan and the page lines are timed alone as well: the rest is the
// drawing, nearly all of it inside Qt's PDF writer and zlib.

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/ui/TFQRAPrint.h"

using namespace kolvex;

namespace {

using bench::Verdict;

long StatusKb(const char* key) {
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

void ResetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

void Write(const std::string& path, long n) {
    LoggerImage image;
    image.SerialNumber = 12345;
    image.Parameters.ArchiveFlags = 3;
    image.Parameters.Input[0].SetUnit("°C");
    image.Parameters.Input[1].SetUnit("%");
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
        t.SetFloat(2, static_cast<double>(i % 997) * 0.1);
        t.Post();
    }
    t.EnableControls();
    adm.CloseArchive();
}

struct Result {
    double Seconds = 0, Cpu = 0, UsedMb = 0;
    double LinesCpu = 0;  // the plan and the lines of every page, without drawing
    std::size_t Pages = 0;
    long long PdfBytes = 0;
};

// What the report does before the painter: the plan, and every page's lines
// read and formatted from the table; the characters of the listing cells
// (blanks aside) counted into glyphs.
double ReadLines(const std::string& path, long long& glyphs) {
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.OpenArchive(path);
    Table& t = adm.Table1;
    const bench::Stopwatch sw;
    ReportRequest rq;
    rq.StepSeconds = 5;
    rq.Language = Lang::English;
    rq.PrintedAt = *TryEncodeDateTime(2024, 1, 1, 0, 0, 0);
    std::size_t lines = 0;
    {
        TablePositionGuard guard(t);
        const ReportPlan plan = PrepareReport(t, adm.ParameterRecord, rq, [](int) { return false; });
        std::vector<ReportLine> page;
        for (std::size_t i = 0; i < plan.Pages.size(); ++i) lines += ReportPageLines(t, plan, i, page);
    }
    const double cpu = sw.Cpu();
    glyphs = 0;
    {
        TablePositionGuard guard(t);
        const ReportPlan plan = PrepareReport(t, adm.ParameterRecord, rq, [](int) { return false; });
        std::vector<ReportLine> page;
        for (std::size_t i = 0; i < plan.Pages.size(); ++i) {
            const std::size_t count = ReportPageLines(t, plan, i, page);
            for (std::size_t j = 0; j < count; ++j)
                for (std::size_t f = 0; f < plan.Fields.size() && f < 3; ++f)
                    for (char c : page[j].Cells[f])
                        glyphs += c != ' ' && (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
    }
    adm.CloseArchive();
    return lines > 0 ? cpu : -1;
}

Result Print(const std::string& path, const std::string& pdf) {
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.OpenArchive(path);
    Table& t = adm.Table1;
    ResetPeak();
    const long before = StatusKb("VmRSS");
    const bench::Stopwatch sw;
    ReportRequest rq;
    rq.StepSeconds = 5;
    rq.Language = Lang::English;
    rq.PrintedAt = *TryEncodeDateTime(2024, 1, 1, 0, 0, 0);
    Result r;
    {
        TablePositionGuard guard(t);
        ui::TFQRAPrint report(PrepareReport(t, adm.ParameterRecord, rq, [](int) { return false; }), t);
        report.PrintToPdf(QString::fromStdString(pdf));
        r.Pages = report.PageCount();
    }
    r.Seconds = sw.Wall();
    r.Cpu = sw.Cpu();
    r.UsedMb = static_cast<double>(StatusKb("VmHWM") - before) / 1024.0;
    r.PdfBytes = static_cast<long long>(std::filesystem::file_size(pdf));
    adm.CloseArchive();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const std::string small = dir + "/bench_print_small.dbf", large = dir + "/bench_print_large.dbf";
    const std::string pdf = dir + "/bench_print.pdf";
    Write(small, n / 10);
    Write(large, n);

    Print(small, pdf);  // fonts and the PDF machinery loaded once
    const Result s = Print(small, pdf);
    // The large report three times: the median by CPU time, the most memory.
    std::vector<Result> runs;
    for (int i = 0; i < 3; ++i) runs.push_back(Print(large, pdf));
    double mostMemory = 0;
    for (const Result& r : runs) mostMemory = std::max(mostMemory, r.UsedMb);
    std::sort(runs.begin(), runs.end(), [](const Result& a, const Result& b) { return a.Cpu < b.Cpu; });
    Result l = runs[1];
    l.UsedMb = mostMemory;
    long long glyphs = 0;
    const double lines = ReadLines(large, glyphs);
    const bool flat = l.UsedMb <= s.UsedMb + 16;
    std::printf("print to PDF, %ld records: %zu pages in %.2f s CPU [%.2f s wall] (%.1f MB PDF), memory %.1f MB\n",
                n / 10, s.Pages, s.Cpu, s.Seconds, static_cast<double>(s.PdfBytes) / 1048576.0, s.UsedMb);
    std::printf("print to PDF, %ld records: %zu pages in %.2f s CPU [%.2f s wall] (median of 3; target <= 5 s)%s "
                "(%.1f MB PDF), memory %.1f MB (target <= %.1f MB, flat in the page count)%s\n",
                n, l.Pages, l.Cpu, l.Seconds, Verdict(l.Cpu <= 5), static_cast<double>(l.PdfBytes) / 1048576.0,
                l.UsedMb, s.UsedMb + 16, Verdict(flat));
    std::printf("  of which the plan and the lines read and formatted %.2f s; the rest is drawing %.1f M glyphs, "
                "which Qt's PDF writer places one by one (\"dx dy Td <glyph> Tj\") and compresses page by page "
                "with zlib\n",
                lines, static_cast<double>(glyphs) / 1e6);
    for (const std::string& p : {small, large}) {
        std::filesystem::remove(p);
        std::filesystem::remove(p.substr(0, p.size() - 4) + ".par");
    }
    std::filesystem::remove(pdf);
    return 0;
}
