// SPDX-License-Identifier: GPL-3.0-or-later
// The print dialog and the printed listing: the report written to a PDF file
// through QPrinter and read back with pdftotext -layout. Title block texts in
// both languages, the kind all, the step texts, the thinning, a table of two
// fields, a period without records, the footer, page numbers, and the table's
// position after the preview.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <QLabel>
#include <QPrinter>
#include <QSpinBox>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "OutputFixture.h"
#include "base/SafeFile.h"
#include "base/ui/ModalRunner.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/ReportPreview.h"
#include "output/ui/TFANastTisk.h"
#include "output/ui/TFQRAPrint.h"

using namespace kolvex;
using kolvex::test::At;
using kolvex::test::OutputTable;
using kolvex::ui::TFANastTisk;
using kolvex::ui::TFQRAPrint;

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

// A word of the PDF with its box in millimetres from the page's top left corner.
struct Word {
    int Page = 0;
    double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    QString Text;
};

std::vector<Word> Words(const std::string& pdf) {
    const QString html = QString::fromStdString(kolvex::test::RunCommand("pdftotext -bbox '" + pdf + "' -"));
    std::vector<Word> out;
    int page = 0;
    static const QRegularExpression token(
        QStringLiteral("<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    auto mm = [](const QString& pt) { return pt.toDouble() * 25.4 / 72.0; };
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++page;
            continue;
        }
        QString text = m.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        out.push_back({page, mm(m.captured(1)), mm(m.captured(2)), mm(m.captured(3)), mm(m.captured(4)), text});
    }
    return out;
}

struct Printed {
    std::vector<Word> Boxes;
    QString Text;       // pdftotext -layout of the whole report
    QStringList Pages;  // the same per page
    std::size_t PageCount = 0;
    std::size_t FieldCount = 0;
    std::size_t Lines = 0;
    bool Shown = false;
};

// Runs the dialog's print command with the preview replaced by a PDF file;
// the listing alone unless `summary` asks for the summary page before it.
Printed Print(OutputTable& t, const QString& name, const std::function<void(TFANastTisk&)>& adjust = {},
              bool summary = false) {
    Printed out;
    TFANastTisk d(t.ctx);
    d.SummaryPage = summary;
    d.Clock = [] { return At(2004, 9, 2, 8, 15, 30); };
    d.Hooks.Error = [](const std::exception& e) { QFAIL(e.what()); };
    const QString pdf = QString::fromStdString((t.Dir / (name.toStdString() + ".pdf")).string());
    d.ShowPreview = [&](const TFQRAPrint& report) {
        out.Shown = true;
        out.PageCount = report.PageCount();
        out.FieldCount = report.Plan().Fields.size();
        out.Lines = report.Plan().LineCount;
        QVERIFY(report.PrintToPdf(pdf));
        // While the preview is open the table's controls are still suspended.
        QVERIFY(t.ctx.Adm.Table1.ControlsDisabled());
    };
    if (adjust) adjust(d);
    d.Print_BBClick();
    if (!out.Shown) return out;
    out.Text = QString::fromStdString(kolvex::test::RunCommand("pdftotext -layout '" + pdf.toStdString() + "' -"));
    out.Pages = out.Text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    out.Boxes = Words(pdf.toStdString());
    const QString shots = kolvex::test::ShotsDir();
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        kolvex::test::RunCommand("pdftoppm -png -r 70 -f 1 -l 2 '" + pdf.toStdString() + "' '" +
                                 (shots + QStringLiteral("/") + name).toStdString() + "'");
    }
    return out;
}

bool Has(const QString& text, const QString& pattern) { return text.contains(QRegularExpression(pattern)); }

// Whether the page holds the word with its left edge (or, for a right-aligned
// text, its right edge) and its top at the position, in millimetres of the page.
bool Placed(const Printed& p, int page, const QString& text, double x, double y, bool rightEdge = false) {
    for (const Word& w : p.Boxes)
        if (w.Page == page && w.Text == text && std::abs((rightEdge ? w.X1 : w.X0) - x) < 0.5 && std::abs(w.Y0 - y) < 0.5)
            return true;
    qWarning("%s not at %.1f, %.1f on page %d", qPrintable(text), x, y, page);
    return false;
}

}  // namespace

