// SPDX-License-Identifier: GPL-3.0-or-later
// Archive viewer speed: opens tables of 1,000,000 and 10,000,000 records
// (DATETIME + two doubles) in the viewer, offscreen, and prints the time
// until the grid and the chart are drawn, and the memory the opening took:
// the peak resident size while opening and drawing less the resident size
// before (the pages of a mapped table count while they are resident).
// Targets (CPU time, the median of five openings after a warm-up): 1 M
// records under 0.1 s, 10 M under 0.5 s; memory at most 1.2 times the file
// plus 16 MB (what the grid, the chart and Qt take beside the mapped file).
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

#include "BenchKit.h"
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

long PeakKb() {
    const long hwm = bench::StatusKb("VmHWM");
    if (hwm >= 0) return hwm;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

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
    const std::string dir = bench::DirArg(argc, argv, 1, "/tmp");
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(bench::CountArg(argc, argv, i, 0));
    if (sizes.empty()) sizes = {1000000, 10000000};

    // All tables first: the measuring process never writes one. A small
    // table is opened before each measured one, so that what Qt sets up on
    // first use (fonts, styles, the progress window) is not counted and each
    // measured opening replaces another table, as a user's does.
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
    bench::Session session("archive viewer");
    SetLanguage(1);
    std::printf("(open+fill, drawn and total are wall seconds, the medians of 5; CPU s the median CPU time)\n");
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
    struct Opening {
        double Open = 0, Drawn = 0, Total = 0, Cpu = 0, UsedMb = 0;
        bool Ok = false, PeakReset = false;
    };
    auto open = [&](std::size_t k) {
        Opening o;
        QCoreApplication::processEvents();
        o.PeakReset = bench::ResetPeak();
        const long before = bench::StatusKb("VmRSS");
        const double cpu0 = bench::CpuNow();
        const auto a = Clock::now();
        viewer.OpenArchiveView(QString::fromStdString(paths[k]));
        const auto b = Clock::now();
        // Everything drawn: the grid's visible rows and the chart's points.
        viewer.Chart()->replot(QCustomPlot::rpImmediateRefresh);
        QCoreApplication::processEvents();
        const QPixmap shot = viewer.grab();
        const auto c = Clock::now();
        o.Cpu = bench::CpuNow() - cpu0;
        o.UsedMb = static_cast<double>(PeakKb() - before) / 1024.0;
        o.Open = Seconds(a, b);
        o.Drawn = Seconds(b, c);
        o.Total = Seconds(a, c);
        o.Ok = viewer.TabsShown() && viewer.GridModel()->rowCount() == sizes[k] &&
               viewer.Series1()->data()->size() > 0 && viewer.GridModel()->RowsRead() > 0 && !shot.isNull();
        return o;
    };
    open(0);
    for (std::size_t k = 1; k < sizes.size(); ++k) {
        const long n = sizes[k];
        std::vector<Opening> runs;
        for (int i = 0; i < 6; ++i) {
            open(0);
            const Opening o = open(k);
            if (i > 0) runs.push_back(o);  // the first is the warm-up
        }
        auto median = [&runs](double Opening::*field) {
            std::vector<double> v;
            for (const Opening& o : runs) v.push_back(o.*field);
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        Opening m;
        m.Open = median(&Opening::Open);
        m.Drawn = median(&Opening::Drawn);
        m.Total = median(&Opening::Total);
        m.Cpu = median(&Opening::Cpu);
        m.Ok = m.PeakReset = true;
        for (const Opening& o : runs) {
            m.UsedMb = std::max(m.UsedMb, o.UsedMb);
            m.Ok = m.Ok && o.Ok;
            m.PeakReset = m.PeakReset && o.PeakReset;
        }
        const int points = viewer.Series1()->data()->size();
        const double fileMb = static_cast<double>(FileSize(paths[k])) / (1024.0 * 1024.0);
        const double limitMb = 1.2 * fileMb + 16;
        const double target = n <= 1000000 ? 0.1 : 0.5;
        std::printf("%-10ld %9.1f %10.3f %8.3f %8.3f %8.3f %9.1f %8.1f %9.1f %9.2f %7d%s%s\n", n, fileMb, m.Open,
                    m.Drawn, m.Total, m.Cpu, target, m.UsedMb, limitMb, m.UsedMb / fileMb, points,
                    m.Ok ? "" : "  (not shown!)", m.PeakReset ? "" : "  (peak not reset: memory of earlier runs included)");
        char line[160];
        std::snprintf(line, sizeof line, "%ld records opened and drawn in %.3f s CPU < %.1f s", n, m.Cpu, target);
        session.Target(line, m.Cpu < target && m.Ok);
        std::snprintf(line, sizeof line, "%ld records: memory %.1f MB <= 1.2 x the file + 16 MB = %.1f MB", n,
                      m.UsedMb, limitMb);
        session.Target(line, m.UsedMb <= limitMb);
        std::fflush(stdout);
    }
    viewer.FormCloseQuery();
    return session.Finish();
}
