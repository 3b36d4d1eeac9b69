// Archive viewer speed: opens tables of 1,000,000 and 10,000,000 records
// (DATETIME + two doubles) in the viewer, offscreen, and prints the time
// until the grid and the chart are drawn, and the memory the opening took:
// the peak resident size while opening and drawing less the resident size
// before (the pages of a mapped table count while they are resident).
// Targets: 1 M records under 0.1 s, 10 M under 0.5 s, memory at most 1.2
// times the file.
//
//   bench_viewer_open [directory] [records ...]
//
// The tables are written once (in a child process, so their writing does not
// count towards the peak memory) and kept in the directory for later runs.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTableView>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <qcustomplot.h>

#include "BenchClock.h"
#include "app/AppContext.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "archive/ParameterFile.h"
#include "archive/ui/ArchiveGrid.h"
#include "archive/ui/TFADbf.h"
#include "base/DateTime.h"
#include "output/ui/ViewerOutputActions.h"
#include "output/PeriodSelection.h"

using namespace kolvex;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
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

// Starts a new peak: the high-water mark is set back to the resident size now.
bool ResetPeak() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

long PeakKb() {
    const long hwm = StatusKb("VmHWM");
    if (hwm >= 0) return hwm;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

using bench::Verdict;

long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// The table of n records every ten seconds from 1 January 2004, with a slow
// wave on input 1 and a ramp on input 2, written by the storage engine.
void Generate(const std::string& path, long n) {
    LoggerImage image;
    image.Parameters.ArchiveFlags = 3;
    image.Parameters.Input[0].SetName("Teplota");
    image.Parameters.Input[0].SetUnit("°C");
    image.Parameters.Input[1].SetName("Vlhkost");
    image.Parameters.Input[1].SetUnit("%");
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.CreateArchive(path, BuildParameterRecord(image, Lang::English));
    Table& t = adm.Table1;
    const double t0 = *TryEncodeDateTime(2004, 1, 1, 0, 0, 0);
    t.DisableControls();
    for (long i = 0; i < n; ++i) {
        t.Append();
        t.SetDateTime(0, t0 + static_cast<double>(i) * 10.0 / 86400.0);
        t.SetFloat(1, 20.0 + 15.0 * std::sin(static_cast<double>(i) / 5000.0));
        t.SetFloat(2, static_cast<double>(i % 100000) / 1000.0);
        t.Post();
        if (i % 200000 == 199999) t.Flush();
    }
    t.EnableControls();
    adm.CloseArchive();
}

bool EnsureTable(const std::string& path, long n) {
    // A table left by an earlier run with the right record count is used as it is.
    {
        FixedAnswerer yes(true);
        TADM adm(&yes);
        try {
            if (adm.OpenArchive(path) && adm.Table1.RecordCount() == n) {
                adm.CloseArchive();
                return true;
            }
        } catch (const std::exception&) {
        }
    }
    std::fprintf(stderr, "writing %s (%ld records)...\n", path.c_str(), n);
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            Generate(path, n);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {1000000, 10000000};

    // All tables first: the measuring process never writes one. A small
    // table is opened once before the measured ones, so that what Qt sets up
    // on first use (fonts, styles, the progress window) is not counted.
    sizes.insert(sizes.begin(), 1000);
    std::vector<std::string> paths;
    for (long n : sizes) {
        const std::string path = dir + "/bench_viewer_" + std::to_string(n) + ".dbf";
        if (!EnsureTable(path, n)) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
        paths.push_back(path);
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetLanguage(1);
    std::printf("(times are wall seconds; the target is judged by the CPU time)\n");
    std::printf("%-10s %9s %10s %8s %8s %8s %9s %8s %9s %9s %7s\n", "records", "file MB", "open+fill", "drawn",
                "total s", "CPU s", "target s", "used MB", "limit MB", "ratio", "points");
    // One viewer opens the tables one after the other, as the program does.
    AppContext ctx;
    ctx.Config.ChartPeriod.Kind = pkAll;
    ctx.Config.ViewerTab = 2;
    ui::TFADbf viewer(ctx, ui::MakeViewerActions(ctx));
    viewer.resize(1400, 850);
    viewer.show();
    QCoreApplication::processEvents();
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        const long n = sizes[k];
        const std::string& path = paths[k];
        const bool warmUp = k == 0;
        QCoreApplication::processEvents();

        const bool peakReset = ResetPeak();
        const long before = StatusKb("VmRSS");
        const double cpu0 = bench::Stopwatch::CpuNow();
        const auto a = Clock::now();
        viewer.OpenArchiveView(QString::fromStdString(path));
        const auto b = Clock::now();
        // Everything drawn: the grid's visible rows and the chart's points.
        viewer.Chart()->replot(QCustomPlot::rpImmediateRefresh);
        QCoreApplication::processEvents();
        const QPixmap shot = viewer.grab();
        const auto c = Clock::now();
        const double cpu = bench::Stopwatch::CpuNow() - cpu0;

        const long peak = PeakKb();
        if (warmUp) continue;
        const int points = viewer.Series1()->data()->size();
        const bool ok = viewer.TabsShown() && viewer.GridModel()->rowCount() == n && points > 0 &&
                        viewer.GridModel()->RowsRead() > 0 && !shot.isNull();
        const double fileMb = static_cast<double>(FileSize(path)) / (1024.0 * 1024.0);
        const double usedMb = static_cast<double>(peak - before) / 1024.0;
        const double target = n <= 1000000 ? 0.1 : 0.5;
        const double total = Seconds(a, c);
        std::printf("%-10ld %9.1f %10.3f %8.3f %8.3f %8.3f %9.1f %8.1f %9.1f %9.2f %7d%s%s%s%s\n", n, fileMb,
                    Seconds(a, b), Seconds(b, c), total, cpu, target, usedMb, 1.2 * fileMb, usedMb / fileMb, points,
                    Verdict(cpu < target), Verdict(usedMb <= 1.2 * fileMb), ok ? "" : "  (not shown!)",
                    peakReset ? "" : "  (peak not reset: memory of earlier runs included)");
        std::fflush(stdout);
    }
    viewer.FormCloseQuery();
    return 0;
}
