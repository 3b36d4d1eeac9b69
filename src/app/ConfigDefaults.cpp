// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ConfigDefaults.h"

#include <cmath>

#include "link/SerCom.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {

constexpr double kEndOfDay = (86'400'000.0 - 1.0) / 86'400'000.0;  // 23:59:59.999

// Monday-to-Sunday weeks; week 1 is the week that holds 1 January, so it
// starts on the Monday on or before it.
int WeekNumberOf(double date) {
    const DateTimeParts parts = DecodeDateTime(date);
    const auto jan1 = TryEncodeDateTime(parts.Year, 1, 1, 0, 0, 0);
    if (!jan1) return 1;
    const int jan1Dow = DecodeDateTime(*jan1).DayOfWeek;  // 0 = Sunday
    const double week1Start = *jan1 - ((jan1Dow + 6) % 7);
    return static_cast<int>(std::floor((std::floor(date) - week1Start) / 7.0)) + 1;
}

}  // namespace

PeriodSettings PeriodForToday(int kind, double today) {
    PeriodSettings p;
    const double day = std::floor(today);
    const DateTimeParts parts = DecodeDateTime(day);
    p.Kind = kind;
    p.Year = static_cast<std::uint16_t>(parts.Year);
    p.MonthIndex = static_cast<std::uint16_t>(parts.Month - 1);
    p.Day = static_cast<std::uint16_t>(parts.Day);
    p.Week = static_cast<std::uint16_t>(WeekNumberOf(day));
    p.Start = day;
    p.End = day + kEndOfDay;
    return p;
}

void ApplyShellDefaults(ConfigRecord& cfg, int screenWidth, int screenHeight) {
    cfg.WindowTop = 10;
    cfg.WindowLeft = 10;
    cfg.WindowHeight = screenHeight - 20;
    cfg.WindowWidth = screenWidth - 20;
    cfg.MeasuringOn = 0;
    cfg.Language = 1;
}

void ApplyCommDefaultsTo(ConfigRecord& cfg, TSerCom& port) {
    CommSettings comm = CommFromConfig(cfg);
    ApplyCommDefaults(port, comm);
    CommToConfig(comm, cfg);
    cfg.Byte29 = 1;
    cfg.Byte35 = 3;
}

void ApplyStoringDefaults(ConfigRecord& cfg) {
    cfg.NameSource = 0;
    cfg.SplitFlags = 1;
    cfg.ReadMode = 0;
    cfg.InsertBookmark = 1;
}

void ApplyViewerDefaults(ConfigRecord& cfg, double today, const std::string& workingDir) {
    cfg.ViewerTab = 2;
    cfg.ViewerGridWidth = 0;
    cfg.LastArchivePath = workingDir.empty() || workingDir.back() != '/' ? workingDir + "/" : workingDir;
    cfg.PrintPeriod = PeriodForToday(0, today);
    cfg.StepIndex = 9;
    cfg.ExportPeriod = PeriodForToday(0, today);
    cfg.Word304 = 9;
}

void ApplyChartDefaults(ConfigRecord& cfg, double today) { cfg.ChartPeriod = PeriodForToday(5, today); }

void ApplyEraseDefaults(ConfigRecord& cfg, double today) { cfg.ErasePeriod = PeriodForToday(0, today); }

void ApplyConfigDefaults(ConfigRecord& cfg, TSerCom& port, int screenWidth, int screenHeight, double today,
                         const std::string& workingDir) {
    ApplyShellDefaults(cfg, screenWidth, screenHeight);
    ApplyCommDefaultsTo(cfg, port);
    ApplyStoringDefaults(cfg);
    ApplyViewerDefaults(cfg, today, workingDir);
    ApplyChartDefaults(cfg, today);
    ApplyEraseDefaults(cfg, today);
}

Placement ClampPlacement(const Placement& stored, int screenWidth, int screenHeight) {
    const int W = screenWidth, H = screenHeight;
    Placement p = stored;
    if (p.Top < 0) p.Top = 0;
    if (p.Top > H - 50) p.Top = H - 50;
    if (p.Left < 0) p.Left = 0;
    if (p.Left > W - 100) p.Left = W - 100;
    if (p.Height < 100) p.Height = 100;
    if (p.Height > H - 20) p.Height = H - 20;
    if (p.Width < 250) p.Width = 250;
    if (p.Width > W - 20) p.Width = W - 20;
    return p;
}

CommSettings CommFromConfig(const ConfigRecord& cfg) {
    CommSettings comm;
    comm.ComPort = cfg.ComPort;
    comm.BusAddress = cfg.BusAddress;
    comm.TIdle = cfg.TIdle;
    comm.TSlot = cfg.TSlot;
    return comm;
}

void CommToConfig(const CommSettings& comm, ConfigRecord& cfg) {
    cfg.ComPort = StoredPortName(comm.ComPort);
    cfg.BusAddress = comm.BusAddress;
    cfg.TIdle = static_cast<std::uint16_t>(comm.TIdle < 0 ? 0 : comm.TIdle > 65535 ? 65535 : comm.TIdle);
    cfg.TSlot = static_cast<std::uint16_t>(comm.TSlot < 0 ? 0 : comm.TSlot > 65535 ? 65535 : comm.TSlot);
}

int RoundDownToTen(int value) { return value >= 0 ? value / 10 * 10 : -((-value + 9) / 10 * 10); }

}  // namespace kolvex
