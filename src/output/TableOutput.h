// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The walks of the output dialogs over the open archive table, without any
// toolkit: the listed fields with their labels, units and decimals, keeping
// the table's position across a walk, the step-thinned walk itself, the
// listing lines of the printed report, the rows of an export and the texts
// of the record deletion.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Language.h"
#include "archive/ParameterFile.h"
#include "archive/Table.h"
#include "output/PeriodSelection.h"
#include "output/ReportLayout.h"
#include "output/WorkbookExport.h"

namespace kolvex {

// One field of the open table as the output shows it.
struct OutputField {
    int Index = 0;
    FieldType Type = FieldType::Unknown;
    std::string Label;  // the display label (the field name when it has none)
    std::string Unit;   // unit text of a value field
    int Decimals = 0;   // decimals of a value field
};

// The fields of the open table in field order: labels from the table's
// display layout, units and decimals from the parameter record's descriptors
// (from the display layout for a field beyond them).
std::vector<OutputField> OutputFields(const Table& table, const ArchiveParameterRecord& record);

// Suspends the updating of the controls attached to the table and remembers
// its current record; the destructor returns to that record and resumes the
// updating, also when the walk ends with an exception. Throws EADM when no
// table is open (nothing is suspended then).
class TablePositionGuard {
public:
    explicit TablePositionGuard(Table& table);
    ~TablePositionGuard();
    TablePositionGuard(const TablePositionGuard&) = delete;
    TablePositionGuard& operator=(const TablePositionGuard&) = delete;

private:
    Table& table_;
    Bookmark mark_;
};

// Progress of a walk, 0..100, reported whenever the percentage changes;
// returning true stops the walk.
using WalkProgress = std::function<bool(int percent)>;

struct WalkResult {
    std::int64_t Visited = 0;  // records read
    std::int64_t Taken = 0;    // records the thinning took
    bool Aborted = false;
};

// Visits every record from the first in table order and calls `take` with
// the table standing on each record that the step thinning takes (period
// [start, end], both 0 for the whole table). The table is left where the
// walk stopped: callers keep its position with a TablePositionGuard.
WalkResult WalkThinned(Table& table, double start, double end, int stepSeconds, const std::function<void()>& take,
                       const WalkProgress& progress = {});

// ---- the printed listing ----------------------------------------------------

// Text of a listing cell of the current record: " %6.*f %s" for a value field,
// "dd/mm/yyyy  hh:nn:ss" for the time stamp, the field's own text otherwise;
// an empty field gives an empty cell.
std::string ReportCellText(const Table& table, const OutputField& field, char decimalSeparator);

struct ReportLine {
    std::array<std::string, 3> Cells;
};

struct ReportData {
    ReportInput Input;
    std::size_t FieldCount = 0;  // listed fields, at most 3
    std::vector<ReportLine> Lines;
    bool Aborted = false;
};

struct ReportRequest {
    double Start = 0, End = 0;  // both 0: the whole table
    int StepSeconds = 1800;
    std::string Footer;
    Lang Language = Lang::English;
    double PrintedAt = 0;
    char DecimalSeparator = '.';
};

// The title block's values and the listing lines of a report over the open
// table (the title block texts themselves come from ReportTitleItems).
ReportData CollectReport(Table& table, const ArchiveParameterRecord& record, const ReportRequest& request,
                         const WalkProgress& progress = {});

// Where a page's listing begins: the record number of its first line and
// the thinning as it stood before that record.
struct ReportPageStart {
    std::int64_t RecNo = 0;
    StepThinner Thinner{0, 0, 1};
};

// A report prepared for drawing page by page: the title block's values, the
// listed fields, the number of listed lines and where each page begins in the
// table. The lines themselves are read from the table when their page is
// drawn, so the memory does not grow with the listing; the table must stay
// where it is (under a TablePositionGuard) until the report is gone.
struct ReportPlan {
    ReportInput Input;
    std::vector<OutputField> Fields;  // the listed fields, at most 3
    std::size_t LineCount = 0;
    std::vector<ReportPage> Pages;
    std::vector<ReportPageStart> Starts;  // one per page with lines
    double End = 0;
    bool All = false;
    char DecimalSeparator = '.';
    bool Aborted = false;
};

// One walk over the table's time stamps that counts the listed lines and
// marks the pages; progress is reported per block of records.
ReportPlan PrepareReport(Table& table, const ArchiveParameterRecord& record, const ReportRequest& request,
                         const WalkProgress& progress = {});
// Reads the listing lines of a page (both page columns, in order) from the
// table into the first entries of `lines` (grown as needed, never shrunk, so
// its strings keep their storage from page to page); returns their number.
std::size_t ReportPageLines(Table& table, const ReportPlan& plan, std::size_t page, std::vector<ReportLine>& lines);

// ---- the spreadsheet export -------------------------------------------------

std::vector<ExportColumn> ExportColumnsOf(const std::vector<OutputField>& fields);

// The header block of an export of the open table; `all` for the kind all.
ExportHeader MakeExportHeader(const Table& table, const ArchiveParameterRecord& record, bool all, double start,
                              double end, int stepIndex, Lang language);

// Writes the records the thinning takes into the sink (which the caller
// closes). Date-time fields go in as date-time values, value fields as
// numbers, an empty field as an empty cell.
WalkResult ExportRecords(Table& table, const std::vector<OutputField>& fields, double start, double end,
                         int stepSeconds, RowSink& sink, const WalkProgress& progress = {});

// ---- the record deletion ----------------------------------------------------

std::string EraseAllQuestion(Lang language);
// "Odstranit záznamy" + 22 blanks, CR LF, "    od  " S, CR LF, "    do  " E,
// CR LF, "včetně?" (English: "Delete records" + 25 blanks, CR LF, "    from  "
// S, CR LF, "    to    " E, " ?"), S and E as "dd/mm/yyyy hh:nn:ss".
std::string ErasePeriodQuestion(double start, double end, Lang language);
// What a deletion destroys, for its question: the table's path and the number
// of its records; for the whole archive also the bytes of the table and its
// parameter file on the disk.
struct EraseTarget {
    std::string Path;
    std::int64_t Records = 0;
    std::uint64_t Bytes = 0;
};
// The records of the open table whose time stamp lies in [start, end].
std::int64_t CountRecordsInPeriod(Table& table, double start, double end);
// The two questions with what they destroy below them.
std::string EraseAllQuestion(const EraseTarget& target, Lang language);
std::string ErasePeriodQuestion(double start, double end, const EraseTarget& target, Lang language);
std::string EraseResultMessage(std::int32_t count, Lang language);
std::string EraseProgressMessage(Lang language);

}  // namespace kolvex
