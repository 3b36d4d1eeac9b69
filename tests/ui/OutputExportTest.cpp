// SPDX-License-Identifier: GPL-3.0-or-later
// The export dialog against a real table, the workbook read back with
// openpyxl: sheet name, header cells with their fonts, widths, number
// formats, the kind all, thinning, a start equal to the end, a field without
// decimals, more rows than a sheet holds, CSV, and the warning when no
// program opens the file.

#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QtTest>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "OutputFixture.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/TFAToExcel.h"

using namespace kolvex;
using kolvex::test::At;
using kolvex::test::OutputTable;
using kolvex::ui::TFAToExcel;
using nlohmann::json;

namespace {

PeriodSettings Block(int kind, int y, int m, int d, double start = 0, double end = 0) {
    PeriodSettings b;
    b.Kind = kind;
    b.Year = static_cast<std::uint16_t>(y);
    b.MonthIndex = static_cast<std::uint16_t>(m - 1);
    b.Day = static_cast<std::uint16_t>(d);
    b.Week = 1;
    b.Start = start ? start : At(y, m, d);
    b.End = end ? end : At(y, m, d);
    return b;
}

json Dump(const std::string& file) {
    const std::string script =
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "output/py/xlsx_dump.py").string();
    int status = 0;
    const std::string out = kolvex::test::RunCommand("/usr/bin/python3 '" + script + "' '" + file + "'", &status);
    if (status != 0) qWarning("%s", out.c_str());
    return json::parse(out);
}

struct Run {
    QString Path;
    QStringList Opened, Folders, Warnings, Errors;
    QString Saved;
    bool Asked = false;
    bool StillOpen = false;
    QString Suggested;
};

// Runs the export command with the save dialog answered by `file` and the
// opening of the result by `openResult`.
Run Export(OutputTable& t, const std::string& file, bool csv = false, bool openResult = true,
           const std::function<void(TFAToExcel&)>& adjust = {}) {
    Run r;
    TFAToExcel d(t.ctx);
    d.ChooseFile = [&](const QString& suggested) -> std::optional<TFAToExcel::SaveChoice> {
        r.Asked = true;
        r.Suggested = suggested;
        if (file.empty()) return std::nullopt;
        return TFAToExcel::SaveChoice{QString::fromStdString((t.Dir / file).string()), csv};
    };
    d.OpenFile = [&](const QString& path) {
        r.Opened << path;
        return openResult;
    };
    d.OpenFolder = [&](const QString& path) {
        r.Folders << path;
        return true;
    };
    d.Hooks.Warn = [&](const QString& title, const QString& text) { r.Warnings << title << text; };
    d.Hooks.Saved = [&](const QString&, const QString& text) {
        r.Saved = text;
        return kolvex::ui::OutputHooks::AfterSave::OpenFile;
    };
    d.Hooks.Error = [&](const std::exception& e) { r.Errors << QString::fromUtf8(e.what()); };
    if (adjust) adjust(d);
    d.show();
    d.Excel_BBClick();
    r.Path = d.WrittenPath();
    r.StillOpen = d.isVisible();
    return r;
}

}  // namespace

