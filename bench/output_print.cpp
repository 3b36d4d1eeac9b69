// Printing a whole table: the print dialog's report over every record of a
// table of 1,000,000 records (one every 10 s, printed with the 5 s step, so
// every record is listed: 9 616 pages) written to a PDF file, and the same
// for a tenth of the records, to show that the memory does not grow with the
// page count.
//
//   bench_output_print [records] [directory]
//
// Targets: the whole table under 5 s; the memory of the large report at most
// that of the small one plus 16 MB.

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchClock.h"
#include "archive/Adm.h"
#include "logger/DateTime.h"
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
    std::size_t Pages = 0;
    long long PdfBytes = 0;
};

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
    const Result l = Print(large, pdf);
    const bool flat = l.UsedMb <= s.UsedMb + 16;
    std::printf("print to PDF, %ld records: %zu pages in %.2f s CPU [%.2f s wall] (%.1f MB PDF), memory %.1f MB\n",
                n / 10, s.Pages, s.Cpu, s.Seconds, static_cast<double>(s.PdfBytes) / 1048576.0, s.UsedMb);
    std::printf("print to PDF, %ld records: %zu pages in %.2f s CPU [%.2f s wall] (target <= 5 s)%s (%.1f MB PDF), "
                "memory %.1f MB (target <= %.1f MB, flat in the page count)%s\n",
                n, l.Pages, l.Cpu, l.Seconds, Verdict(l.Cpu <= 5), static_cast<double>(l.PdfBytes) / 1048576.0,
                l.UsedMb, s.UsedMb + 16, Verdict(flat));
    for (const std::string& p : {small, large}) {
        std::filesystem::remove(p);
        std::filesystem::remove(p.substr(0, p.size() - 4) + ".par");
    }
    if (!std::getenv("KOLVEX_KEEP_PDF")) std::filesystem::remove(pdf);
    return 0;
}
