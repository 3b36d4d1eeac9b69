// SPDX-License-Identifier: GPL-3.0-or-later
// The walks of the output dialogs over a real table written by the storage
// engine: listed fields, keeping the position, the thinned walk with abort,
// the report lines, the export rows and the deletion texts.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"

using namespace kolvex;
namespace fs = std::filesystem;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

struct Scratch {
    fs::path Dir;
    Scratch() {
        char tmpl[] = "/tmp/kolvex-output-XXXXXX";
        Dir = ::mkdtemp(tmpl);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
};

// A table of both inputs (or of input 1 only) with the given time stamps;
// VSTUP1 = 20 + i / 10, VSTUP2 = i.
void MakeTable(TADM& adm, const fs::path& path, const std::vector<double>& stamps, bool bothInputs = true) {
    LoggerImage im;
    im.SerialNumber = 4711;
    im.Parameters.ArchiveFlags = bothInputs ? 3 : 1;
    im.Parameters.Input[0].SetName("Teplota");
    im.Parameters.Input[0].SetUnit("°C");
    im.Parameters.Input[1].SetName("Proud");
    im.Parameters.Input[1].SetUnit("mA");
    ArchiveParameterRecord r = BuildParameterRecord(im, Lang::Czech);
    if (bothInputs) {
        FieldDescriptor d = r.Descriptor(2);
        d.Decimals = 0;
        r.SetDescriptor(2, d);
    }
    adm.CreateArchive(path.string(), r);
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        adm.Table1.Append();
        adm.Table1.SetDateTime(0, stamps[i]);
        adm.Table1.SetFloat(1, 20 + static_cast<double>(i) / 10);
        if (bothInputs) adm.Table1.SetFloat(2, static_cast<double>(i));
        adm.Table1.Post();
    }
    adm.Table1.Flush();
}

struct Listener : TableListener {
    int Events = 0;
    void TableChanged(TableEvent) override { ++Events; }
};

struct CollectingSink : RowSink {
    std::vector<std::vector<double>> Values;
    std::vector<std::vector<bool>> Nulls;
    void AddRow(const std::vector<double>& v, const std::vector<bool>& n) override {
        Values.push_back(v);
        Nulls.push_back(n);
    }
    void Close() override {}
    std::uint64_t Rows() const override { return Values.size(); }
};

}  // namespace

