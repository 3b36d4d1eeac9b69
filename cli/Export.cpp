// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Export.h"

#include <QApplication>
#include <QString>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "base/DateTime.h"
#include "output/PeriodSelection.h"
#include "archive/SummaryReport.h"
#include "output/TableOutput.h"
#include "output/WorkbookExport.h"
#include "output/ui/TFQRAPrint.h"

namespace kolvex::cli {

namespace {

// "YYYY-MM-DD hh:mm:ss" or "YYYY-MM-DD" (midnight; as the end of a period,
// the end of that day).
double ParseTime(const std::string& text, bool endOfDay) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    std::optional<double> v;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) == 6)
        v = TryEncodeDateTime(y, mo, d, h, mi, s, 0);
    else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3)
        v = TryEncodeDateTime(y, mo, d, endOfDay ? 23 : 0, endOfDay ? 59 : 0, endOfDay ? 59 : 0, endOfDay ? 999 : 0);
    if (!v) throw UsageError("not a time \"" + text + "\" (YYYY-MM-DD hh:mm:ss)");
    return *v;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int StepIndexOf(int seconds) {
    for (int i = 0; i < kStepCount; ++i)
        if (StepSeconds(i) == seconds) return i;
    return -1;
}

}  // namespace

std::unique_ptr<QApplication> PainterApp() {
    if (QApplication::instance()) return {};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "kolvex12-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

double ParseTimeArgument(const std::string& text, bool endOfDay) { return ParseTime(text, endOfDay); }

int ParseStep(const std::string& text) {
    const std::string t = Lower(text);
    if (t == "all" || t == "0") return 0;
    std::size_t i = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
    if (i == 0 || i > 5) return -1;
    const int n = std::atoi(t.substr(0, i).c_str());
    const std::string unit = t.substr(i);
    int factor = 0;
    if (unit == "s" || unit == "sec") factor = 1;
    else if (unit == "min" || unit == "m") factor = 60;
    else if (unit == "h" || unit == "hod" || unit == "hour") factor = 3600;
    else if (unit == "d" || unit == "den" || unit == "day") factor = 86400;
    if (factor == 0) return -1;
    const int seconds = n * factor;
    return StepIndexOf(seconds) >= 0 ? seconds : -1;
}

namespace {

// The export's options as given on the command line.
struct ExportArgs {
    std::string Table, Out, From, To;
    int Step = 0;
    bool Json = false;
    std::optional<char> Separator, Decimal;  // the language's when not given
};

ExportArgs ParseExportArgs(const Options& o, const std::vector<std::string>& args) {
    ExportArgs x;
    x.Json = o.Json;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out") x.Out = value();
        else if (a == "--from") x.From = value();
        else if (a == "--to") x.To = value();
        else if (a == "--step") {
            x.Step = ParseStep(value());
            if (x.Step < 0) throw UsageError("--step takes all or one of 5s 10s 15s 30s 1min 2min 5min 10min 15min 30min 1h 2h 4h 6h 8h 12h 1d");
        } else if (a == "--lang") {
            const std::string& v = value();
            if (v != "cs" && v != "en") throw UsageError("--lang needs cs or en");
            SetLanguage(v == "cs" ? 0 : 1);
        } else if (a == "--separator") {
            const std::string& v = value();
            if (v != "," && v != ";" && v != "tab") throw UsageError("--separator needs , or ; or tab");
            x.Separator = v == "tab" ? '\t' : v[0];
        } else if (a == "--decimal") {
            const std::string& v = value();
            if (v != "." && v != ",") throw UsageError("--decimal needs . or ,");
            x.Decimal = v[0];
        } else if (a == "--json") {
            x.Json = true;
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (x.Table.empty()) {
            x.Table = a;
        } else {
            throw UsageError("export takes one table");
        }
    }
    if (x.Table.empty()) throw UsageError("export needs a table");
    if (x.Out.empty()) throw UsageError("export needs --out FILE.xlsx, FILE.csv or FILE.pdf");
    return x;
}

// The period of the export: the whole table unless a period is given; one end
// alone is open on the other side.
struct ExportPeriod {
    bool All;
    double Start, End;
};

ExportPeriod PeriodOf(const ExportArgs& x) {
    const bool all = x.From.empty() && x.To.empty();
    const double start = all ? 0 : (x.From.empty() ? 1.0 / 86400000.0 : ParseTime(x.From, false));
    const double end = all ? 0 : (x.To.empty() ? 2958465.0 : ParseTime(x.To, true));
    return {all, start, end};
}

// The printed listing as a PDF file; its page count.
std::uint64_t ExportPdf(TADM& adm, const ExportArgs& x, const ExportPeriod& p, Lang lang) {
    auto app = PainterApp();
    ReportRequest rq;
    rq.Start = p.Start;
    rq.End = p.End;
    rq.StepSeconds = x.Step;
    rq.Footer = adm.ParameterRecord.Footer();
    rq.Language = lang;
    rq.PrintedAt = NowLocal();
    rq.DecimalSeparator = DecimalSeparator();
    const ui::TFQRAPrint report(PrepareReport(adm.Table1, adm.ParameterRecord, rq), adm.Table1);
    report.WritePdf(QString::fromStdString(x.Out));
    return report.PageCount();
}

// The records as CSV or as the workbook (with the period's summary on its
// second sheet); the number of rows.
std::uint64_t ExportRows(TADM& adm, const ExportArgs& x, const ExportPeriod& p, bool csv, Lang lang) {
    Table& t = adm.Table1;
    const int stepIndex = StepIndexOf(x.Step);
    const std::vector<OutputField> fields = OutputFields(t, adm.ParameterRecord);
    const std::vector<ExportColumn> columns = ExportColumnsOf(fields);
    std::unique_ptr<RowSink> sink;
    if (csv) {
        CsvFormat format = CsvFormatFor(lang);
        if (x.Separator) format.Separator = *x.Separator;
        if (x.Decimal) format.Decimal = *x.Decimal;
        sink = OpenCsvExport(x.Out, columns, format);
    } else {
        ExportHeader h = MakeExportHeader(t, adm.ParameterRecord, p.All, p.Start, p.End, stepIndex, lang);
        if (stepIndex < 0) h.StepCaption = Tr(lang, "každý záznam", "every record");
        // The second sheet: the summary of the period.
        const SummaryDocument summary =
            MakeSummaryDocument(SummariseTable(t, adm.ParameterRecord, {p.All, p.Start, p.End}), lang);
        sink = OpenXlsxExport(x.Out, h, columns, kSheetRows, &summary);
    }
    ExportRecords(t, fields, p.Start, p.End, x.Step, *sink);
    sink->Close();
    return sink->Rows();
}

}  // namespace

int RunExport(const Options& o, const std::vector<std::string>& args) {
    const ExportArgs x = ParseExportArgs(o, args);
    const std::string& out = x.Out;
    const std::string ext = Lower(out.size() >= 4 ? out.substr(out.size() - 4) : out);
    const bool xlsx = Lower(out.size() >= 5 ? out.substr(out.size() - 5) : out) == ".xlsx";
    const bool csv = ext == ".csv", pdf = ext == ".pdf";
    if (!xlsx && !csv && !pdf) throw UsageError("--out must end in .xlsx, .csv or .pdf");
    if ((x.Separator || x.Decimal) && !csv) throw UsageError("--separator and --decimal apply to CSV only");

    const ExportPeriod period = PeriodOf(x);
    const Lang lang = CurrentLanguage();

    const std::string& table = x.Table;
    TADM adm;
    if (!FileExists(table))
        throw EADM(Tr("Soubor  " + table + "\r\nneexistuje.", "The file  " + table + "\r\ndoes not exist."));
    if (!adm.OpenArchive(table))
        throw EADM(Tr("Tabulka " + table + " má starou strukturu; převeďte ji v programu kolvex12",
                      "The table " + table + " has the old structure; convert it in the kolvex12 program"));
    if (const std::string w = DamagedRecordsWarning(table, adm.Table1.DamagedRecords()); !w.empty())
        std::cerr << "kolvex12-cli: " << w << std::endl;
    const std::uint64_t count = pdf ? ExportPdf(adm, x, period, lang) : ExportRows(adm, x, period, csv, lang);
    const char* unit = pdf ? "pages" : "rows";
    if (x.Json)
        std::cout << nlohmann::json{{"file", out}, {unit, count}}.dump() << "\n";
    else
        std::cout << out << ": " << count << " " << (pdf ? Tr("stran", "pages") : Tr("řádků", "rows")) << "\n";
    return 0;
}

}  // namespace kolvex::cli
