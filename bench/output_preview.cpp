// Print preview speed: a table of 10,000 records (one a minute), the print
// dialog's report prepared over the whole period with the shortest step, and
// the preview widget offscreen drawing every page of it.
//
//   bench_output_preview [records] [directory]
//
// Target: the preview ready under 2 s.

#include <QApplication>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/ui/TFQRAPrint.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;

namespace {
double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long n = argc > 1 ? std::atol(argv[1]) : 10000;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const std::string path = dir + "/bench_preview.dbf";
    LoggerImage image;
    image.SerialNumber = 12345;
    image.Parameters.ArchiveFlags = 3;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    adm.CreateArchive(path, BuildParameterRecord(image, Lang::English));
    Table& t = adm.Table1;
    t.DisableControls();
    for (long i = 0; i < n; ++i) {
        t.Append();
        t.SetDateTime(0, t0 + static_cast<double>(i) / 1440.0);
        t.SetFloat(1, 20.0 + static_cast<double>(i % 100) * 0.1);
        t.SetFloat(2, static_cast<double>(i % 50));
        t.Post();
    }
    t.EnableControls();

    auto a = Clock::now();
    ReportRequest rq;
    rq.Start = t0;
    rq.End = t0 + static_cast<double>(n);
    rq.StepSeconds = 5;
    rq.Language = Lang::English;
    rq.PrintedAt = t0;
    ui::TFQRAPrint* report = nullptr;
    TablePositionGuard guard(t);
    {
        report = new ui::TFQRAPrint(PrepareReport(t, adm.ParameterRecord, rq, [](int) { return false; }), t);
    }
    auto b = Clock::now();
    QPrinter printer(QPrinter::HighResolution);
    ui::TFQRAPrint::SetupPrinter(printer);
    QPrintPreviewWidget preview(&printer);
    QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter* p) { report->Paint(p); });
    preview.resize(900, 1000);
    preview.show();
    preview.updatePreview();
    QApplication::processEvents();
    auto c = Clock::now();
    std::printf("preview of %zu lines on %d pages: report %.3f s, pages drawn %.3f s, total %.3f s (target < 2 s)%s\n",
                report->Plan().LineCount, preview.pageCount(), Seconds(a, b), Seconds(b, c), Seconds(a, c),
                Seconds(a, c) < 2 ? "" : "  MISSED");
    delete report;
    adm.CloseArchive();
    std::filesystem::remove(path);
    std::filesystem::remove(dir + "/bench_preview.par");
    return 0;
}
