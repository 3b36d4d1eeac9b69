// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12-cli against quendal-sim and against the built-in simulated port:
// every command, both languages, JSON and text, and a logger that is dead.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <grp.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "Process.h"

using nlohmann::json;
using namespace kolvex::e2e;

namespace {

Result Cli(const std::string& port, std::vector<std::string> args, int timeoutMs = 20000) {
    std::vector<std::string> all = {"--port", port};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(CliPath(), all, timeoutMs);
}

json Json(const Result& r) {
    EXPECT_EQ(r.Status, 0) << r.Err;
    return json::parse(r.Out);
}

}  // namespace

TEST(Cli, JsonReportsTheLoggersTrueValues) {
    SimProcess sim({"--type", "4", "--minor", "7", "--serial", "84321", "--input1", "0x17", "--input2", "0x01",
                    "--period", "30", "--unit", "sec", "--samples", "100"});

    const json info = Json(Cli(sim.Path(), {"--json", "info"}));
    EXPECT_EQ(info["version"], "04 / 07");
    EXPECT_EQ(info["serial"], "00084321");
    EXPECT_EQ(info["logger_type"], 4);
    EXPECT_FALSE(info["manufacturer"].get<std::string>().empty());
    EXPECT_FALSE(info["type"].get<std::string>().empty());

    const json clock = Json(Cli(sim.Path(), {"--json", "clock"}));
    EXPECT_TRUE(std::regex_match(clock["clock"].get<std::string>(),
                                 std::regex(R"(20\d\d-\d\d-\d\d \d\d:\d\d:\d\d)")));

    const json params = Json(Cli(sim.Path(), {"--json", "params"}));
    EXPECT_EQ(params["period"], "30 sec");
    EXPECT_EQ(params["archive_flags"].get<int>() & 3, 3);
    ASSERT_EQ(params["inputs"].size(), 2u);
    EXPECT_EQ(params["inputs"][0]["type_code"], 0x17);
    EXPECT_EQ(params["inputs"][0]["type_name"], "Temperature internal Pt100");
    EXPECT_EQ(params["inputs"][0]["unit"], "°C");
    EXPECT_NEAR(params["inputs"][0]["record_low"].get<double>(), -50.0, 1e-3);
    EXPECT_NEAR(params["inputs"][0]["record_high"].get<double>(), 150.0, 1e-3);
    EXPECT_EQ(params["inputs"][1]["type_name"], "Current 4-20 mA");
    EXPECT_TRUE(params["inputs"][1]["recorded"].get<bool>());

    const json live = Json(Cli(sim.Path(), {"--json", "live"}));
    ASSERT_EQ(live["inputs"].size(), 2u);
    for (const auto& in : live["inputs"]) {
        EXPECT_LE(in["raw"].get<int>(), 65535);
        const double v = std::stod(in["value"].get<std::string>());
        EXPECT_FALSE(in["value"].get<std::string>().empty());
        if (in["input"] == 1) {
            EXPECT_GE(v, -50.5);
            EXPECT_LE(v, 150.5);
            EXPECT_EQ(in["unit"], "°C");
        }
    }

    const json ptr = Json(Cli(sim.Path(), {"--json", "pointers"}));
    const int read = ptr["read"], write = ptr["write"], status = ptr["status"];
    int d = write - read;
    if (d < 0) d += 32768;
    EXPECT_EQ(ptr["archive_size"], 32768);
    EXPECT_EQ(ptr["fill_percent"].get<int>(), (status & 0x10) ? 100 : d * 100 / 32768);
    EXPECT_GT(write, 0);

    const json diag = Json(Cli(sim.Path(), {"--json", "diag"}));
    EXPECT_FALSE(diag["battery_now"].get<bool>());
    EXPECT_TRUE(diag.contains("alarm2_high_history"));
    EXPECT_TRUE(std::regex_match(diag["battery_voltage_now"].get<std::string>(), std::regex(R"(\d+\.\d V)")));

    const Result mem = Cli(sim.Path(), {"--json", "read-memory", "0x00", "32", "2"});
    EXPECT_EQ(Json(mem)["hex"], "0407");
}