TEST(TableOutput, FieldsWalkAndPositionKept) {
    Scratch s;
    TADM adm;
    // Every 5 minutes from 10:00 to 10:55, and a record at 10:09:59.6.
    std::vector<double> stamps;
    for (int i = 0; i < 12; ++i) stamps.push_back(At(2004, 8, 31, 10, 5 * i));
    stamps.insert(stamps.begin() + 2, At(2004, 8, 31, 10, 9, 59, 600));
    MakeTable(adm, s.Dir / "a.dbf", stamps);

    const std::vector<OutputField> f = OutputFields(adm.Table1, adm.ParameterRecord);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].Type, FieldType::DateTime);
    EXPECT_EQ(f[0].Label, "Datum a čas");
    EXPECT_EQ(f[0].Unit, "");
    EXPECT_EQ(f[1].Label, "Teplota");
    EXPECT_EQ(f[1].Unit, "°C");
    EXPECT_EQ(f[1].Decimals, 1);
    EXPECT_EQ(f[2].Label, "Proud");
    EXPECT_EQ(f[2].Decimals, 0);

    Listener l;
    adm.Table1.AddListener(&l);
    adm.Table1.MoveTo(5);
    l.Events = 0;
    std::vector<double> taken;
    std::vector<int> progress;
    {
        TablePositionGuard guard(adm.Table1);
        EXPECT_TRUE(adm.Table1.ControlsDisabled());
        const WalkResult r = WalkThinned(
            adm.Table1, At(2004, 8, 31, 10), At(2004, 8, 31, 10, 40), 600,
            [&] { taken.push_back(adm.Table1.AsDateTime(0)); },
            [&](int p) {
                progress.push_back(p);
                return false;
            });
        EXPECT_EQ(r.Visited, 13);
        EXPECT_EQ(r.Taken, 5);
        EXPECT_FALSE(r.Aborted);
    }
    EXPECT_FALSE(adm.Table1.ControlsDisabled());
    EXPECT_EQ(adm.Table1.RecNo(), 5);
    EXPECT_EQ(l.Events, 1) << "one refresh at the end, none during the walk";
    // 10:00, then 10:10 (10:05 and 10:09:59.6 below the threshold), 10:20,
    // 10:30, 10:40; the records after the end are still visited.
    ASSERT_EQ(taken.size(), 5u);
    EXPECT_DOUBLE_EQ(taken[1], At(2004, 8, 31, 10, 10));
    EXPECT_DOUBLE_EQ(taken[4], At(2004, 8, 31, 10, 40));
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(progress.size(), 13u);  // every change of the percentage once

    // The whole table (start = end = 0) with a one-day step: the first record only.
    taken.clear();
    WalkThinned(adm.Table1, 0, 0, 86400, [&] { taken.push_back(adm.Table1.AsDateTime(0)); });
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_DOUBLE_EQ(taken[0], stamps[0]);

    // An abort stops the walk at once; the guard still restores the position.
    adm.Table1.MoveTo(3);
    {
        TablePositionGuard guard(adm.Table1);
        const WalkResult r = WalkThinned(adm.Table1, 0, 0, 5, [] {}, [](int p) { return p >= 30; });
        EXPECT_TRUE(r.Aborted);
        EXPECT_EQ(r.Visited, 4);
    }
    EXPECT_EQ(adm.Table1.RecNo(), 3);

    // An exception inside the walk also resumes the controls.
    EXPECT_THROW(
        {
            TablePositionGuard guard(adm.Table1);
            WalkThinned(adm.Table1, 0, 0, 5, [] { throw EADM("x"); });
        },
        EADM);
    EXPECT_FALSE(adm.Table1.ControlsDisabled());
    EXPECT_EQ(adm.Table1.RecNo(), 3);
    adm.Table1.RemoveListener(&l);

    adm.CloseArchive();
    EXPECT_THROW(TablePositionGuard{adm.Table1}, EADM);
    EXPECT_FALSE(adm.Table1.ControlsDisabled());
}

TEST(TableOutput, ReportLinesAndExportRows) {
    Scratch s;
    TADM adm;
    std::vector<double> stamps;
    for (int i = 0; i < 5; ++i) stamps.push_back(At(2004, 8, 31, 23, 50 + i * 2));
    stamps.push_back(At(2004, 9, 1));
    MakeTable(adm, s.Dir / "00004711.dbf", stamps);

    ReportRequest rq;
    rq.Start = At(2004, 8, 31);
    rq.End = At(2004, 8, 31, 23, 59, 59, 999);
    rq.StepSeconds = 60;
    rq.Footer = "Footer";
    rq.Language = Lang::English;
    rq.PrintedAt = At(2004, 9, 2, 8, 0, 1);
    rq.DecimalSeparator = ',';
    const ReportData d = CollectReport(adm.Table1, adm.ParameterRecord, rq);
    EXPECT_EQ(d.FieldCount, 3u);
    EXPECT_EQ(d.Input.Serial, "00004711");
    EXPECT_EQ(d.Input.FileName, "00004711.dbf");
    ASSERT_EQ(d.Input.FieldLabels.size(), 3u);
    EXPECT_EQ(d.Input.FieldLabels[1], "Teplota");
    ASSERT_EQ(d.Lines.size(), 5u);  // 23:50 .. 23:58; 1 September is beyond the end
    EXPECT_EQ(d.Lines[0].Cells[0], "31/08/2004  23:50:00");
    EXPECT_EQ(d.Lines[0].Cells[1], "   20,0 °C");
    EXPECT_EQ(d.Lines[4].Cells[1], "   20,4 °C");
    EXPECT_EQ(d.Lines[4].Cells[2], "      4 mA");

    // A table of one input lists two fields; a null value prints an empty cell.
    TADM one;
    MakeTable(one, s.Dir / "b.dbf", {At(2004, 8, 31, 1), At(2004, 8, 31, 2)}, false);
    one.Table1.First();
    one.Table1.SetNull(1);
    one.Table1.Post();
    rq.Start = rq.End = 0;
    const ReportData d2 = CollectReport(one.Table1, one.ParameterRecord, rq);
    EXPECT_EQ(d2.FieldCount, 2u);
    EXPECT_EQ(d2.Input.FieldLabels.size(), 2u);
    ASSERT_EQ(d2.Lines.size(), 2u);
    EXPECT_EQ(d2.Lines[0].Cells[1], "");
    EXPECT_EQ(d2.Lines[1].Cells[2], "");

    // Export: native values, the heading from the fields, a one-instant period.
    const std::vector<ExportColumn> cols = ExportColumnsOf(OutputFields(adm.Table1, adm.ParameterRecord));
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_TRUE(cols[0].IsDateTime);
    EXPECT_EQ(cols[1].Unit, "°C");
    EXPECT_EQ(cols[2].Decimals, 0);
    CollectingSink sink;
    const WalkResult r = ExportRecords(adm.Table1, OutputFields(adm.Table1, adm.ParameterRecord), stamps[2],
                                       stamps[2], 5, sink);
    EXPECT_EQ(r.Visited, 6);
    ASSERT_EQ(sink.Rows(), 1u);
    EXPECT_DOUBLE_EQ(sink.Values[0][0], stamps[2]);
    EXPECT_DOUBLE_EQ(sink.Values[0][1], 20.2);
    EXPECT_DOUBLE_EQ(sink.Values[0][2], 2);

    const ExportHeader h = MakeExportHeader(adm.Table1, adm.ParameterRecord, true, 5, 6, 16, Lang::Czech);
    EXPECT_TRUE(h.All);
    EXPECT_EQ(h.Start, 0);
    EXPECT_EQ(h.Serial, "00004711");
    EXPECT_EQ(h.FileName, "00004711.dbf");
    EXPECT_EQ(h.StepCaption, "  1 den");
}

