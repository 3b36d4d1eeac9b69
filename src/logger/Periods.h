// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logger's archiving periods: the 27-position table of the archiving
// parameters editor and the text that shows a stored period.

#include <array>
#include <cstdint>
#include <string>

#include "base/Language.h"

namespace kolvex {

struct PeriodRow {
    std::uint8_t Value;  // decimal (stored in the logger as BCD)
    std::uint8_t Unit;   // 2 seconds, 3 minutes, 4 hours, 0 off
    const char* Czech;
    const char* English;
};

inline constexpr int kPeriodCount = 27;
inline constexpr int kPeriodFirstSelectable = 5;
inline constexpr int kPeriodOff = 26;
extern const std::array<PeriodRow, kPeriodCount> kPeriodTable;

// Position of the row whose value and unit equal the stored BCD value and
// unit; -1 when no row matches.
int FindPeriodPosition(std::uint8_t periodValueBcd, std::uint8_t periodUnit);

// The text the editor shows for a stored period: the decimal number, a space
// and "sec" / "min" / "hod" ("hour"); for any other unit "vyp" ("off").
std::string PeriodDisplayText(std::uint8_t periodValueBcd, std::uint8_t periodUnit, Lang lang);

}  // namespace kolvex