class OutputExportTest : public QObject {
    Q_OBJECT
private slots:
    void workbookOfADay() {
        SetLanguage(0);
        OutputTable t;
        // Field 2 without decimals.
        FieldDescriptor d2 = t.ctx.Adm.ParameterRecord.Descriptor(2);
        d2.Decimals = 0;
        t.ctx.Adm.ParameterRecord.SetDescriptor(2, d2);
        t.Add({At(2004, 8, 30, 23, 55)});
        t.AddEvery(At(2004, 8, 31), 5, 288);
        t.Add({At(2004, 9, 1)});
        t.ctx.Config.ExportPeriod = Block(pkDay, 2004, 8, 31);
        t.ctx.Config.StepIndex = 7;  // 10 min
        t.ctx.Adm.Table1.MoveTo(9);

        const Run r = Export(t, "day.xlsx", false, true, [](TFAToExcel& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Přenos dat do Excelu"));
            QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Excel_BB"))->text(), QStringLiteral("&Excel"));
            QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Help_BB"))->text(), QStringLiteral("&Nápověda"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            kolvex::test::Shot(&d, QStringLiteral("export_cs"));
        });
        QCOMPARE(r.Suggested, QString::fromStdString((t.Dir / "00012345.xlsx").string()));
        QCOMPARE(r.Opened, QStringList{r.Path});
        QVERIFY(!r.StillOpen);
        QVERIFY(r.Warnings.isEmpty());
        QVERIFY(r.Errors.isEmpty());
        QCOMPARE(t.ctx.Adm.Table1.RecNo(), std::int64_t(9));
        QVERIFY(!t.ctx.Adm.Table1.ControlsDisabled());
        QCOMPARE(t.ctx.Config.StepIndex, 7);
        QCOMPARE(t.ctx.Config.ExportPeriod.Kind, static_cast<std::int32_t>(pkDay));

        const json d = Dump(r.Path.toStdString());
        QCOMPARE(d["sheets"].size(), std::size_t(2));  // the data and the summary
        QCOMPARE(d["sheets"][1]["name"].get<std::string>(), std::string("Souhrn"));
        const json& s = d["sheets"][0];
        QCOMPARE(s["name"].get<std::string>(), std::string("00012345.dbf"));
        QCOMPARE(s["max_row"].get<int>(), 5 + 144);
        const json& c = s["cells"];
        auto text = [&](const char* cell) { return QString::fromStdString(c[cell]["value"].get<std::string>()); };
        QCOMPARE(text("A1"), QStringLiteral("Archivace QUENDAL 730"));
        QCOMPARE(c["A1"]["size"].get<double>(), 20.0);
        QVERIFY(c["A1"]["bold"].get<bool>());
        QCOMPARE(c["A1"]["color"].get<std::string>(), std::string("FF0000FF"));
        QCOMPARE(text("B2"), QStringLiteral("výr.čís.:   00012345"));
        QCOMPARE(text("B3"), QStringLiteral("soubor:   00012345.dbf"));
        QCOMPARE(text("E1"), QStringLiteral("období od:"));
        QCOMPARE(text("F1"), QStringLiteral("31/08/2004  00:00:00"));
        QCOMPARE(text("E2"), QStringLiteral("období do:"));
        QCOMPARE(text("F2"), QStringLiteral("31/08/2004  23:59:59"));
        QCOMPARE(text("E3"), QStringLiteral("perioda:"));
        QCOMPARE(text("F3"), QStringLiteral("10 min"));
        for (const char* cell : {"B2", "B3", "E1", "F1", "E2", "F2", "E3", "F3"}) {
            QCOMPARE(c[cell]["size"].get<double>(), 10.0);
            QVERIFY(!c[cell]["bold"].get<bool>());
            QCOMPARE(c[cell]["color"].get<std::string>(), std::string("FF808080"));
        }
        QCOMPARE(text("A5"), QStringLiteral("Datum a čas"));
        QCOMPARE(text("B5"), QStringLiteral("Teplota (°C)"));
        QCOMPARE(text("C5"), QStringLiteral("Vlhkost (% r.v.)"));
        QVERIFY(c["C5"]["bold"].get<bool>());
        QCOMPARE(c["C5"]["color"].get<std::string>(), std::string("FF000080"));
        QCOMPARE(c["C5"]["size"].get<double>(), 10.0);
        // Every other record, as native values with their formats.
        QCOMPARE(c["A6"]["value"].get<std::string>(), std::string("2004-08-31 00:00:00"));
        QCOMPARE(c["A7"]["value"].get<std::string>(), std::string("2004-08-31 00:10:00"));
        QCOMPARE(c["A8"]["value"].get<std::string>(), std::string("2004-08-31 00:20:00"));
        QCOMPARE(c["A6"]["format"].get<std::string>(), std::string("dd/mm/yyyy hh:mm:ss"));
        QCOMPARE(c["B7"]["value"].get<double>(), 20.3);
        QCOMPARE(c["B7"]["format"].get<std::string>(), std::string("0.0"));
        QCOMPARE(c["C7"]["value"].get<double>(), 53.0);
        QCOMPARE(c["C7"]["format"].get<std::string>(), std::string("0"));
        // The file holds the widths with the spreadsheet's padding (20 -> 20.71).
        QVERIFY(std::abs(s["widths"]["A"].get<double>() - 20) < 1);
        QVERIFY(std::abs(s["widths"]["B"].get<double>() - 12) < 1);
        QVERIFY(std::abs(s["widths"]["C"].get<double>() - 12) < 1);
        QVERIFY(s["widths"].contains("G") && std::abs(s["widths"]["G"].get<double>() - 12) < 1);
        QVERIFY(!c.contains("D5"));
    }

