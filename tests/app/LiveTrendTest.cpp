// SPDX-License-Identifier: GPL-3.0-or-later
// The live trend's core: statistics, the alarm crossing rule, the bounded
// history with its gaps, and the recording file.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "base/Errors.h"
#include "app/LiveRecording.h"
#include "app/LiveTrend.h"

using namespace kolvex;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/kolvex-live-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

}  // namespace

TEST(LiveStatistics, MinMaxMeanWithTheirTimes) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> readings;  // time, value
        double min, minTime, max, maxTime, mean;
        std::int64_t count;
    };
    const Case cases[] = {
        {"one reading", {{1, 5}}, 5, 1, 5, 1, 5, 1},
        {"the first time of a repeated extreme", {{1, 3}, {2, 7}, {3, 3}, {4, 7}}, 3, 1, 7, 2, 5, 4},
        {"negative values", {{1, -2}, {2, -8}, {3, 1}}, -8, 2, 1, 3, -3, 3},
        {"a value that is no number is skipped", {{1, 2}, {2, kNaN}, {3, 4}}, 2, 1, 4, 3, 3, 2},
    };
    for (const Case& c : cases) {
        LiveStatistics s;
        for (auto [t, v] : c.readings) s.Add(t, v);
        EXPECT_EQ(s.Count(), c.count) << c.name;
        EXPECT_DOUBLE_EQ(s.Min(), c.min) << c.name;
        EXPECT_DOUBLE_EQ(s.MinTime(), c.minTime) << c.name;
        EXPECT_DOUBLE_EQ(s.Max(), c.max) << c.name;
        EXPECT_DOUBLE_EQ(s.MaxTime(), c.maxTime) << c.name;
        EXPECT_DOUBLE_EQ(s.Mean(), c.mean) << c.name;
    }

    // Reset starts afresh; the text shows the times of day and the decimals.
    LiveStatistics s;
    s.Add(45000.5, 20);
    s.Reset();
    EXPECT_EQ(StatisticsText(s, 1, '.', Lang::English), "min –  max –  mean –");
    s.Add(45000.25 + 5.0 / 86400, 21.25);   // 06:00:05
    s.Add(45000.5 + 40.0 / 86400, 19.5);    // 12:00:40
    EXPECT_EQ(StatisticsText(s, 1, ',', Lang::Czech), "min 19,5 (12:00:40)  max 21,2 (06:00:05)  průměr 20,4");
}

TEST(AlarmWatch, OneNotificationPerCrossing) {
    struct Case {
        const char* name;
        std::optional<double> low, high;
        std::vector<double> values;
        std::string states;  // N, L, H after each value
        int crossings;
    };
    const Case cases[] = {
        {"noise around the upper limit is one crossing", 0.0, 100.0, {99, 101, 99.5, 100.5, 98.5, 101}, "NHHHHH", 1},
        {"back by the hysteresis re-arms", 0.0, 100.0, {101, 98, 101}, "HNH", 2},
        {"the limit itself is no crossing", 0.0, 100.0, {100, 0, 100}, "NNN", 0},
        {"lower limit likewise", 0.0, 100.0, {-1, 1, -0.5, 2, -3}, "LLLNL", 2},
        {"from high straight to low is a new crossing", 0.0, 100.0, {120, -5, 120}, "HLH", 3},
        {"a failed reading changes nothing", 0.0, 100.0, {101, kNaN, 101}, "HHH", 1},
        {"only an upper limit", std::nullopt, 100.0, {-1000, 101}, "NH", 1},
        {"no limits, no alarms", std::nullopt, std::nullopt, {-1e9, 1e9}, "NN", 0},
    };
    for (const Case& c : cases) {
        AlarmWatch w;
        w.SetLimits(c.low, c.high, 2.0);
        std::string states;
        int crossings = 0;
        for (double v : c.values) {
            bool crossed = false;
            const AlarmState s = w.Add(v, &crossed);
            states += s == AlarmState::High ? 'H' : s == AlarmState::Low ? 'L' : 'N';
            crossings += crossed;
        }
        EXPECT_EQ(states, c.states) << c.name;
        EXPECT_EQ(crossings, c.crossings) << c.name;
    }

    LiveInput in;
    in.Name = "Teplota";
    in.Unit = "°C";
    in.Decimals = 1;
    in.AlarmHigh = 100.0;
    EXPECT_EQ(AlarmNotificationText(0, in, AlarmState::High, 100.44, '.', Lang::English),
              "Input 1 (Teplota): 100.4 °C above the upper alarm limit 100.0 °C");
    in.AlarmLow = 10.0;
    EXPECT_EQ(AlarmNotificationText(1, in, AlarmState::Low, 9.5, ',', Lang::Czech),
              "Vstup 2 (Teplota): 9,5 °C pod dolní mezí alarmu 10,0 °C");
}