TEST(TableOutput, ExportRowsAreInTheSinkBeforeEachProgressReport) {
    // The export hands the sink blocks of rows: at each progress report the
    // rows of the records visited so far are in the sink, and an abort keeps
    // exactly those; the rows are the ones the thinned walk takes. Over
    // several of the table's blocks, for every record and for a thinned period.
    Scratch s;
    TADM adm;
    std::vector<double> stamps;
    for (int i = 0; i < 5000; ++i) stamps.push_back(At(2004, 8, 31) + i * 3.0 / 86400);
    MakeTable(adm, s.Dir / "e.dbf", stamps);
    const std::vector<OutputField> fields = OutputFields(adm.Table1, adm.ParameterRecord);
    struct Case {
        double Start, End;
        int Step;
        int AbortAt;  // percent
    } cases[] = {{0, 0, 0, 101}, {0, 0, 0, 57}, {At(2004, 8, 31, 0, 10), At(2004, 8, 31, 3), 20, 101},
                 {At(2004, 8, 31, 0, 10), At(2004, 8, 31, 3), 20, 43}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Step * 1000 + c.AbortAt);
        // The stamps the thinned walk takes, and how many among the first k records.
        StepThinner thinner(c.Start, c.End, c.Step);
        std::vector<double> taken;
        std::vector<std::int64_t> takenBy(stamps.size() + 1, 0);
        for (std::size_t k = 0; k < stamps.size(); ++k) {
            if (thinner.Take(stamps[k])) taken.push_back(stamps[k]);
            takenBy[k + 1] = static_cast<std::int64_t>(taken.size());
        }
        // The first record count that shows a percentage.
        auto firstAt = [](int percent) { return std::max<std::int64_t>(1, percent * 50); };
        CollectingSink sink;
        std::vector<int> reports;
        const WalkResult r = ExportRecords(adm.Table1, fields, c.Start, c.End, c.Step, sink, [&](int percent) {
            EXPECT_EQ(static_cast<std::int64_t>(sink.Rows()), takenBy[static_cast<std::size_t>(firstAt(percent))])
                << percent;
            reports.push_back(percent);
            return percent >= c.AbortAt;
        });
        const std::int64_t visited = c.AbortAt > 100 ? 5000 : firstAt(c.AbortAt);
        EXPECT_EQ(r.Aborted, c.AbortAt <= 100);
        EXPECT_EQ(r.Visited, visited);
        EXPECT_EQ(r.Taken, takenBy[static_cast<std::size_t>(visited)]);
        EXPECT_EQ(reports.size(), static_cast<std::size_t>(std::min(c.AbortAt, 100) + 1));  // 0 .. the last
        ASSERT_EQ(static_cast<std::int64_t>(sink.Rows()), r.Taken);
        for (std::size_t i = 0; i < sink.Values.size(); ++i) ASSERT_DOUBLE_EQ(sink.Values[i][0], taken[i]) << i;
        // Without progress: the whole walk.
        CollectingSink quiet;
        const WalkResult q = ExportRecords(adm.Table1, fields, c.Start, c.End, c.Step, quiet);
        EXPECT_EQ(q.Visited, 5000);
        ASSERT_EQ(quiet.Values.size(), taken.size());
        for (std::size_t i = 0; i < taken.size(); ++i) ASSERT_DOUBLE_EQ(quiet.Values[i][0], taken[i]) << i;
        EXPECT_DOUBLE_EQ(quiet.Values.back()[2], static_cast<double>(
                             std::find(stamps.begin(), stamps.end(), taken.back()) - stamps.begin()));
    }
}

