// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing an exported period as a spreadsheet workbook (.xlsx) or as CSV.
// The header block, the column heading and the rows follow the export
// dialog's sheet layout; dates and values are native spreadsheet values with
// number formats, so that the user can sort, compute and chart them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Language.h"

namespace kolvex {

struct SummaryDocument;

struct ExportColumn {
    bool IsDateTime = false;
    std::string Label;
    std::string Unit;
    int Decimals = 0;  // 0..7
};

struct ExportHeader {
    Lang Language = Lang::English;
    std::string Serial;     // the serial number as shown
    std::string FileName;   // the table's file name without directory
    bool All = false;       // the kind "all": no period lines
    double Start = 0, End = 0;
    std::string StepCaption;
};

// Header texts of the export, exactly as the sheet shows them.
struct ExportHeaderTexts {
    std::string Title, SerialLine, FileLine, FromLabel, FromValue, ToLabel, ToValue, StepLabel, StepValue;
};
ExportHeaderTexts MakeExportHeaderTexts(const ExportHeader& h);
// The header's period lines are FormatDayFirst(value, "  ") (two blanks); CSV
// cells FormatDayFirst(value) (base/DateTime.h).
// The number format of a value column: "0", "0.0", "0.00", ...
std::string ValueNumberFormat(int decimals);
// A worksheet name from a file name: at most 31 characters, no []:*?/\.
std::string SheetNameFor(const std::string& fileName, int part);

// Rows of a block of decoded records for a sink to take in one call: rows
// Taken[0..Count) of Values and Nulls (Stride entries a row, Nulls[i] != 0
// for an empty field), in that order; the sink's column c holds entry
// Source[c] of a row, and stays empty where Source[c] is negative or c is
// not below Columns.
struct RowBlock {
    const double* Values = nullptr;
    const std::uint8_t* Nulls = nullptr;
    std::size_t Stride = 0;
    const std::uint32_t* Taken = nullptr;
    std::size_t Count = 0;
    const int* Source = nullptr;
    std::size_t Columns = 0;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // One value per column (the date-time column as a date-time value);
    // `isNull[i]` leaves a cell empty.
    virtual void AddRow(const std::vector<double>& values, const std::vector<bool>& isNull) = 0;
    // The same from arrays of n entries (isNull[i] != 0 leaves a cell empty):
    // what the table walks call, so that a sink may take a row without
    // building vectors.
    virtual void AddCells(const double* values, const std::uint8_t* isNull, std::size_t n) {
        AddRow(std::vector<double>(values, values + n), std::vector<bool>(isNull, isNull + n));
    }
    // The rows of a block, as the table walks hand them over; by default
    // one AddCells call a row (an empty cell holds 0).
    virtual void AddBlock(const RowBlock& block);
    // Completes the file; throws EKolvex when it cannot be written.
    virtual void Close() = 0;
    virtual std::uint64_t Rows() const = 0;
};

// .xlsx in constant memory; more rows than a sheet holds continue on further
// sheets with the same header and heading. Throws EKolvex on failure.
// `sheetRows` is the number of rows of a sheet (a smaller one serves tests).
// With a summary, the second sheet, named by its title, holds it.
std::unique_ptr<RowSink> OpenXlsxExport(const std::string& path, const ExportHeader& header,
                                        const std::vector<ExportColumn>& columns,
                                        std::uint32_t sheetRows = 1048576,
                                        const SummaryDocument* summary = nullptr);
// CSV in UTF-8 with a byte-order mark: one heading line of labels and units,
// then the rows; time stamps "YYYY-MM-DD hh:mm:ss", values as ShortestDecimal.
// Czech: ';' between fields and ',' as the decimal mark; English: ',' and '.'.
std::unique_ptr<RowSink> OpenCsvExport(const std::string& path, const std::vector<ExportColumn>& columns,
                                       Lang language);

struct CsvFormat {
    char Separator, Decimal;
};
CsvFormat CsvFormatFor(Lang language);
// The same with a chosen separator and decimal mark; when both are the same
// character, every number is quoted.
std::unique_ptr<RowSink> OpenCsvExport(const std::string& path, const std::vector<ExportColumn>& columns,
                                       CsvFormat format);

// The shortest decimal (with '.') that reads back as the value; a value that
// is exactly a single-precision number gives that number's shortest decimal
// (118.24528, not 118.2452774047852). Empty for NaN and infinities.
std::string ShortestDecimal(double value);
// The double nearest that decimal: what a workbook cell gets.
double ExportedValue(double value);

// The lines of that CSV without their line break: the heading, and one row
// (date-time cells FormatDayFirst, values with their column's decimals and
// the given decimal separator, a null cell empty). Also used by the live
// recording and the command-line tool, so every CSV of the program reads alike.
std::string CsvHeadingText(const std::vector<ExportColumn>& columns, char decimalSeparator);
std::string CsvHeadingText(const std::vector<ExportColumn>& columns, CsvFormat format);
std::string CsvRowText(const std::vector<ExportColumn>& columns, const std::vector<double>& values,
                       const std::vector<bool>& isNull, char decimalSeparator);

inline constexpr std::uint32_t kSheetRows = 1048576;
inline constexpr std::uint32_t kFirstDataRow = 5;  // row 6 of the sheet

}  // namespace kolvex