TEST(LiveHistory, BoundedThinsTheOldestAndKeepsGaps) {
    LiveHistory h(16);
    h.Add(0, {1.0, 2.0});
    h.AddGap(1);
    h.AddGap(2);  // a second failure in a row adds nothing
    ASSERT_EQ(h.Points().size(), 2u);
    EXPECT_TRUE(std::isnan(h.Points()[1].Value[0]) && std::isnan(h.Points()[1].Value[1]));
    // Only input 2 recorded: input 1 has no value, which is no gap point.
    h.Add(3, {std::nullopt, 5.0});
    h.AddGap(4);
    EXPECT_EQ(h.Points().size(), 4u);

    for (int t = 5; t < 1000; ++t) h.Add(t, {double(t), double(-t)});
    const auto& p = h.Points();
    EXPECT_LE(p.size(), 16u);
    EXPECT_EQ(p.back().Time, 999);
    for (std::size_t i = 1; i < p.size(); ++i) EXPECT_LT(p[i - 1].Time, p[i].Time);
    // The newest quarter of the capacity is still every reading.
    for (std::size_t i = p.size() - 4; i < p.size(); ++i) EXPECT_EQ(p[i].Time, p[i - 1].Time + 1);

    // A gap in the older half survives however often it is thinned.
    LiveHistory g(8);
    for (int t = 0; t < 3; ++t) g.Add(t, {1.0, 1.0});
    g.AddGap(3);
    for (int t = 4; t < 200; ++t) g.Add(t, {1.0, 1.0});
    bool gap = false;
    for (const LivePoint& q : g.Points()) gap = gap || std::isnan(q.Value[0]);
    EXPECT_TRUE(gap);
}

TEST(LiveRecording, AppendsLinesInTheExportFormat) {
    TempDir dir;
    std::array<LiveInput, 2> inputs;
    inputs[0].Recorded = false;
    inputs[1].Recorded = true;
    inputs[1].Name = "Proud";
    inputs[1].Unit = "%";
    inputs[1].Decimals = 2;
    const double t = 45000.5 + 5.0 / 86400;
    // Only the recorded input's column, in the export's own row format; a
    // failed reading keeps its time stamp with an empty value.
    const auto columns = LiveCsvColumns(inputs, Lang::English);
    const std::string heading = CsvHeadingText(columns, '.');
    EXPECT_EQ(heading, "Date and time,Proud (%)");
    EXPECT_EQ(LiveCsvLine(inputs, t, std::array<double, 2>{7, 12.3456}, '.'),
              CsvRowText(columns, {t, 12.3456}, {false, false}, '.'));
    EXPECT_EQ(LiveCsvLine(inputs, t, std::nullopt, '.'), CsvRowText(columns, {t, 0}, {false, true}, '.'));
    EXPECT_EQ(LiveCsvLine(inputs, t, std::nullopt, '.').back(), ',');

    // The heading only in a new file; a second run continues the file.
    const std::string path = (dir.path / "live.csv").string();
    for (int run = 0; run < 2; ++run) {
        LiveCsvFile f;
        f.Open(path, heading);
        f.Append("line " + std::to_string(run));
        const std::string now = ReadAll(path);  // on disk while the file is still open
        EXPECT_EQ(now.substr(now.size() - 8), "line " + std::to_string(run) + "\r\n");
    }
    EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF" "Date and time,Proud (%)\r\nline 0\r\nline 1\r\n");

    // A file that cannot be opened names itself and the reason.
    LiveCsvFile bad;
    try {
        bad.Open((dir.path / "no" / "such.csv").string(), heading);
        FAIL() << "opened a file in a missing folder";
    } catch (const EADM& e) {
        EXPECT_NE(std::string(e.what()).find("such.csv"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(bad.IsOpen());

    // The settings file: written and read back, damage ignored.
    const std::string settings = LiveSettingsPath((dir.path / "kolvex12.cfg").string());
    EXPECT_EQ(settings, (dir.path / "kolvex12-live.ini").string());
    EXPECT_EQ(LoadLiveSettings(settings).Window, TrendWindow::OneHour);  // no file: defaults
    ASSERT_TRUE(SaveLiveSettings(settings, {TrendWindow::EightHours, "/data/měření.csv"}));
    const LiveSettings back = LoadLiveSettings(settings);
    EXPECT_EQ(back.Window, TrendWindow::EightHours);
    EXPECT_EQ(back.RecordFile, "/data/měření.csv");
    std::ofstream(settings) << "window=3d\r\nrubbish\nrecord_file=/x.csv\r\n";
    EXPECT_EQ(LoadLiveSettings(settings).Window, TrendWindow::OneHour);
    EXPECT_EQ(LoadLiveSettings(settings).RecordFile, "/x.csv");
}
