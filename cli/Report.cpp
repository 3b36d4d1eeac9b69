// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Report.h"

#include <QApplication>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "archive/PeriodSummary.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "cli/Export.h"
#include "archive/SummaryReport.h"
#include "output/TableOutput.h"
#include "output/ui/SummaryPage.h"
#include "output/ui/TFQRAPrint.h"

namespace kolvex::cli {

namespace {

using nlohmann::json;

std::string Stamp(double t) { return FormatIsoDateTime(t, true); }

json Optional(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

json SummaryJson(const std::string& table, const PeriodSummary& s) {
    json j;
    j["table"] = table;
    j["period"] = s.All ? json{{"all", true}} : json{{"all", false}, {"from", Stamp(s.Start)}, {"to", Stamp(s.End)}};
    j["records"] = s.Records;
    j["first"] = s.Records > 0 ? json(Stamp(s.First)) : json(nullptr);
    j["last"] = s.Records > 0 ? json(Stamp(s.Last)) : json(nullptr);
    j["logging_period_s"] = s.PeriodSeconds;
    j["logging_period_estimated"] = s.PeriodEstimated;
    j["delta_h_over_r_k"] = s.DeltaHOverR;
    json gaps = json::array();
    for (const DataGap& g : s.Gaps) gaps.push_back({{"start", Stamp(g.Start)}, {"end", Stamp(g.End)}, {"missing", g.Missing}});
    j["gaps"] = gaps;
    j["records_missing"] = s.MissingRecords;
    json jumps = json::array();
    for (const ClockJump& c : s.ClockJumps) jumps.push_back({{"before", Stamp(c.Before)}, {"after", Stamp(c.After)}});
    j["clock_jumps"] = jumps;
    json inputs = json::array();
    for (const InputSummary& in : s.Inputs) {
        json e = json::array();
        for (const Excursion& x : in.Excursions)
            e.push_back({{"limit", x.Side == LimitSide::Above ? "upper" : "lower"},
                         {"start", Stamp(x.Start)},
                         {"end", Stamp(x.End)},
                         {"duration_s", x.Seconds},
                         {"extreme", x.Extreme},
                         {"extreme_time", Stamp(x.ExtremeTime)},
                         {"values", x.Values}});
        const bool any = in.Values > 0;
        inputs.push_back({{"input", in.Input.LoggerInput},
                          {"name", in.Input.Name},
                          {"unit", in.Input.Unit},
                          {"temperature", in.Input.Temperature},
                          {"values", in.Values},
                          {"empty", in.Empty},
                          {"min", any ? json(in.Min) : json(nullptr)},
                          {"min_time", any ? json(Stamp(in.MinTime)) : json(nullptr)},
                          {"max", any ? json(in.Max) : json(nullptr)},
                          {"max_time", any ? json(Stamp(in.MaxTime)) : json(nullptr)},
                          {"mean", any ? json(in.Mean) : json(nullptr)},
                          {"std_dev", any ? json(in.StdDev) : json(nullptr)},
                          {"low_limit", Optional(in.Input.Low)},
                          {"high_limit", Optional(in.Input.High)},
                          {"covered_s", in.CoveredSeconds},
                          {"below_s", in.SecondsBelow},
                          {"above_s", in.SecondsAbove},
                          {"below_share", in.ShareBelow()},
                          {"above_share", in.ShareAbove()},
                          {"excursions_below", in.ExcursionsBelow},
                          {"excursions_above", in.ExcursionsAbove},
                          {"excursions", e},
                          {"mkt", Optional(in.Mkt)}});
    }
    j["inputs"] = inputs;
    return j;
}

// The summary as plain text: the sections one after the other, columns
// separated by two blanks... aligned by their widest cell.
std::string SummaryText(const SummaryDocument& doc, char dec) {
    std::string out = doc.Title + "\n";
    for (const SummarySection& sec : doc.Sections) {
        out += "\n" + sec.Title + "\n";
        std::vector<std::vector<std::string>> rows;
        if (!sec.Heading.empty()) rows.push_back(sec.Heading);
        for (const auto& r : sec.Rows) {
            std::vector<std::string> cells;
            for (const SummaryCell& c : r) cells.push_back(SummaryCellText(c, dec));
            rows.push_back(cells);
        }
        std::vector<std::size_t> width;
        auto chars = [](const std::string& s) {
            std::size_t n = 0;
            for (unsigned char c : s) n += (c & 0xC0) != 0x80;
            return n;
        };
        for (const auto& r : rows)
            for (std::size_t c = 0; c < r.size(); ++c) {
                if (width.size() <= c) width.push_back(0);
                width[c] = std::max(width[c], chars(r[c]));
            }
        for (const auto& r : rows) {
            std::string line = "  ";
            for (std::size_t c = 0; c < r.size(); ++c) {
                line += r[c];
                if (c + 1 < r.size()) line += std::string(width[c] - chars(r[c]) + 2, ' ');
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            out += line + "\n";
        }
    }
    return out;
}

}  // namespace

int RunReport(const Options& o, const std::vector<std::string>& args) {
    std::string table, out, from, to;
    bool asJson = o.Json, listing = false;
    double deltaH = kDefaultDeltaHOverR;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out") out = value();
        else if (a == "--from") from = value();
        else if (a == "--to") to = value();
        else if (a == "--listing") listing = true;
        else if (a == "--json") asJson = true;
        else if (a == "--delta-h") {
            const std::string& v = value();
            char* end = nullptr;
            deltaH = std::strtod(v.c_str(), &end);
            if (!end || *end || !std::isfinite(deltaH) || deltaH < 1000 || deltaH > 100000)
                throw UsageError("--delta-h needs dH/R in kelvin, 1000..100000 (10000 by default)");
        } else if (a == "--lang") {
            const std::string& v = value();
            if (v != "cs" && v != "en") throw UsageError("--lang needs cs or en");
            SetLanguage(v == "cs" ? 0 : 1);
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (table.empty()) {
            table = a;
        } else {
            throw UsageError("report takes one table");
        }
    }
    if (table.empty()) throw UsageError("report needs a table");
    if (asJson && !out.empty()) throw UsageError("--json and --out exclude each other");
    if (listing && out.empty()) throw UsageError("--listing needs --out FILE.pdf");
    if (!out.empty()) {
        std::string ext = out.size() >= 4 ? out.substr(out.size() - 4) : out;
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".pdf") throw UsageError("--out must end in .pdf");
    }

    const bool all = from.empty() && to.empty();
    const double start = all ? 0 : (from.empty() ? 1.0 / 86400000.0 : ParseTimeArgument(from, false));
    const double end = all ? 0 : (to.empty() ? 2958465.0 : ParseTimeArgument(to, true));
    const Lang lang = CurrentLanguage();

    TADM adm;
    if (!FileExists(table))
        throw EADM(Tr("Soubor  " + table + "\r\nneexistuje.", "The file  " + table + "\r\ndoes not exist."));
    if (!adm.OpenArchive(table))
        throw EADM(Tr("Tabulka " + table + " má starou strukturu; převeďte ji v programu kolvex12",
                      "The table " + table + " has the old structure; convert it in the kolvex12 program"));
    Table& t = adm.Table1;

    if (out.empty()) {
        const PeriodSummary s = SummariseTable(t, adm.ParameterRecord, {all, start, end}, deltaH);
        if (asJson) std::cout << SummaryJson(table, s).dump(2) << "\n";
        else std::cout << SummaryText(MakeSummaryDocument(s, lang), DecimalSeparator());
        return 0;
    }

    auto app = PainterApp();
    ReportRequest rq;
    rq.Start = start;
    rq.End = end;
    rq.StepSeconds = 0;  // every record
    rq.Footer = adm.ParameterRecord.Footer();
    rq.Language = lang;
    rq.PrintedAt = NowLocal();
    rq.DecimalSeparator = DecimalSeparator();
    // Without --listing the report is the summary page alone.
    ReportPlan plan;
    if (listing) {
        plan = PrepareReport(t, adm.ParameterRecord, rq);
    } else {
        plan.Input.Language = lang;
        plan.Input.Serial = adm.ParameterRecord.SerialNumber();
        plan.Input.FileName = t.FileName();
        plan.Input.Start = start;
        plan.Input.End = end;
        plan.Input.StepSeconds = 0;
        plan.Input.Footer = rq.Footer;
        plan.Input.PrintedAt = rq.PrintedAt;
    }
    ui::TFQRAPrint report(std::move(plan), t);
    auto page = std::make_shared<ui::SummaryPageData>(
        ui::MakeSummaryPage(t, adm.ParameterRecord, report.Plan().Input, deltaH, rq.DecimalSeparator));
    report.SetLeadPage([page](QPainter& p, double k, int number) { ui::PaintSummaryPage(p, k, *page, number); });
    report.WritePdf(QString::fromStdString(out));
    std::cout << out << ": " << report.PageCount() << " " << Tr("stran", "pages") << "\n";
    return 0;
}

}  // namespace kolvex::cli