TEST(Cli, TextInBothLanguages) {
    SimProcess sim({"--type", "2"});
    Result en = Cli(sim.Path(), {"--lang", "en", "info"});
    EXPECT_EQ(en.Status, 0) << en.Err;
    EXPECT_NE(en.Out.find("Manufacturer"), std::string::npos);
    EXPECT_NE(en.Out.find("02 / 07"), std::string::npos);
    Result cs = Cli(sim.Path(), {"--lang", "cs", "info"});
    EXPECT_NE(cs.Out.find("Výrobce"), std::string::npos);
    EXPECT_NE(cs.Out.find("Výr. číslo"), std::string::npos);

    Result diag = Cli(sim.Path(), {"--lang", "cs", "diag"});
    EXPECT_EQ(diag.Status, 0) << diag.Err;
    EXPECT_NE(diag.Out.find("Vybitá baterie"), std::string::npos);
    // Logger type 2 has no battery voltage.
    EXPECT_EQ(diag.Out.find("Napětí baterie"), std::string::npos);
    const json dj = Json(Cli(sim.Path(), {"--json", "diag"}));
    EXPECT_FALSE(dj.contains("battery_voltage_now"));

    Result params = Cli(sim.Path(), {"--lang", "cs", "params"});
    EXPECT_NE(params.Out.find("Teplota interní Pt100"), std::string::npos);
    EXPECT_NE(params.Out.find("Perioda"), std::string::npos);
    Result pen = Cli(sim.Path(), {"--lang", "en", "params"});
    EXPECT_NE(pen.Out.find("Temperature internal Pt100"), std::string::npos);

    Result ptr = Cli(sim.Path(), {"--lang", "en", "pointers"});
    EXPECT_TRUE(std::regex_search(ptr.Out, std::regex(R"([0-9A-F]{4,}  /  [0-9A-F]{4,})"))) << ptr.Out;
    Result live = Cli(sim.Path(), {"--lang", "en", "live"});
    EXPECT_EQ(live.Status, 0) << live.Err;
    EXPECT_NE(live.Out.find("°C"), std::string::npos);
    Result mem = Cli(sim.Path(), {"read-memory", "0x21", "0", "40"});
    EXPECT_EQ(mem.Status, 0) << mem.Err;
    EXPECT_NE(mem.Out.find("00000020 "), std::string::npos);
}

TEST(Cli, DeadLoggerIsACommunicationError) {
    SimProcess sim({"--fault", "no-reply", "--every", "1"});
    Result en = Cli(sim.Path(), {"--slot", "30", "--idle", "10", "--lang", "en", "info"});
    EXPECT_EQ(en.Status, 1);
    EXPECT_EQ(en.Err, "Communication error\n");
    EXPECT_TRUE(en.Out.empty());
    Result cs = Cli(sim.Path(), {"--slot", "30", "--idle", "10", "--lang", "cs", "--json", "params"});
    EXPECT_EQ(cs.Status, 1);
    EXPECT_EQ(cs.Err, "Chyba komunikace\n");
}

