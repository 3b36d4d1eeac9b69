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

// Qt's painter draws the PDF; no display is needed.
std::unique_ptr<QApplication> PainterApp() {
    if (QApplication::instance()) return {};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "kolvex12-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

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

int RunExport(const Options& o, const std::vector<std::string>& args) {
    std::string table, out, from, to;
    int step = 0;
    bool asJson = o.Json;
    std::optional<char> separator, decimal;  // the language's when not given
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out") out = value();
        else if (a == "--from") from = value();
        else if (a == "--to") to = value();
        else if (a == "--step") {
            step = ParseStep(value());
            if (step < 0) throw UsageError("--step takes all or one of 5s 10s 15s 30s 1min 2min 5min 10min 15min 30min 1h 2h 4h 6h 8h 12h 1d");
        } else if (a == "--lang") {
            const std::string& v = value();
            if (v != "cs" && v != "en") throw UsageError("--lang needs cs or en");
            SetLanguage(v == "cs" ? 0 : 1);
        } else if (a == "--separator") {
            const std::string& v = value();
            if (v != "," && v != ";" && v != "tab") throw UsageError("--separator needs , or ; or tab");
            separator = v == "tab" ? '\t' : v[0];
        } else if (a == "--decimal") {
            const std::string& v = value();
            if (v != "." && v != ",") throw UsageError("--decimal needs . or ,");
            decimal = v[0];
        } else if (a == "--json") {
            asJson = true;
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (table.empty()) {
            table = a;
        } else {
            throw UsageError("export takes one table");
        }
    }
    if (table.empty()) throw UsageError("export needs a table");
    if (out.empty()) throw UsageError("export needs --out FILE.xlsx, FILE.csv or FILE.pdf");
    const std::string ext = Lower(out.size() >= 4 ? out.substr(out.size() - 4) : out);
    const bool xlsx = Lower(out.size() >= 5 ? out.substr(out.size() - 5) : out) == ".xlsx";
    const bool csv = ext == ".csv", pdf = ext == ".pdf";
    if (!xlsx && !csv && !pdf) throw UsageError("--out must end in .xlsx, .csv or .pdf");
    if ((separator || decimal) && !csv) throw UsageError("--separator and --decimal apply to CSV only");

    // The whole table unless a period is given; one end alone is open on the other side.
    const bool all = from.empty() && to.empty();
    const double start = all ? 0 : (from.empty() ? 1.0 / 86400000.0 : ParseTime(from, false));
    const double end = all ? 0 : (to.empty() ? 2958465.0 : ParseTime(to, true));
    const Lang lang = CurrentLanguage();

    TADM adm;
    if (!FileExists(table))
        throw EADM(Tr("Soubor  " + table + "\r\nneexistuje.", "The file  " + table + "\r\ndoes not exist."));
    if (!adm.OpenArchive(table))
        throw EADM(Tr("Tabulka " + table + " má starou strukturu; převeďte ji v programu kolvex12",
                      "The table " + table + " has the old structure; convert it in the kolvex12 program"));
    Table& t = adm.Table1;
    if (const std::string w = DamagedRecordsWarning(table, t.DamagedRecords()); !w.empty())
        std::cerr << "kolvex12-cli: " << w << std::endl;
    const int stepIndex = StepIndexOf(step);
    std::uint64_t count = 0;
    const char* unit = "rows";
    if (pdf) {
        auto app = PainterApp();
        ReportRequest rq;
        rq.Start = start;
        rq.End = end;
        rq.StepSeconds = step;
        rq.Footer = adm.ParameterRecord.Footer();
        rq.Language = lang;
        rq.PrintedAt = NowLocal();
        rq.DecimalSeparator = DecimalSeparator();
        const ui::TFQRAPrint report(PrepareReport(t, adm.ParameterRecord, rq), t);
        if (!report.PrintToPdf(QString::fromStdString(out)))
            throw EADM(Tr("Soubor " + out + " se nepodařilo zapsat", "The file " + out + " could not be written"));
        count = report.PageCount();
        unit = "pages";
    } else {
        const std::vector<OutputField> fields = OutputFields(t, adm.ParameterRecord);
        const std::vector<ExportColumn> columns = ExportColumnsOf(fields);
        std::unique_ptr<RowSink> sink;
        if (csv) {
            CsvFormat format = CsvFormatFor(lang);
            if (separator) format.Separator = *separator;
            if (decimal) format.Decimal = *decimal;
            sink = OpenCsvExport(out, columns, format);
        } else {
            ExportHeader h = MakeExportHeader(t, adm.ParameterRecord, all, start, end, stepIndex, lang);
            if (stepIndex < 0) h.StepCaption = Tr(lang, "každý záznam", "every record");
            // The second sheet: the summary of the period.
            const SummaryDocument summary =
                MakeSummaryDocument(SummariseTable(t, adm.ParameterRecord, {all, start, end}), lang);
            sink = OpenXlsxExport(out, h, columns, kSheetRows, &summary);
        }
        ExportRecords(t, fields, start, end, step, *sink);
        sink->Close();
        count = sink->Rows();
    }
    if (asJson)
        std::cout << nlohmann::json{{"file", out}, {unit, count}}.dump() << "\n";
    else
        std::cout << out << ": " << count << " " << (pdf ? Tr("stran", "pages") : Tr("řádků", "rows")) << "\n";
    return 0;
}

}  // namespace kolvex::cli
