// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings a first start uses when there is no configuration file, the
// clamping of a restored window placement, and the bridge between the
// configuration record and the communication settings of the port.

#include <string>

#include "base/ConfigRecord.h"
#include "link/CommSettings.h"

namespace kolvex {

class TSerCom;

// Window geometry in pixels.
struct Placement {
    int Top = 0, Left = 0, Height = 0, Width = 0;
};

// The main window's fields: placement 10, 10, screen height - 20, screen
// width - 20 (the screen's work area), live display off, English.
void ApplyShellDefaults(ConfigRecord& cfg, int screenWidth, int screenHeight);
// Enumerates the ports and takes the first one; bus address 255, the two
// unused bytes 29 := 1 and 35 := 3, idle 20 ms, reply time-out 100 ms.
void ApplyCommDefaultsTo(ConfigRecord& cfg, TSerCom& port);
// Storing options of the download: name from the archiving parameters, split
// by year, read from the bookmark, move the bookmark.
void ApplyStoringDefaults(ConfigRecord& cfg);
// Viewer, printing and export: tab "table and chart", last archive path = the
// working directory with a trailing "/", print and export period "day" of
// today, step index 9 (30 min), word 304 := 9.
void ApplyViewerDefaults(ConfigRecord& cfg, double today, const std::string& workingDir);
// Chart period: "all" with today's values.
void ApplyChartDefaults(ConfigRecord& cfg, double today);
// Record deletion period: "day" of today.
void ApplyEraseDefaults(ConfigRecord& cfg, double today);

// All of the above in the start-up order.
void ApplyConfigDefaults(ConfigRecord& cfg, TSerCom& port, int screenWidth, int screenHeight, double today,
                         const std::string& workingDir);

// A period block for `kind` holding today: start 00:00:00.000, end
// 23:59:59.999, year, month index, day and week number of today.
PeriodSettings PeriodForToday(int kind, double today);

// The restored placement, clamped against the screen's work area W x H:
// top 0..H-50, left 0..W-100, height 100..H-20, width 250..W-20.
Placement ClampPlacement(const Placement& stored, int screenWidth, int screenHeight);

// The communication fields of the record and back. The port name is cut to
// four characters when stored.
CommSettings CommFromConfig(const ConfigRecord& cfg);
void CommToConfig(const CommSettings& comm, ConfigRecord& cfg);

// A time spin value left by the user: rounded down to a multiple of 10.
int RoundDownToTen(int value);

}  // namespace kolvex