TEST(Cli, WrongCheckSumsAreReportedNotCrashed) {
    SimProcess sim({"--fault", "bad-fcs", "--every", "1"});
    Result r = Cli(sim.Path(), {"--slot", "30", "clock"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Chyba komunikace (FCS)\n");
}

TEST(Cli, MissingPortAndUsageErrors) {
    Result r = Cli("/dev/kolvex-none", {"info"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Port  /dev/kolvex-none  is impossible to open: the device is not present (unplugged?)\n");
    r = Cli("/dev/kolvex-none", {"--lang", "cs", "info"});
    EXPECT_EQ(r.Err, "Port  /dev/kolvex-none  nelze otevřít: zařízení není připojeno (odpojeno?)\n");

    EXPECT_EQ(RunProgram(CliPath(), {}).Status, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"frobnicate"}).Status, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"--lang", "de", "info"}).Status, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"--port", "SIM", "read-memory", "0x24", "0", "1"}).Status, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"--port", "SIM", "read-memory", "0x23", "0"}).Status, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"--port", "SIM", "info", "extra"}).Status, 2);
    // Unknown aliases and values outside the settings dialog's ranges.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port", "FOO", "info"}, {"--port", "COM12", "live"},
          {"--port", "SIM", "--idle", "5", "info"}, {"--port", "SIM", "--slot", "10010", "info"},
          {"--port", "SIM", "--slot", "25", "info"}}) {
        const Result u = RunProgram(CliPath(), args);
        EXPECT_EQ(u.Status, 2) << args[1];
        EXPECT_TRUE(u.Out.empty());
        if (args[0] == "--port" && args[1] != "SIM") {
            EXPECT_NE(u.Err.find("  SIM  "), std::string::npos) << u.Err;
        }
    }
}

TEST(Cli, PortErrorsSayWhy) {
    char tmpl[] = "/tmp/kolvex-cli-port-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string file = dir + "/regular";
    { std::ofstream(file) << "x"; }
    SimProcess sim({});
    // A pseudo-terminal of another user: permission denied, with the fix
    // that helps. Its group (tty) may not read it: only the administrator
    // can give access. Given to a group that may read and write it, the
    // advice names that group.
    const Result denied = RunProgram(CliPath(), {"--port", sim.Path(), "info"}, 20000, "/", "nobody");
    EXPECT_EQ(denied.Status, 1) << denied.Err;
    EXPECT_EQ(denied.Err, "Port  " + sim.Path() + "  is impossible to open: permission denied; the device is for root "
                          "alone and no group gives access: the administrator must give access (for example with a "
                          "udev rule)\n");
    if (const group* g = ::getgrnam("dialout"); g && ::chown(sim.Path().c_str(), 0, g->gr_gid) == 0 &&
                                                ::chmod(sim.Path().c_str(), 0660) == 0) {
        const Result group = RunProgram(CliPath(), {"--port", sim.Path(), "info"}, 20000, "/", "nobody");
        EXPECT_EQ(group.Err, "Port  " + sim.Path() + "  is impossible to open: permission denied; the device belongs "
                             "to the group dialout: add the user to it (sudo usermod -a -G dialout $USER) and log in "
                             "again\n");
    }
    const Result regular = Cli(file, {"--lang", "cs", "info"});
    EXPECT_EQ(regular.Status, 1);
    EXPECT_EQ(regular.Err, "Port  " + file + "  nelze otevřít: nejde o sériové zařízení\n");
    std::filesystem::remove_all(dir);
}

TEST(Cli, PortComesFromTheConfigurationOrIsAsked) {
    char tmpl[] = "/tmp/kolvex-cli-cfg-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    // No configuration: a usage error that lists the ports, never the simulator.
    const Result none = RunProgram(CliPath(), {"--json", "info"}, 20000, dir);
    EXPECT_EQ(none.Status, 2);
    EXPECT_TRUE(none.Out.empty());
    EXPECT_NE(none.Err.find("kolvex12.cfg"), std::string::npos) << none.Err;
    EXPECT_NE(none.Err.find("  SIM  "), std::string::npos) << none.Err;

    // A configuration whose port is a path: "DEV" in the file, the path in
    // the companion file.
    SimProcess sim({"--serial", "4711"});
    std::vector<char> cfg(344, 0);
    cfg[30] = 3;
    cfg[31] = 'D', cfg[32] = 'E', cfg[33] = 'V';
    cfg[36] = 20, cfg[38] = 100;
    { std::ofstream(dir + "/kolvex12.cfg", std::ios::binary).write(cfg.data(), static_cast<std::streamsize>(cfg.size())); }
    { std::ofstream(dir + "/kolvex12.port") << sim.Path() << "\n"; }
    const json info = Json(RunProgram(CliPath(), {"--json", "info"}, 20000, dir));
    EXPECT_EQ(info["serial"], "00004711");
    std::filesystem::remove_all(dir);
}

