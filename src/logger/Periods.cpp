// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/Periods.h"

#include "logger/Records.h"

namespace kolvex {

// The English texts are kept exactly as the logger's users know them,
// including their odd padding and the cut hour words.
const std::array<PeriodRow, kPeriodCount> kPeriodTable = {{
    {1, 2, "1 sec", "1 sec "},
    {2, 2, "2 sec", "2 sec "},
    {3, 2, "3 sec", "3 sec "},
    {4, 2, "4 sec", "4 sec "},
    {5, 2, "5 sec", "5 sec "},
    {10, 2, "10 sec", "10 sec"},
    {15, 2, "15 sec", "15 sec"},
    {20, 2, "20 sec", "20 sec"},
    {30, 2, "30 sec", "30 sec"},
    {1, 3, "1 min", "1 min "},
    {2, 3, "2 min", "2 min "},
    {3, 3, "3 min", "3 min "},
    {4, 3, "4 min", "4 min "},
    {5, 3, "5 min", "5 min "},
    {10, 3, "10 min", "10 min"},
    {15, 3, "15 min", "15 min"},
    {20, 3, "20 min", "20 min"},
    {30, 3, "30 min", "30 min"},
    {1, 4, "1 hod", "1 hour"},
    {2, 4, "2 hod", "2 hour"},
    {3, 4, "3 hod", "3 hour"},
    {4, 4, "4 hod", "4 hour"},
    {6, 4, "6 hod", "6 hour"},
    {8, 4, "8 hod", " 8 hou"},
    {12, 4, "12 hod", "12 hou"},
    {24, 4, "24 hod", "24 hou"},
    {0, 0, "vyp   ", "off   "},
}};

int FindPeriodPosition(std::uint8_t periodValueBcd, std::uint8_t periodUnit) {
    // Compared in the stored (BCD) form, so a byte that is not valid BCD
    // never matches a row by accident.
    for (int i = 0; i < kPeriodCount; ++i) {
        const PeriodRow& row = kPeriodTable[static_cast<std::size_t>(i)];
        if (ByteToBcd(row.Value) == periodValueBcd && row.Unit == periodUnit) return i;
    }
    return -1;
}

std::string PeriodDisplayText(std::uint8_t periodValueBcd, std::uint8_t periodUnit, Lang lang) {
    const char* word = nullptr;
    switch (periodUnit & 7) {
        case 2: word = "sec"; break;
        case 3: word = "min"; break;
        case 4: word = lang == Lang::English ? "hour" : "hod"; break;
        default: return lang == Lang::English ? "off" : "vyp";
    }
    return std::to_string(BcdToByte(periodValueBcd)) + " " + word;
}

}  // namespace kolvex