class OutputPrintTest : public QObject {
    Q_OBJECT
private slots:
    // A month of five-minute records with two excursions and a gap: the
    // summary page before the listing gives the figures that an independent
    // computation (dbfread and Python's statistics and math) gives, and the
    // listing's pages are numbered after it.
    void summaryPageOfAMonth() {
        SetLanguage(0);
        OutputTable t;
        Table& tab = t.ctx.Adm.Table1;
        RecordingInfo info;
        info.PeriodSeconds = 300;
        info.Input[0] = {true, true, 2.0, 8.0};
        info.Input[1] = {true, false, std::nullopt, std::nullopt};
        t.ctx.Adm.ParameterRecord.SetRecording(info);
        const double start = At(2026, 11, 1);
        tab.DisableControls();
        for (int i = 0; i < 30 * 288; ++i) {
            const double when = start + i * 5 / 1440.0;
            if (when >= At(2026, 11, 15, 10, 5) && when < At(2026, 11, 15, 12)) continue;  // 23 records lost
            double v = 5 + 1.5 * std::sin(i * 0.01);
            if (when >= At(2026, 11, 10, 12) && when < At(2026, 11, 10, 12, 30)) v = 9.5;  // six records above
            if (when >= At(2026, 11, 20, 3) && when < At(2026, 11, 20, 3, 20)) v = 1.0;    // four below
            tab.Append();
            tab.SetDateTime(0, when);
            tab.SetFloat(1, v);
            if (i % 500 == 7) tab.SetNull(2);
            else tab.SetFloat(2, 40 + i % 30);
            tab.Post();
        }
        tab.EnableControls();
        t.ctx.Adm.CloseArchive();
        QVERIFY(t.ctx.Adm.OpenArchive(t.Path));
        t.ctx.Config.PrintPeriod = Block(pkMonth, 2026, 11, 1);
        t.ctx.Config.StepIndex = 16;  // one line a day

        const Printed p = Print(t, QStringLiteral("summary_cs"), {}, true);
        QVERIFY(p.Shown);
        QCOMPARE(p.PageCount, std::size_t(2));
        const QString page = p.Pages[0];
        const QString ref = QString::fromStdString(kolvex::test::RunCommand(
            "/usr/bin/python3 '" KOLVEX_TEST_SOURCE_DIR "/output/py/summary_ref.py' '" + t.Path + "' 300 10000 2 8 - -"));
        const QJsonObject r = QJsonDocument::fromJson(ref.toUtf8()).object();
        QVERIFY2(r[QStringLiteral("inputs")].toArray().size() == 2, qPrintable(ref));
        const QJsonObject in1 = r[QStringLiteral("inputs")].toArray()[0].toObject();
        QCOMPARE(r[QStringLiteral("records_missing")].toInt(), 23);
        QCOMPARE(in1[QStringLiteral("excursions_above")].toInt(), 1);
        QCOMPARE(in1[QStringLiteral("excursions_below")].toInt(), 1);
        auto row = [&](const QString& label, const QString& value) {
            if (Has(page, QRegularExpression::escape(label) + QStringLiteral("\\s+") + QRegularExpression::escape(value)))
                return true;
            qWarning("%s %s not on the summary page:\n%s", qPrintable(label), qPrintable(value), qPrintable(page));
            return false;
        };
        QVERIFY(row(QStringLiteral("Počet záznamů"), QString::number(r[QStringLiteral("records")].toInt())));
        QVERIFY(row(QStringLiteral("Mezery v záznamu"), QStringLiteral("1")));
        QVERIFY(row(QStringLiteral("Chybějící záznamy"), QStringLiteral("23")));
        QVERIFY(row(QStringLiteral("Průměr"), QString::number(in1[QStringLiteral("mean")].toDouble(), 'f', 2)));
        QVERIFY(row(QStringLiteral("Směrodatná odchylka"), QString::number(in1[QStringLiteral("std_dev")].toDouble(), 'f', 2)));
        QVERIFY(row(QStringLiteral("Překročení horní meze"), QStringLiteral("1")));
        QVERIFY(row(QStringLiteral("Doba nad horní mezí"), QStringLiteral("00:30:00")));
        QVERIFY(row(QStringLiteral("Doba pod dolní mezí"), QStringLiteral("00:20:00")));
        QVERIFY(row(QStringLiteral("(ΔH/R = 10000 K)"), QString::number(in1[QStringLiteral("mkt")].toDouble(), 'f', 2)));
        QVERIFY(row(QStringLiteral("Prázdné hodnoty"), QStringLiteral("0")));
        QVERIFY(page.contains(QStringLiteral("10/11/2026 12:00:00")));  // the excursion above starts
        // The listing follows on page 2, numbered 2.
        QVERIFY(Has(p.Pages[1], QStringLiteral("Strana:\\s+2")));

        SetLanguage(1);
        const Printed e = Print(t, QStringLiteral("summary_en"), {}, true);
        QVERIFY(Has(e.Pages[0], QStringLiteral("Excursions above\\s+1")));
        QVERIFY(e.Pages[0].contains(QStringLiteral("Mean kinetic temperature")));
    }