TEST(Cli, SimulatedPortOnlyWhenAsked) {
    const json info = Json(RunProgram(CliPath(), {"--port", "SIM", "--json", "info"}));
    EXPECT_EQ(info["logger_type"], 4);
    EXPECT_EQ(info["serial"], "00084321");
    const json params = Json(RunProgram(CliPath(), {"--port", "sim", "--json", "params"}));
    EXPECT_EQ(params["inputs"].size(), 2u);
    const Result ports = RunProgram(CliPath(), {"--json", "ports"});
    const json pl = Json(ports);
    ASSERT_FALSE(pl["ports"].empty());
    EXPECT_EQ(pl["ports"].back()["name"], "SIM");
}

TEST(Cli, PaddedAndCorruptedRepliesStillServeEveryCommand) {
    // A converter's extra byte in the same burst on every reply; a single
    // corrupted reply; every fourth reply corrupted.
    const std::vector<std::vector<std::string>> faults = {
        {"--pacing", "--fault", "padded"},
        {"--fault", "bad-fcs", "--frames", "2"},
        {"--fault", "bad-fcs", "--every", "4"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault[2]);
        std::vector<std::string> args = {"--samples", "60", "--period", "10", "--unit", "sec", "--serial", "321"};
        args.insert(args.end(), fault.begin(), fault.end());
        SimProcess sim(args);
        const json info = Json(Cli(sim.Path(), {"--json", "info"}));
        EXPECT_EQ(info["serial"], "00000321");
        const json params = Json(Cli(sim.Path(), {"--json", "params"}));
        EXPECT_EQ(params["inputs"].size(), 2u);
        char tmpl[] = "/tmp/kolvex-cli-fault-XXXXXX";
        const std::string dir = ::mkdtemp(tmpl);
        const json dl = Json(Cli(sim.Path(), {"download", "--dir", dir, "--retries", "0", "--json"}));
        EXPECT_FALSE(dl["aborted"].get<bool>());
        EXPECT_GE(dl["records"].get<int>(), 60);
        std::filesystem::remove_all(dir);
    }
}

TEST(Cli, LiveRepeatReadsOnTheFiveSecondGrid) {
    SimProcess sim({});
    const Result r = Cli(sim.Path(), {"--json", "live", "--repeat"}, 6500);
    EXPECT_EQ(r.Status, 0) << r.Err;
    // One reading at once, then one on each multiple of five seconds.
    std::size_t lines = 0;
    for (char c : r.Out) lines += c == '\n';
    EXPECT_GE(lines, 2u);
    EXPECT_LE(lines, 3u);
}

TEST(Cli, LiveCsvLinesWithAGapAndACount) {
    // The second reading gets no reply (all its attempts): one line with empty
    // values marks it, and --count 2 stops after the second good reading.
    SimProcess sim({"--fault", "no-reply", "--frames", "10,11,12"});
    const Result r = Cli(sim.Path(), {"live", "--repeat", "--csv", "--count", "2"}, 15000);
    EXPECT_EQ(r.Status, 0) << r.Err;
    std::vector<std::string> lines;
    std::istringstream in(r.Out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << r.Out;
    EXPECT_EQ(lines[0], "Date and time,Teplota (°C),Proud (%)");
    const std::regex row(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,-?\d+(\.\d+)?,-?\d+(\.\d+)?)");
    EXPECT_TRUE(std::regex_match(lines[1], row)) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,,)"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], row)) << lines[3];
    EXPECT_EQ(r.Err, "Communication error\n");

    EXPECT_EQ(Cli(sim.Path(), {"live", "--csv", "--count", "2"}).Status, 2);  // --count needs --repeat
}

