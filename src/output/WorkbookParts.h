// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of a workbook file (.xlsx) besides its worksheets: the workbook
// with its sheet list and print titles, the styles, the theme, the content
// types, the relationships and the document properties; and the XML text
// escapes the worksheets use as well.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kolvex {

// The cell formats of styles.xml, by index (the s attribute of a cell).
enum WorkbookStyle : int {
    kStyleNone = 0,
    kStyleGrey = 1,     // 10 pt, grey: the header block
    kStyleTitle = 2,    // 20 pt, bold, blue: the title
    kStyleHeading = 3,  // 10 pt, bold, dark blue: the column heading
    kStyleDate = 4,     // dd/mm/yyyy hh:mm:ss
    kStyleValue0 = 5,   // "0", "0.0", ... "0.0000000": kStyleValue0 + decimals (0..7)
    kStyleDuration = 13,  // [h]:mm:ss
    kStyleShare = 14,     // 0.0%
};

struct WorkbookSheet {
    std::string Name;
    bool PrintTitles = false;  // rows 1 to 5 printed on every page
};

// Appends s as XML text: &, < and > (and " in an attribute) as entities,
// control characters, which XML cannot carry, as the _xHHHH_ escapes
// spreadsheets read.
void AppendXmlText(std::string& out, std::string_view s, bool attribute = false);

// The parts, for the sheets in workbook order; sheet i (from 1) is the part
// xl/worksheets/sheet<i>.xml.
std::string WorkbookXml(const std::vector<WorkbookSheet>& sheets);
std::string WorkbookRelationshipsXml(std::size_t sheets);
std::string ContentTypesXml(std::size_t sheets);
std::string AppPropertiesXml(const std::vector<WorkbookSheet>& sheets);
std::string CorePropertiesXml(std::time_t created);
std::string PackageRelationshipsXml();
std::string StylesXml();
std::string ThemeXml();

}  // namespace kolvex