    void titleBlockThinningAndPages() {
        SetLanguage(0);
        OutputTable t;
        // One record every 5 minutes through 31 August, and one each side.
        t.Add({At(2004, 8, 30, 23, 55)});
        t.AddEvery(At(2004, 8, 31), 5, 288);
        t.Add({At(2004, 9, 1)});
        t.ctx.Config.PrintPeriod = Block(pkDay, 2004, 8, 31);
        t.ctx.Config.StepIndex = 7;  // 10 min
        t.ctx.Adm.ParameterRecord.SetFooter("Kontrola teploty");
        t.ctx.Adm.Table1.MoveTo(17);

        const Printed p = Print(t, QStringLiteral("print_cs"), [](TFANastTisk& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Tisk databáze"));
            QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Print_BB"))->text(), QStringLiteral("&Tisk"));
            QCOMPARE(d.Footer()->text(), QStringLiteral("Kontrola teploty"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            kolvex::test::Shot(&d, QStringLiteral("print_dialog_cs"));
        });
        QVERIFY(p.Shown);
        QCOMPARE(p.Lines, std::size_t(144));  // every other record of the day
        QCOMPARE(p.PageCount, std::size_t(2));
        QCOMPARE(p.Pages.size(), 2);
        const QString& first = p.Pages[0];
        QVERIFY(first.contains(QStringLiteral("Archivace QUENDAL 730")));
        QVERIFY(Has(first, QStringLiteral("Výrobní číslo\\s+00012345")));
        QVERIFY(Has(first, QStringLiteral("Soubor:\\s+00012345.dbf")));
        QVERIFY(first.contains(QStringLiteral("23:59:59")));
        QVERIFY(first.contains(QStringLiteral("08:15:30")));
        QVERIFY(Has(first, QStringLiteral("Perioda:\\s+10 min")));
        // Every item at its place: left margin 25.4, top margin 10.
        QVERIFY(Placed(p, 1, QStringLiteral("Archivace"), 25.4 + 1.1, 10 + 4.2));
        QVERIFY(Placed(p, 1, QStringLiteral("Výrobní"), 25.4 + 5.3, 10 + 12.7));
        QVERIFY(Placed(p, 1, QStringLiteral("00012345"), 25.4 + 33.9, 10 + 12.7));
        QVERIFY(Placed(p, 1, QStringLiteral("Soubor:"), 25.4 + 5.3, 10 + 16.9));
        QVERIFY(Placed(p, 1, QStringLiteral("00012345.dbf"), 25.4 + 33.9, 10 + 16.9));
        QVERIFY(Placed(p, 1, QStringLiteral("Od:"), 25.4 + 122.8, 10 + 6.3));
        QVERIFY(Placed(p, 1, QStringLiteral("31/08/2004"), 25.4 + 139.7, 10 + 6.3));
        QVERIFY(Placed(p, 1, QStringLiteral("Do:"), 25.4 + 122.8, 10 + 10.6));
        QVERIFY(Placed(p, 1, QStringLiteral("31/08/2004"), 25.4 + 139.7, 10 + 10.6));
        QVERIFY(Placed(p, 1, QStringLiteral("Perioda:"), 25.4 + 122.8, 10 + 15.3));
        QVERIFY(Placed(p, 1, QStringLiteral("10"), 25.4 + 139.7, 10 + 15.3));
        QVERIFY(Placed(p, 1, QStringLiteral("Datum"), 25.4 + 122.8, 10 + 21.2));
        QVERIFY(Placed(p, 1, QStringLiteral("02/09/2004"), 25.4 + 139.7, 10 + 21.2));
        // The column headers of both page columns, 10 apart, below the title block.
        const double head = 10 + 33.1 + 3.7, right = 25.4 + 82.3 + 10;
        QVERIFY(Placed(p, 1, QStringLiteral("Datum"), 25.4 + 1.1, head));
        QVERIFY(Placed(p, 1, QStringLiteral("Teplota"), 25.4 + 44.5, head));
        QVERIFY(Placed(p, 1, QStringLiteral("Vlhkost"), 25.4 + 68.3, head));
        QVERIFY(Placed(p, 1, QStringLiteral("Datum"), right + 1.1, head));
        QVERIFY(Placed(p, 1, QStringLiteral("Vlhkost"), right + 68.3, head));
        // Listing lines 4.8 apart; the values right-aligned in their boxes.
        const double line1 = 10 + 33.1 + 9 + 1.1;
        QVERIFY(Placed(p, 1, QStringLiteral("31/08/2004"), 25.4 + 1.1, line1));
        QVERIFY(Placed(p, 1, QStringLiteral("31/08/2004"), 25.4 + 1.1, line1 + 45 * 4.8));
        QVERIFY(Placed(p, 1, QStringLiteral("°C"), 25.4 + 55.1, line1, true));
        QVERIFY(Placed(p, 1, QStringLiteral("r.v."), 25.4 + 78.9, line1, true));
        QVERIFY(Placed(p, 1, QStringLiteral("31/08/2004"), right + 1.1, line1));
        // The footer at the foot of every page.
        const double foot = 297 - 10 - 14 + 6.3;
        QVERIFY(Placed(p, 1, QStringLiteral("Kontrola"), 25.4 + 1.1, foot));
        QVERIFY(Placed(p, 1, QStringLiteral("Strana:"), 25.4 + 148.2, foot));
        QVERIFY(Placed(p, 1, QStringLiteral("1"), 25.4 + 160.9, foot));
        QVERIFY(Placed(p, 2, QStringLiteral("2"), 25.4 + 160.9, foot));
        QVERIFY(Placed(p, 2, QStringLiteral("Datum"), 25.4 + 1.1, 10 + 3.7));
        QVERIFY(Placed(p, 2, QStringLiteral("31/08/2004"), 25.4 + 1.1, 10 + 9 + 1.1));
        QVERIFY(Has(first, QStringLiteral("Datum a čas\\s+Teplota\\s+Vlhkost")));
        // Cells: the date-time, " %6.1f °C" and " %6.1f % r.v.".
        QVERIFY(Has(first, QStringLiteral("31/08/2004\\s+00:00:00\\s+20.1 °C\\s+51.0 % r.v.")));
        QVERIFY(Has(first, QStringLiteral("31/08/2004\\s+00:10:00\\s+20.3 °C")));
        QVERIFY(!first.contains(QStringLiteral("00:05:00")));
        QVERIFY(!p.Text.contains(QStringLiteral("30/08/2004")));
        QVERIFY(!p.Text.contains(QStringLiteral("01/09/2004")));
        QVERIFY(Has(p.Text, QStringLiteral("23:50:00\\s+48.7 °C")));
        QVERIFY(Has(first, QStringLiteral("Kontrola teploty\\s+Strana:\\s+1\\b")));
        QVERIFY(Has(p.Pages[1], QStringLiteral("Strana:\\s+2")));
        QVERIFY(!p.Pages[1].contains(QStringLiteral("Archivace")));  // the title block once
        QVERIFY(p.Pages[1].contains(QStringLiteral("Datum a čas")));  // the header on every page
        // Newspaper order: the first page's left column ends at line 46
        // (07:30), its right column starts with line 47 (07:40) on the same page.
        QVERIFY(Has(first, QStringLiteral("00:00:00[^\\n]*07:40:00")));

        // The preview closed: the position, the controls and the settings.
        QCOMPARE(t.ctx.Adm.Table1.RecNo(), std::int64_t(17));
        QVERIFY(!t.ctx.Adm.Table1.ControlsDisabled());
        QCOMPARE(t.ctx.Config.PrintPeriod.Kind, static_cast<std::int32_t>(pkDay));
        QCOMPARE(t.ctx.Config.StepIndex, 7);
    }

    void englishKindAllAndOneDaySteps() {
        SetLanguage(1);
        OutputTable t;
        t.AddEvery(At(2004, 8, 30, 12), 360, 9);  // every 6 hours, 30 August .. 1 September
        t.ctx.Config.PrintPeriod = Block(pkAll, 2004, 8, 31);
        t.ctx.Config.StepIndex = 16;  // one day
        const QString footer = QStringLiteral("0123456789abcdefghijKLMNOPQRSTUV");  // 32 characters
        const Printed p = Print(t, QStringLiteral("print_en_all"), [&](TFANastTisk& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Print dabase"));
            d.Footer()->setText(footer + QStringLiteral("XYZ"));
            QCOMPARE(d.Footer()->text(), footer);  // no more than 32 characters
        });
        QVERIFY(p.Shown);
        QCOMPARE(p.Lines, std::size_t(3));  // the first record of each day
        QVERIFY(p.Text.contains(QStringLiteral("Archive QUENDAL 730")));
        QVERIFY(Has(p.Text, QStringLiteral("Serial Number:\\s+00012345")));
        QVERIFY(Has(p.Text, QStringLiteral("File:\\s+00012345.dbf")));
        QVERIFY(Placed(p, 1, QStringLiteral("From:"), 25.4 + 122.8, 10 + 6.3));
        QVERIFY(Placed(p, 1, QStringLiteral("all"), 25.4 + 139.7, 10 + 6.3));
        QVERIFY(p.Text.contains(QStringLiteral("all database")));
        QVERIFY(Placed(p, 1, QStringLiteral("To:"), 25.4 + 122.8, 10 + 10.6));
        for (const Word& w : p.Boxes)  // nothing beside "To:"
            QVERIFY(!(std::abs(w.Y0 - (10 + 10.6)) < 1 && w.X0 > 25.4 + 130));
        QVERIFY(Has(p.Text, QStringLiteral("Period:\\s+24 hour")));
        QVERIFY(Has(p.Text, QStringLiteral("Date\\s+02/09/2004")));
        QVERIFY(Has(p.Text, QStringLiteral("Date time\\s+Teplota\\s+Vlhkost")));
        QVERIFY(Has(p.Text, QStringLiteral("30/08/2004\\s+12:00:00")));
        QVERIFY(Has(p.Text, QStringLiteral("31/08/2004\\s+00:00:00")));
        QVERIFY(Has(p.Text, QStringLiteral("01/09/2004\\s+00:00:00")));
        QVERIFY(!p.Text.contains(QStringLiteral("18:00:00")));
        QVERIFY(Has(p.Text, footer + QStringLiteral("\\s+Strana:\\s+1")));
        QCOMPARE(QString::fromStdString(t.ctx.Adm.ParameterRecord.Footer()), footer);

        // The Czech step text of one day reads 24 hod.
        SetLanguage(0);
        const Printed cz = Print(t, QStringLiteral("print_cs_all"));
        QVERIFY(Has(cz.Text, QStringLiteral("Perioda:\\s+24 hod")));
        QVERIFY(cz.Text.contains(QStringLiteral("celá databáze")));
        QVERIFY(Placed(cz, 1, QStringLiteral("celá"), 25.4 + 139.7, 10 + 6.3));
    }

    void twoFieldsAndAnEmptyPeriod() {
        SetLanguage(1);
        OutputTable t(false);
        t.AddEvery(At(2004, 8, 31, 10), 30, 4);
        t.ctx.Config.PrintPeriod = Block(pkDay, 2004, 8, 31);
        t.ctx.Config.StepIndex = 0;
        const Printed p = Print(t, QStringLiteral("print_two_fields"));
        QCOMPARE(p.FieldCount, std::size_t(2));
        QCOMPARE(p.Lines, std::size_t(4));
        QVERIFY(Has(p.Text, QStringLiteral("Date time\\s+Teplota\\s*\\n")));
        QVERIFY(Has(p.Text, QStringLiteral("31/08/2004\\s+11:30:00\\s+20.3 °C\\s*\\n")));
        QVERIFY(Has(p.Text, QStringLiteral("Period:\\s+5 sec")));

        // A day without records: the title block, the column header and the footer.
        t.ctx.Config.PrintPeriod = Block(pkDay, 2004, 9, 5);
        const Printed e = Print(t, QStringLiteral("print_empty"));
        QVERIFY(e.Shown);
        QCOMPARE(e.Lines, std::size_t(0));
        QCOMPARE(e.Pages.size(), 1);
        QVERIFY(e.Text.contains(QStringLiteral("Archive QUENDAL 730")));
        QVERIFY(Placed(e, 1, QStringLiteral("05/09/2004"), 25.4 + 139.7, 10 + 6.3));
        QVERIFY(Placed(e, 1, QStringLiteral("Date"), 25.4 + 1.1, 10 + 33.1 + 3.7));
        QVERIFY(Placed(e, 1, QStringLiteral("Strana:"), 25.4 + 148.2, 297 - 10 - 14 + 6.3));
        QVERIFY(e.Text.contains(QStringLiteral("Date time")));
        QVERIFY(Has(e.Text, QStringLiteral("Strana:\\s+1")));

        // Without a table: the error box, no preview, the dialog closes.
        t.ctx.Adm.CloseArchive();
        TFANastTisk d(t.ctx);
        QStringList errors;
        bool shown = false;
        d.Hooks.Error = [&](const std::exception& ex) { errors << QString::fromUtf8(ex.what()); };
        d.ShowPreview = [&](const TFQRAPrint&) { shown = true; };
        d.show();
        d.Print_BBClick();
        QCOMPARE(errors, QStringList{QStringLiteral("The table is not open")});
        QVERIFY(!shown);
        QVERIFY(!d.isVisible());
    }

    // The preview knows every page at once but draws only those shown; its
    // print button prints the whole report as before.
    // The PDF file is made beside its name and then takes it: a file there
    // is replaced and keeps its mode, a symbolic link is refused and what it
    // points to stays as it was; no temporary file is left behind.
    void pdfFileReplacedNotFollowed() {
        SetLanguage(1);
        OutputTable t(false);
        t.AddEvery(At(2004, 8, 31, 10), 30, 4);
        t.ctx.Config.PrintPeriod = Block(pkDay, 2004, 8, 31);
        const std::string existing = (t.Dir / "old.pdf").string(), target = (t.Dir / "target.txt").string(),
                          link = (t.Dir / "link.pdf").string();
        for (const auto& [name, text] : {std::pair{existing, "old"}, std::pair{target, "keep"}}) {
            kolvex::UniqueFd fd = kolvex::CreateNewFile(name, 0640);
            QVERIFY(fd && ::write(fd.Get(), text, std::strlen(text)) > 0);
        }
        QCOMPARE(::symlink(target.c_str(), link.c_str()), 0);
        const auto before = std::distance(std::filesystem::directory_iterator(t.Dir), {});
        TFANastTisk d(t.ctx);
        d.Clock = [] { return At(2004, 9, 2, 8, 15, 30); };
        d.Hooks.Error = [](const std::exception& e) { QFAIL(e.what()); };
        bool wrote = false;
        std::string refusal;
        d.ShowPreview = [&](const TFQRAPrint& report) {
            wrote = report.PrintToPdf(QString::fromStdString(existing));
            try {
                report.WritePdf(QString::fromStdString(link));
            } catch (const std::exception& e) {
                refusal = e.what();
            }
        };
        d.Print_BBClick();
        QVERIFY(wrote);
        // The message names the file and why.
        QVERIFY2(refusal.find(link) != std::string::npos && refusal.find("symbolic link") != std::string::npos,
                 refusal.c_str());
        struct stat st {};
        QCOMPARE(::stat(existing.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(kolvex::test::RunCommand("pdftotext -layout '" + existing + "' -").find("20.3 °C") != std::string::npos);
        std::string kept;
        std::getline(std::ifstream(target), kept);
        QCOMPARE(kept, std::string("keep"));
        QVERIFY(std::filesystem::is_symlink(link));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(t.Dir), {}), before);
    }

    void previewDrawsOnlyThePagesShown() {
        SetLanguage(1);
        OutputTable t;
        t.AddEvery(At(2004, 8, 1), 1, 3000);
        t.ctx.Config.PrintPeriod = Block(pkAll, 2004, 8, 1);
        t.ctx.Config.StepIndex = 0;  // 5 s: every record listed
        TFANastTisk d(t.ctx);
        d.Hooks.Error = [](const std::exception& e) { QFAIL(e.what()); };
        const std::string pdf = (t.Dir / "preview.pdf").string();
        std::size_t pages = 0;
        d.ShowPreview = [&](const TFQRAPrint& report) {
            pages = report.PageCount();
            QPrinter printer(QPrinter::HighResolution);
            TFQRAPrint::SetupPrinter(printer);
            kolvex::ui::ReportPreview preview(report, printer);
            preview.resize(700, 900);
            preview.show();
            QVERIFY(QTest::qWaitForWindowExposed(&preview));
            kolvex::ui::ReportPageView* view = preview.View();
            QTRY_VERIFY(view->PagesDrawn() > 0);
            QVERIFY(view->PagesDrawn() <= 2);
            QVERIFY(preview.findChild<QLabel*>(QStringLiteral("PageCount"))->text().contains(QString::number(pages)));
            kolvex::test::Shot(&preview, QStringLiteral("preview_en"));
            SetLanguage(0);
            preview.ApplyCaptions();
            kolvex::test::Shot(&preview, QStringLiteral("preview_cs"));
            const QImage first = view->viewport()->grab().toImage();
            view->ShowPage(pages - 1);
            QTRY_COMPARE(view->CurrentPage(), pages - 1);
            QCOMPARE(preview.findChild<QSpinBox*>(QStringLiteral("Page"))->value(), static_cast<int>(pages));
            QTRY_VERIFY(view->viewport()->grab().toImage() != first);
            QVERIFY(view->PagesDrawn() <= 4);

            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            kolvex::ui::SetModalHook([](QDialog&) { return int(QDialog::Accepted); });
            preview.Print();
            kolvex::ui::SetModalHook(nullptr);
        };
        d.Print_BBClick();
        QVERIFY(pages > 20);
        const QString info = QString::fromStdString(kolvex::test::RunCommand("pdfinfo '" + pdf + "'"));
        QVERIFY2(Has(info, QStringLiteral("Pages:\\s+") + QString::number(pages) + QStringLiteral("\\b")), qPrintable(info));
        const QString text = QString::fromStdString(kolvex::test::RunCommand("pdftotext -layout '" + pdf + "' -"));
        QVERIFY2(Has(text, QStringLiteral("03/08/2004\\s+01:59:00")), qPrintable(text.right(400)));  // the last record
    }
};

QTEST_MAIN(OutputPrintTest)
#include "OutputPrintTest.moc"