TEST(Cli, DownloadStoresTheArchiveAndMovesTheBookmark) {
    SimProcess sim({"--samples", "120", "--period", "10", "--unit", "sec"});
    char tmpl[] = "/tmp/kolvex-cli-dl-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const json first = Json(Cli(sim.Path(), {"download", "--dir", dir, "--split", "year,day", "--json"}));
    EXPECT_FALSE(first["aborted"].get<bool>());
    EXPECT_GE(first["records"].get<int>(), 120);
    ASSERT_GE(first["files"].size(), 2u);
    int year = 0, day = 0;
    for (const auto& f : first["files"]) {
        const std::string path = f["path"];
        EXPECT_EQ(path.rfind(dir + "/00084321-", 0), 0u) << path;
        (path.size() - dir.size() > 20 ? day : year) += f["records_added"].get<int>();
    }
    EXPECT_EQ(year, first["records"].get<int>());
    EXPECT_EQ(day, first["records"].get<int>());
    const json ptr = Json(Cli(sim.Path(), {"--json", "pointers"}));
    EXPECT_EQ(first["bookmark"], ptr["read"]);

    // Nothing new: nothing stored, the bookmark stays; --no-bookmark leaves it alone.
    const json again = Json(Cli(sim.Path(), {"download", "--dir", dir, "--json"}));
    EXPECT_LE(again["records"].get<int>(), 1);
    const json none = Json(Cli(sim.Path(), {"download", "--dir", dir, "--mode", "all", "--no-bookmark", "--json"}));
    EXPECT_TRUE(none["bookmark"].is_null());
    EXPECT_GE(none["records"].get<int>(), 120);

    // The tables read back with the dump command.
    const Result dump = RunProgram(CliPath(), {"dump", first["files"][0]["path"].get<std::string>()});
    EXPECT_EQ(dump.Status, 0) << dump.Err;
    EXPECT_EQ(dump.Out.rfind("DATETIME,VSTUP1,VSTUP2\n", 0), 0u);
    EXPECT_EQ(RunProgram(CliPath(), {"download", "--split", "hour"}).Status, 2);
    std::filesystem::remove_all(dir);
}