TEST(TableOutput, DeletionTexts) {
    const double s = At(2004, 8, 31), e = At(2004, 8, 31, 23, 59, 59, 999);
    EXPECT_EQ(ErasePeriodQuestion(s, e, Lang::Czech),
              "Odstranit záznamy                      \r\n"
              "    od  31/08/2004 00:00:00\r\n"
              "    do  31/08/2004 23:59:59\r\n"
              "včetně?");
    EXPECT_EQ(ErasePeriodQuestion(s, e, Lang::English),
              "Delete records                         \r\n"
              "    from  31/08/2004 00:00:00\r\n"
              "    to    31/08/2004 23:59:59 ?");
    EXPECT_EQ(EraseAllQuestion(Lang::Czech), "Smazat databázi z disku ?");
    EXPECT_EQ(EraseAllQuestion(Lang::English), "Delete the database from the disk ?");
    EXPECT_EQ(EraseResultMessage(0, Lang::Czech), "Bylo odtraněno  0 záznamů");
    EXPECT_EQ(EraseResultMessage(17, Lang::English), "17 records was deleted");
    EXPECT_EQ(EraseProgressMessage(Lang::Czech), "Ostranění záznamů z databáze");
    EXPECT_EQ(EraseProgressMessage(Lang::English), "Deletion records from the database");
}

TEST(TableOutput, PagesReadFromTheTableHoldTheCollectedLines) {
    // A listing of several pages read page by page gives the lines of the
    // whole walk, each page the lines its columns hold, for the whole table
    // and for a thinned period.
    Scratch s;
    TADM adm;
    std::vector<double> stamps;
    for (int i = 0; i < 700; ++i) stamps.push_back(At(2004, 8, 31) + i * 7.0 / 86400);
    MakeTable(adm, s.Dir / "p.dbf", stamps);
    struct Case {
        double Start, End;
        int Step;
    } cases[] = {{0, 0, 5}, {At(2004, 8, 31, 0, 10), At(2004, 8, 31, 1), 15}, {At(2005, 1, 1), At(2005, 1, 2), 5}};
    for (const Case& c : cases) {
        ReportRequest rq;
        rq.Start = c.Start;
        rq.End = c.End;
        rq.StepSeconds = c.Step;
        TablePositionGuard guard(adm.Table1);
        const ReportData all = CollectReport(adm.Table1, adm.ParameterRecord, rq);
        const ReportPlan plan = PrepareReport(adm.Table1, adm.ParameterRecord, rq);
        ASSERT_EQ(plan.LineCount, all.Lines.size());
        ASSERT_EQ(plan.Pages.size(), PaginateReport(all.Lines.size()).size());
        std::vector<ReportLine> lines;
        std::size_t at = 0;
        for (std::size_t p = plan.Pages.size(); p-- > 0;) {  // any order
            const ReportPage& page = plan.Pages[p];
            const std::size_t n = ReportPageLines(adm.Table1, plan, p, lines);
            ASSERT_EQ(n, page.Columns[0].Count + page.Columns[1].Count);
            for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(lines[j].Cells, all.Lines[page.Columns[0].First + j].Cells);
            at += n;
        }
        EXPECT_EQ(at, all.Lines.size());
    }
}
