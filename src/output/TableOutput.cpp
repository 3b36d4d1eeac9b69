// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/TableOutput.h"

#include <algorithm>
#include <numeric>

#include "base/Errors.h"
#include "logger/Conversion.h"
#include "base/DateTime.h"
#include "output/PeriodSelection.h"

namespace kolvex {

namespace {

// The field that holds the time stamp: the first date-time field (field 0 of
// every archive table).
int TimeField(const Table& table) {
    for (int i = 0; i < table.FieldCount(); ++i)
        if (table.GetFieldType(i) == FieldType::DateTime) return i;
    return 0;
}

bool IsNumeric(FieldType t) {
    return t == FieldType::Float || t == FieldType::Integer || t == FieldType::AutoInc || t == FieldType::Currency;
}

// Tells a walk's progress as the share of the table's records visited, once
// for every new whole percent.
class PercentProgress {
public:
    PercentProgress(const WalkProgress& progress, std::int64_t total) : progress_(progress), total_(total) {}

    // Whether anything is reported at all.
    bool Active() const { return progress_ && total_ > 0; }
    // True when `visited` records make a new percentage to report.
    bool Due(std::int64_t visited) const {
        return Active() && static_cast<int>(visited * 100 / total_) != shown_;
    }

    // True when the user asks the walk to stop.
    bool Stopped(std::int64_t visited) {
        if (!progress_ || total_ <= 0) return false;
        const int percent = static_cast<int>(visited * 100 / total_);
        if (percent == shown_) return false;
        shown_ = percent;
        return progress_(percent);
    }

private:
    const WalkProgress& progress_;
    const std::int64_t total_;
    int shown_ = -1;
};

}  // namespace

std::vector<OutputField> OutputFields(const Table& table, const ArchiveParameterRecord& record) {
    std::vector<OutputField> out;
    const int n = table.FieldCount();
    const int described = std::min<int>(std::max(record.FieldCount(), 0), kMaxDescriptors);
    for (int i = 0; i < n; ++i) {
        OutputField f;
        f.Index = i;
        f.Type = table.GetFieldType(i);
        const FieldLayout& layout = table.Layout(i);
        f.Label = layout.Label.empty() ? table.FieldName(i) : layout.Label;
        if (i < described) {
            const FieldDescriptor d = record.Descriptor(i);
            if (f.Type != FieldType::DateTime) {
                f.Unit = d.Unit;
                f.Decimals = d.Decimals;
            }
        } else if (f.Type != FieldType::DateTime) {
            f.Unit = layout.DisplayFormat;
            f.Decimals = layout.Precision;
        }
        f.Decimals = std::clamp(f.Decimals, 0, 15);
        out.push_back(std::move(f));
    }
    return out;
}

TablePositionGuard::TablePositionGuard(Table& table) : table_(table) {
    if (!table.IsOpen()) throw EADM(Tr("Tabulka není otevřena", "The table is not open"));
    mark_ = table.GetBookmark();
    table.DisableControls();
}

TablePositionGuard::~TablePositionGuard() {
    try {
        if (table_.IsOpen() && mark_.Valid() && table_.RecordCount() > 0) table_.GotoBookmark(mark_);
    } catch (...) {
        // The remembered record is gone; the table stays where the walk left it.
    }
    table_.FreeBookmark(mark_);
    table_.EnableControls();
}

WalkResult WalkThinned(Table& table, double start, double end, int stepSeconds, const std::function<void()>& take,
                       const WalkProgress& progress) {
    WalkResult r;
    StepThinner thinner(start, end, stepSeconds);
    const int timeField = TimeField(table);
    PercentProgress percent(progress, table.RecordCount());
    table.First();
    while (!table.Eof()) {
        if (thinner.Take(table.AsDateTime(timeField))) {
            take();
            ++r.Taken;
        }
        table.Next();
        ++r.Visited;
        if (percent.Stopped(r.Visited)) {
            r.Aborted = true;
            break;
        }
    }
    return r;
}

std::string ReportCellText(const Table& table, const OutputField& field, char decimalSeparator) {
    if (table.IsNull(field.Index)) return {};
    switch (field.Type) {
        case FieldType::Float:
            return FormatValueCell(table.AsFloat(field.Index), field.Decimals, field.Unit, decimalSeparator);
        case FieldType::DateTime:
            return FormatDayFirst(table.AsDateTime(field.Index), "  ");
        default:
            return table.AsText(field.Index);
    }
}

namespace {

ReportInput MakeReportInput(const Table& table, const ArchiveParameterRecord& record, const ReportRequest& rq,
                            const std::vector<OutputField>& fields) {
    ReportInput in;
    in.Language = rq.Language;
    in.Serial = record.SerialNumber();
    in.FileName = table.FileName();
    in.Start = rq.Start;
    in.End = rq.End;
    in.StepSeconds = rq.StepSeconds;
    in.Footer = rq.Footer;
    in.PrintedAt = rq.PrintedAt;
    for (const OutputField& f : fields) in.FieldLabels.push_back(f.Label);
    return in;
}

}  // namespace

ReportData CollectReport(Table& table, const ArchiveParameterRecord& record, const ReportRequest& rq,
                         const WalkProgress& progress) {
    ReportData data;
    const std::vector<OutputField> fields = OutputFields(table, record);
    data.FieldCount = std::min<std::size_t>(fields.size(), 3);
    data.Input = MakeReportInput(table, record, rq,
                                 std::vector<OutputField>(fields.begin(), fields.begin() + data.FieldCount));
    const WalkResult r = WalkThinned(
        table, rq.Start, rq.End, rq.StepSeconds,
        [&] {
            ReportLine line;
            for (std::size_t i = 0; i < data.FieldCount; ++i)
                line.Cells[i] = ReportCellText(table, fields[i], rq.DecimalSeparator);
            data.Lines.push_back(std::move(line));
        },
        progress);
    data.Aborted = r.Aborted;
    return data;
}

ReportPlan PrepareReport(Table& table, const ArchiveParameterRecord& record, const ReportRequest& rq,
                         const WalkProgress& progress) {
    ReportPlan plan;
    plan.Fields = OutputFields(table, record);
    if (plan.Fields.size() > 3) plan.Fields.resize(3);
    plan.Input = MakeReportInput(table, record, rq, plan.Fields);
    plan.End = rq.End;
    plan.All = rq.Start == 0 && rq.End == 0;
    plan.DecimalSeparator = rq.DecimalSeparator;

    // The first line of every page follows from the line count alone. The
    // time stamps are read in blocks of decoded rows: the walk costs little
    // more than reading the file, so the preview can open at once.
    const std::size_t first = 2 * LinesPerColumn(true), other = 2 * LinesPerColumn(false);
    std::size_t nextStart = 0;
    StepThinner thinner(rq.Start, rq.End, rq.StepSeconds);
    PercentProgress percent(progress, table.RecordCount());
    std::int64_t visited = 0;
    table.Scan({TimeField(table)}, 1, [&](const ScanBlock& b) {
        for (std::size_t row = 0; row < b.Rows; ++row) {
            const StepThinner before = thinner;
            if (thinner.Take(b.Values[row * b.Fields])) {
                if (plan.LineCount == nextStart) {
                    plan.Starts.push_back({b.FirstRecNo + static_cast<std::int64_t>(row), before});
                    nextStart += plan.Starts.size() == 1 ? first : other;
                }
                ++plan.LineCount;
            }
        }
        visited += static_cast<std::int64_t>(b.Rows);
        if (percent.Stopped(visited)) {
            plan.Aborted = true;
            return false;
        }
        return true;
    });
    plan.Pages = PaginateReport(plan.LineCount);
    return plan;
}

std::size_t ReportPageLines(Table& table, const ReportPlan& plan, std::size_t page, std::vector<ReportLine>& lines) {
    std::size_t want = 0;
    if (page < plan.Pages.size())
        for (const ReportColumn& c : plan.Pages[page].Columns) want += c.Count;
    std::size_t n = 0;
    if (want > 0 && page < plan.Starts.size() && table.MoveTo(plan.Starts[page].RecNo)) {
        if (lines.size() < want) lines.resize(want);
        StepThinner thinner = plan.Starts[page].Thinner;
        const int timeField = TimeField(table);
        for (; n < want && !table.Eof(); table.Next()) {
            if (!thinner.Take(table.AsDateTime(timeField))) continue;
            ReportLine& line = lines[n++];
            for (std::size_t i = 0; i < plan.Fields.size(); ++i)
                line.Cells[i] = ReportCellText(table, plan.Fields[i], plan.DecimalSeparator);
        }
    }
    return n;
}

std::vector<ExportColumn> ExportColumnsOf(const std::vector<OutputField>& fields) {
    std::vector<ExportColumn> cols;
    for (const OutputField& f : fields) {
        ExportColumn c;
        c.IsDateTime = f.Type == FieldType::DateTime || f.Type == FieldType::Date;
        c.Label = f.Label;
        c.Unit = f.Unit;
        c.Decimals = std::clamp(f.Decimals, 0, 7);
        cols.push_back(std::move(c));
    }
    return cols;
}

ExportHeader MakeExportHeader(const Table& table, const ArchiveParameterRecord& record, bool all, double start,
                              double end, int stepIndex, Lang language) {
    ExportHeader h;
    h.Language = language;
    h.Serial = record.SerialNumber();
    h.FileName = table.FileName();
    h.All = all;
    h.Start = all ? 0 : start;
    h.End = all ? 0 : end;
    h.StepCaption = StepCaption(stepIndex);
    return h;
}

WalkResult ExportRecords(Table& table, const std::vector<OutputField>& fields, double start, double end,
                         int stepSeconds, RowSink& sink, const WalkProgress& progress) {
    // The time stamp and the exported numbers are read in blocks of decoded
    // rows (the time stamp once, also when it is exported); a field that is
    // neither (text) stays an empty cell.
    std::vector<int> scan = {TimeField(table)};
    std::vector<int> column(fields.size(), -1);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldType t = fields[i].Type;
        if (t == FieldType::DateTime || t == FieldType::Date || IsNumeric(t)) {
            if (fields[i].Index == scan[0]) {
                column[i] = 0;
            } else {
                column[i] = static_cast<int>(scan.size());
                scan.push_back(fields[i].Index);
            }
        }
    }
    // The rows the thinning takes go to the sink a block at a time; before
    // each progress report the rows visited so far are in the sink.
    WalkResult r;
    StepThinner thinner(start, end, stepSeconds);
    const bool every = thinner.TakesEvery();
    std::vector<std::uint32_t> taken;
    PercentProgress percent(progress, table.RecordCount());
    table.Scan(scan, 1, [&](const ScanBlock& b) {
        if (taken.size() < b.Rows) taken.resize(b.Rows);
        std::size_t n = 0;
        const auto hand = [&] {
            if (n == 0) return;
            sink.AddBlock({b.Values, b.Nulls, b.Fields, taken.data(), n, column.data(), column.size()});
            r.Taken += static_cast<std::int64_t>(n);
            n = 0;
        };
        if (every && !percent.Active()) {
            // Every row, and no progress to tell: the whole block at once.
            std::iota(taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(b.Rows), std::uint32_t{0});
            n = b.Rows;
            r.Visited += static_cast<std::int64_t>(b.Rows);
            hand();
            return true;
        }
        for (std::size_t row = 0; row < b.Rows; ++row) {
            if (every || thinner.Take(b.Values[row * b.Fields])) taken[n++] = static_cast<std::uint32_t>(row);
            ++r.Visited;
            if (percent.Due(r.Visited)) {
                hand();
                if (percent.Stopped(r.Visited)) {
                    r.Aborted = true;
                    return false;
                }
            }
        }
        hand();
        return true;
    });
    return r;
}