    void kindAllEqualEndsAndSheets() {
        SetLanguage(1);
        OutputTable t(false, "x.dbf");
        t.AddEvery(At(2004, 8, 30, 12), 360, 9);  // every 6 hours
        t.ctx.Config.ExportPeriod = Block(pkAll, 2004, 8, 31);
        t.ctx.Config.StepIndex = 16;
        const Run all = Export(t, "all.xlsx", false, true, [](TFAToExcel& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Convert to Excel"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            kolvex::test::Shot(&d, QStringLiteral("export_en"));
        });
        json d = Dump(all.Path.toStdString());
        json c = d["sheets"][0]["cells"];
        QCOMPARE(c["A1"]["value"].get<std::string>(), std::string("QUENDAL 730"));
        QCOMPARE(c["B2"]["value"].get<std::string>(), std::string("S/N.:     00012345"));
        QCOMPARE(c["B3"]["value"].get<std::string>(), std::string("File:   x.dbf"));
        QCOMPARE(c["E1"]["value"].get<std::string>(), std::string("period :"));
        QCOMPARE(c["F1"]["value"].get<std::string>(), std::string("complete database"));
        QVERIFY(!c.contains("E2") && !c.contains("F2"));
        QCOMPARE(c["E3"]["value"].get<std::string>(), std::string("period:"));
        QCOMPARE(c["F3"]["value"].get<std::string>(), std::string("  1 den"));
        QCOMPARE(c["B5"]["value"].get<std::string>(), std::string("Teplota (°C)"));
        QVERIFY(!c.contains("C5"));  // two fields: columns A and B only
        QCOMPARE(d["sheets"][0]["max_row"].get<int>(), 8);  // one record per day
        QCOMPARE(c["A6"]["value"].get<std::string>(), std::string("2004-08-30 12:00:00"));
        QCOMPARE(c["A7"]["value"].get<std::string>(), std::string("2004-08-31 00:00:00"));

        // The kind chosen with the start equal to the end: that instant only.
        PeriodSettings one = Block(pkChosen, 2004, 8, 31, At(2004, 8, 31, 6), At(2004, 8, 31, 6));
        t.ctx.Config.ExportPeriod = one;
        t.ctx.Config.StepIndex = 0;
        const Run instant = Export(t, "instant.xlsx");
        d = Dump(instant.Path.toStdString());
        c = d["sheets"][0]["cells"];
        QCOMPARE(c["F1"]["value"].get<std::string>(), std::string("31/08/2004  06:00:00"));
        QCOMPARE(c["F2"]["value"].get<std::string>(), std::string("31/08/2004  06:00:00"));
        QCOMPARE(d["sheets"][0]["max_row"].get<int>(), 6);
        QCOMPARE(c["A6"]["value"].get<std::string>(), std::string("2004-08-31 06:00:00"));

        // More rows than a sheet holds continue on the next sheets.
        t.ctx.Config.ExportPeriod = Block(pkAll, 2004, 8, 31);
        const Run big = Export(t, "big.xlsx", false, true, [](TFAToExcel& x) { x.SheetRows = 9; });
        d = Dump(big.Path.toStdString());
        QCOMPARE(d["sheets"].size(), std::size_t(4));  // 4 + 4 + 1 rows, the summary second
        QCOMPARE(d["sheets"][2]["name"].get<std::string>(), std::string("x.dbf (2)"));
        QCOMPARE(d["sheets"][2]["cells"]["B5"]["value"].get<std::string>(), std::string("Teplota (°C)"));
        QCOMPARE(d["sheets"][2]["cells"]["A6"]["value"].get<std::string>(), std::string("2004-08-31 12:00:00"));
        QCOMPARE(d["sheets"][3]["max_row"].get<int>(), 6);
    }

    void csvWarningAndCancel() {
        SetLanguage(0);
        OutputTable t;
        t.AddEvery(At(2004, 8, 31, 10), 30, 3);
        t.ctx.Config.ExportPeriod = Block(pkAll, 2004, 8, 31);
        t.ctx.Config.StepIndex = 0;
        const Run r = Export(t, "day.csv", true, false);
        QCOMPARE(r.Warnings.size(), 2);
        QCOMPARE(r.Warnings[0], QStringLiteral("Upozornění"));
        // The file is not opened: its folder instead, the warning names the
        // file, and the dialog stays.
        QVERIFY(r.Warnings[1].startsWith(QStringLiteral("Propojení na aplikaci Microsoft Excel není dostupné...\n") +
                                         r.Path + QStringLiteral("\n\n")));
        QVERIFY2(r.Warnings[1].contains(QStringLiteral("Pro soubor ") + r.Path + QStringLiteral(" není zaregistrována")) &&
                     r.Warnings[1].endsWith(QStringLiteral("Otevřena je složka se souborem.")),
                 qPrintable(r.Warnings[1]));
        QCOMPARE(r.Folders, QStringList{r.Path});
        QVERIFY(r.StillOpen);
        std::ifstream in(r.Path.toStdString(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string expected = "\xEF\xBB\xBF" "Datum a čas;Teplota (°C);Vlhkost (% r.v.)\r\n"
                                     "2004-08-31 10:00:00;20;50\r\n"
                                     "2004-08-31 10:30:00;20,1;51\r\n"
                                     "2004-08-31 11:00:00;20,2;52\r\n";
        QCOMPARE(ss.str(), expected);

        // A cancelled save dialog writes nothing and keeps the dialog open.
        const Run cancelled = Export(t, "");
        QVERIFY(cancelled.Asked);
        QVERIFY(cancelled.Path.isEmpty());
        QVERIFY(cancelled.Opened.isEmpty());
        QVERIFY(cancelled.StillOpen);

        // Without a table: the error box, no file, no warning.
        t.ctx.Adm.CloseArchive();
        const Run none = Export(t, "none.xlsx");
        QCOMPARE(none.Errors, QStringList{QStringLiteral("Tabulka není otevřena")});
        QVERIFY(none.Opened.isEmpty() && none.Warnings.isEmpty());
        QVERIFY(!none.Asked);
        QVERIFY(!none.StillOpen);
    }
};

QTEST_MAIN(OutputExportTest)
#include "OutputExportTest.moc"
