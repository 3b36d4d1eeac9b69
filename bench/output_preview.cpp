// SPDX-License-Identifier: GPL-3.0-or-later
// Print preview of a long period: a table of 1,000,000 records (one every
// 10 s, listed with the 5 s step, so every record is a line: 9 616 pages),
// the print dialog's report prepared over the whole table and its preview
// window opened offscreen, until the first page is drawn; then twenty pages
// from all over the report shown one after another.
//
//   bench_output_preview [records] [directory]
//
// Targets (CPU time, the median of five after a warm-up): the page count
// known within 2 s and the first page drawn within 0.5 s; the memory the
// preview took (its peak above the resident size before) at most 64 MB.

#include <QApplication>
#include <QPrinter>

#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchKit.h"
#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/ui/ReportPreview.h"
#include "output/ui/TFQRAPrint.h"

using namespace kolvex;

namespace {

void Write(const std::string& path, long n) {
    LoggerImage image;
    image.SerialNumber = 12345;
    image.Parameters.ArchiveFlags = 3;
    image.Parameters.Input[0].SetUnit("°C");
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

struct Opening {
    bench::Timing Count, FirstPage;
    std::size_t Pages = 0, Drawn = 0;
    double UsedMb = 0;
};

// The preview as the print dialog opens it, up to its first page drawn; with
// `browse`, twenty pages from all over the report afterwards.
Opening Open(const std::string& path, bool browse) {
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.OpenArchive(path);
    Table& t = adm.Table1;
    Opening o;
    const double before = bench::RssMb();
    bench::ResetPeak();
    const bench::Stopwatch sw;
    ReportRequest rq;
    rq.StepSeconds = 5;
    rq.Language = Lang::English;
    rq.PrintedAt = *TryEncodeDateTime(2024, 1, 1, 0, 0, 0);
    {
        TablePositionGuard guard(t);
        const ui::TFQRAPrint report(PrepareReport(t, adm.ParameterRecord, rq, [](int) { return false; }), t);
        o.Count = {sw.Wall(), sw.Cpu()};
        o.Pages = report.PageCount();
        QPrinter printer(QPrinter::HighResolution);
        ui::TFQRAPrint::SetupPrinter(printer);
        ui::ReportPreview preview(report, printer);
        preview.resize(900, 1000);
        preview.show();
        for (int i = 0; i < 10000 && preview.View()->PagesDrawn() == 0; ++i) QApplication::processEvents();
        o.FirstPage = {sw.Wall(), sw.Cpu()};
        if (browse) {
            for (std::size_t k = 0; k < 20; ++k) {
                preview.View()->ShowPage(o.Pages * k / 20 + k);
                QApplication::processEvents();
                preview.View()->repaint();
            }
        }
        o.Drawn = preview.View()->PagesDrawn();
    }
    o.UsedMb = bench::PeakMb() - before;
    adm.CloseArchive();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = bench::CountArg(argc, argv, 1, 1000000);
    const std::string dir = bench::DirArg(argc, argv, 2, std::filesystem::temp_directory_path().string());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::Session session("print preview");
    const std::string path = dir + "/bench_preview.dbf";
    Write(path, n);

    Opening last;
    bench::Timing count = bench::Median([&] {
        last = Open(path, false);
        return last.Count;
    });
    const bench::Timing first = bench::Median([&] { return Open(path, false).FirstPage; });
    const Opening browsed = Open(path, true);
    std::printf("preview of %ld records, %zu pages: page count after %.3f s CPU [%.3f s wall], first page drawn after "
                "%.3f s CPU [%.3f s wall] (median of 5)\n",
                n, last.Pages, count.Cpu, count.Wall, first.Cpu, first.Wall);
    std::printf("  memory the preview took: %.1f MB when opened, %.1f MB after %zu pages drawn\n", last.UsedMb,
                browsed.UsedMb, browsed.Drawn);
    char line[160];
    std::snprintf(line, sizeof line, "page count %.3f s <= 2 s", count.Cpu);
    session.Target(line, count.Cpu <= 2 && last.Pages > 0);
    std::snprintf(line, sizeof line, "first page %.3f s <= 0.5 s", first.Cpu);
    session.Target(line, first.Cpu <= 0.5 && last.Drawn > 0);
    std::snprintf(line, sizeof line, "memory %.1f MB <= 64 MB", std::max(last.UsedMb, browsed.UsedMb));
    session.Target(line, std::max(last.UsedMb, browsed.UsedMb) <= 64);
    std::filesystem::remove(path);
    std::filesystem::remove(dir + "/bench_preview.par");
    return session.Finish();
}