std::string EraseAllQuestion(Lang l) { return Tr(l, "Smazat databázi z disku ?", "Delete the database from the disk ?"); }

std::string ErasePeriodQuestion(double start, double end, Lang l) {
    const std::string crlf = "\r\n";
    const std::string s = FormatDayFirst(start), e = FormatDayFirst(end);
    if (l == Lang::English)
        return "Delete records" + std::string(25, ' ') + crlf + "    from  " + s + crlf + "    to    " + e + " ?";
    return "Odstranit záznamy" + std::string(22, ' ') + crlf + "    od  " + s + crlf + "    do  " + e + crlf + "včetně?";
}

std::int64_t CountRecordsInPeriod(Table& table, double start, double end) {
    std::int64_t n = 0;
    table.Scan({TimeField(table)}, 1, [&](const ScanBlock& b) {
        for (std::size_t row = 0; row < b.Rows; ++row) {
            const double t = b.Values[row * b.Fields];
            if (!b.Nulls[row * b.Fields] && start <= t && t <= end) ++n;
        }
        return true;
    });
    return n;
}

std::string EraseAllQuestion(const EraseTarget& target, Lang l) {
    const std::string crlf = "\r\n";
    return EraseAllQuestion(l) + crlf + crlf + Tr(l, "Tabulka: ", "Table: ") + target.Path + crlf +
           Tr(l, "Počet záznamů: ", "Records: ") + std::to_string(target.Records) + crlf +
           Tr(l, "Tabulka a soubor parametrů zaberou na disku ", "The table and its parameter file take ") +
           std::to_string(target.Bytes) + Tr(l, " bajtů.", " bytes on the disk.");
}

std::string ErasePeriodQuestion(double start, double end, const EraseTarget& target, Lang l) {
    const std::string crlf = "\r\n";
    return ErasePeriodQuestion(start, end, l) + crlf + crlf + Tr(l, "Tabulka: ", "Table: ") + target.Path + crlf +
           Tr(l, "Počet záznamů v období: ", "Records in the period: ") + std::to_string(target.Records);
}

std::string EraseResultMessage(std::int32_t count, Lang l) {
    const std::string n = std::to_string(count);
    return l == Lang::English ? n + " records was deleted" : "Bylo odtraněno  " + n + " záznamů";
}

std::string EraseProgressMessage(Lang l) {
    return Tr(l, "Ostranění záznamů z databáze", "Deletion records from the database");
}

}  // namespace kolvex