// The summary of a downloaded table: report --json against an independent
// computation (dbfread and Python's statistics and math), the summary page
// of report --out read back with pdftotext, and the Summary sheet of the
// workbook read back with openpyxl.
TEST(Cli, ReportSummaryAgreesWithAnIndependentComputation) {
    SimProcess sim({"--samples", "300", "--period", "10", "--unit", "sec"});
    char tmpl[] = "/tmp/kolvex-cli-report-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const json dl = Json(Cli(sim.Path(), {"download", "--dir", dir, "--file", dir + "/month.dbf", "--json"}));
    const std::string table = dir + "/month.dbf";
    ASSERT_TRUE(std::filesystem::exists(table)) << dl.dump();

    const json s = Json(RunProgram(CliPath(), {"report", table, "--json", "--delta-h", "9000"}));
    EXPECT_EQ(s["logging_period_s"], 10);
    ASSERT_EQ(s["inputs"].size(), 2u);
    std::vector<std::string> args = {std::string(KOLVEX_SOURCE_DIR) + "/tests/output/py/summary_ref.py", table, "10",
                                     "9000"};
    for (const auto& in : s["inputs"])
        for (const char* k : {"low_limit", "high_limit"})
            args.push_back(in[k].is_null() ? std::string("-") : std::to_string(in[k].get<double>()));
    const Result py = RunProgram("/usr/bin/python3", args);
    ASSERT_EQ(py.Status, 0) << py.Err;
    const json ref = json::parse(py.Out);
    EXPECT_EQ(s["records"], ref["records"]);
    EXPECT_EQ(s["gaps"].size(), ref["gaps"].get<std::size_t>());
    EXPECT_EQ(s["records_missing"], ref["records_missing"]);
    EXPECT_EQ(s["clock_jumps"].size(), ref["clock_jumps"].get<std::size_t>());
    int excursions = 0;
    for (std::size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const json& a = s["inputs"][k];
        const json& b = ref["inputs"][k];
        for (const char* key : {"values", "empty", "excursions_above", "excursions_below"}) EXPECT_EQ(a[key], b[key]) << key;
        for (const char* key : {"min", "max", "mean", "std_dev", "above_s", "below_s"})
            EXPECT_NEAR(a[key].get<double>(), b[key].get<double>(), 1e-6) << key;
        if (a["temperature"].get<bool>()) {
            EXPECT_NEAR(a["mkt"].get<double>(), b["mkt"].get<double>(), 1e-9);
        }
        std::vector<double> durations;
        for (const auto& e : a["excursions"]) durations.push_back(e["duration_s"]);
        std::sort(durations.begin(), durations.end());
        EXPECT_EQ(durations, b["durations"].get<std::vector<double>>());
        excursions += static_cast<int>(durations.size());
    }
    EXPECT_GT(excursions, 0);  // the simulated inputs cross their limits

    // The summary page: the same figures in the PDF's text.
    const std::string pdf = dir + "/report.pdf";
    ASSERT_EQ(RunProgram(CliPath(), {"report", table, "--out", pdf, "--lang", "cs", "--delta-h", "9000"}).Status, 0);
    const Result text = RunProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    auto fixed = [](double v, int decimals) {
        char b[64];
        std::snprintf(b, sizeof b, "%.*f", decimals, v);
        return std::string(b);
    };
    EXPECT_NE(text.Out.find("Překročení mezí alarmu"), std::string::npos) << text.Out;
    const json& in1 = s["inputs"][0];
    EXPECT_TRUE(std::regex_search(text.Out, std::regex("Počet záznamů\\s+" + std::to_string(s["records"].get<int>()))))
        << text.Out;
    EXPECT_TRUE(std::regex_search(text.Out, std::regex("Překročení horní meze\\s+" +
                                                       std::to_string(in1["excursions_above"].get<int>()))));
    EXPECT_NE(text.Out.find(fixed(in1["mkt"].get<double>(), 2)), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("(ΔH/R = 9000 K)"), std::string::npos);

    // The workbook's Summary sheet.
    const std::string xlsx = dir + "/export.xlsx";
    ASSERT_EQ(RunProgram(CliPath(), {"export", table, "--out", xlsx}).Status, 0);
    const Result sheet = RunProgram(
        "/usr/bin/python3",
        {"-c",
         "import json,sys,openpyxl; wb=openpyxl.load_workbook(sys.argv[1]); ws=wb['Summary'];"
         "print(json.dumps({'sheets': wb.sheetnames, 'rows': {str(r[0]): list(r[1:3]) for r in "
         "ws.iter_rows(values_only=True) if r[0]}}, default=str))",
         xlsx});
    ASSERT_EQ(sheet.Status, 0) << sheet.Err;
    const json wb = json::parse(sheet.Out);
    EXPECT_EQ(wb["sheets"].size(), 2u);
    EXPECT_EQ(wb["sheets"][1], "Summary");
    EXPECT_EQ(wb["rows"]["Records"][0], ref["records"]);
    EXPECT_NEAR(wb["rows"]["Mean"][0].get<double>(), ref["inputs"][0]["mean"].get<double>(), 1e-9);
    EXPECT_NEAR(wb["rows"]["Maximum"][1].get<double>(), ref["inputs"][1]["max"].get<double>(), 1e-9);
    EXPECT_EQ(wb["rows"]["Excursions above"][0], ref["inputs"][0]["excursions_above"]);
    std::filesystem::remove_all(dir);
}
