// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"
#include "cli/AuditCommand.h"
#include "cli/Dump.h"
#include "cli/Export.h"
#include "cli/Report.h"
#include "cli/DownloadCommand.h"
#include "cli/Unattended.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/Errors.h"
#include "base/Language.h"
#include "app/LiveRecording.h"
#include "app/LiveSchedule.h"
#include "link/CommSettings.h"
#include "link/Frames.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "logger/Conversion.h"
#include "logger/LoggerAudit.h"
#include "base/DateTime.h"
#include "logger/Periods.h"
#include "logger/Records.h"
#include "logger/ServiceViews.h"

namespace kolvex::cli {

namespace {

using nlohmann::json;

void PrintJson(const json& j) { std::cout << j.dump() << std::endl; }

void PrintRow(const std::string& label, const std::string& value) {
    // Pad by characters, not bytes, so Czech labels line up.
    std::size_t chars = 0;
    for (unsigned char c : label)
        if ((c & 0xC0) != 0x80) ++chars;
    std::string pad = chars < 22 ? std::string(22 - chars, ' ') : std::string(" ");
    std::cout << label << pad << value << "\n";
}

// A number for readable output, with the regional decimal separator.
std::string LocalNumber(float v) {
    std::ostringstream os;
    os.precision(7);
    os << v;
    std::string t = os.str();
    for (char& c : t)
        if (c == '.') c = DecimalSeparator();
    return t;
}

std::string OkErr(bool err) { return err ? "Err" : "OK"; }

// Engineering numbers in JSON keep full single precision without noise.
double JsonNumber(float v) {
    std::ostringstream os;
    os.precision(7);
    os << v;
    return std::stod(os.str());
}

struct Session {
    TSerCom port;
    LoggerData data;
    LoggerOps ops{port, data};

    explicit Session(const Options& o) {
        port.SetSimulatedPort(o.Simulated);
        OpenPortDirect(port, o.Port, o.IdleMs, o.SlotMs);
    }
};

int CmdPorts(const Options& o) {
    TSerCom port;
    port.SetSimulatedPort(o.Simulated);
    port.EnumeratePorts();
    if (o.Json) {
        json list = json::array();
        for (const auto& p : port.PortList)
            list.push_back({{"name", p.Name},
                            {"device", p.Device},
                            {"description", p.Description},
                            {"problem", PortProblemText(p.Problem, p.Device)}});
        PrintJson({{"ports", list}});
        return 0;
    }
    if (port.PortList.empty()) std::cout << Tr("Nenalezen žádný sériový port", "No serial port found") << "\n";
    for (const auto& p : port.PortList) {
        std::string line = p.Name;
        if (!p.Device.empty() && p.Device != p.Name) line += "  " + p.Device;
        if (!p.Description.empty()) line += "  " + p.Description;
        if (p.Problem != PortProblem::None) line += "  [" + PortProblemText(p.Problem, p.Device) + "]";
        std::cout << line << "\n";
    }
    return 0;
}

int CmdInfo(const Options& o) {
    Session s(o);
    s.ops.ReadLoggerType();
    const IdentificationBlock id = s.ops.ReadIdentification();
    const std::string version = FormatVersion(id.VersionMajor, id.VersionMinor);
    const std::string serial = FormatSerialNumber(static_cast<std::int32_t>(id.SerialNumber));
    if (o.Json) {
        PrintJson({{"manufacturer", id.ManufacturerText()},
                   {"type", id.TypeText()},
                   {"version", version},
                   {"serial", serial},
                   {"logger_type", s.data.Image.TypeByte()}});
        return 0;
    }
    PrintRow(Tr("Výrobce", "Manufacturer"), id.ManufacturerText());
    PrintRow(Tr("Typ", "Type"), id.TypeText());
    PrintRow(Tr("Verze", "Version"), version);
    PrintRow(Tr("Výr. číslo", "Ser. Number"), serial);
    return 0;
}

struct ClockOptions {
    bool Set = false;
    int DriftLimit = kDefaultDriftLimitSeconds;
};

// The clock, its drift against the PC (a warning above the limit) and, with
// --set, the clock set from the PC (in the audit trail).
int CmdClock(const Options& o, const ClockOptions& co) {
    Session s(o);
    if (co.Set) {
        // The entry names the logger.
        s.ops.ReadLoggerType();
        s.ops.ReadSerialNumber();
    }
    const ClockDrift d =
        co.Set ? SetLoggerClockFromPc(s.ops, co.DriftLimit, "kolvex12-cli clock --set") : ReadClockDrift(s.ops, co.DriftLimit);
    // An invalid clock shows as the clock dialog shows it.
    const std::string text = FormatIsoDateTime(d.Valid ? d.LoggerTime : *TryEncodeDateTime(2001, 1, 1, 0, 0, 0));
    std::optional<ClockDrift> after;
    if (co.Set) after = ReadClockDrift(s.ops, co.DriftLimit);
    if (o.Json) {
        json j = {{"clock", co.Set ? FormatIsoDateTime(after->LoggerTime) : text}, {"drift", DriftJson(d)}};
        if (co.Set) j["set"] = {{"before", DriftJson(d)}, {"after", DriftJson(*after)}};
        PrintJson(j);
    } else if (co.Set) {
        PrintRow(Tr("Čas a datum", "Date time"), after->Valid ? FormatIsoDateTime(after->LoggerTime) : after->LoggerText);
        PrintRow(Tr("Odchylka předtím", "Drift before"), DriftText(d, CurrentLanguage()));
        PrintRow(Tr("Odchylka", "Drift"), DriftText(*after, CurrentLanguage()));
    } else {
        PrintRow(Tr("Čas a datum", "Date time"), text);
        PrintRow(Tr("Odchylka", "Drift"), DriftText(d, CurrentLanguage()));
    }
    if (!co.Set && d.Exceeded()) std::cerr << DriftWarning(d, CurrentLanguage()) << "\n";
    return 0;
}

int CmdDiag(const Options& o) {
    Session s(o);
    s.ops.ReadLoggerType();
    const DiagnosticState d = s.ops.ReadDiagnostics();
    const DiagnosticView v = ViewDiagnostics(d);
    const bool voltage = s.data.Image.TypeByte() > 3;
    if (o.Json) {
        json j = {{"battery_now", v.BatteryNow},           {"battery_history", v.BatteryHistory},
                  {"alarm1_low_now", v.Alarm1LowNow},      {"alarm1_low_history", v.Alarm1LowHistory},
                  {"alarm1_high_now", v.Alarm1HighNow},    {"alarm1_high_history", v.Alarm1HighHistory},
                  {"alarm2_low_now", v.Alarm2LowNow},      {"alarm2_low_history", v.Alarm2LowHistory},
                  {"alarm2_high_now", v.Alarm2HighNow},    {"alarm2_high_history", v.Alarm2HighHistory}};
        if (voltage) {
            j["battery_voltage_now"] = FormatBatteryVoltage(d.BatteryVoltageNow);
            j["battery_voltage_history"] = FormatBatteryVoltage(d.BatteryVoltageHistory);
        }
        PrintJson(j);
        return 0;
    }
    PrintRow(Tr("S t a v", "S t a t u s"), Tr("Aktuální", "Current") + "  " + Tr("Historie", "History"));
    auto row = [](const std::string& label, bool now, bool hist) {
        std::string a = OkErr(now);
        a.resize(std::max<std::size_t>(a.size(), Tr("Aktuální", "Current").size()) + 2, ' ');
        PrintRow(label, a + OkErr(hist));
    };
    row(Tr("Vybitá baterie", "Battery discharged"), v.BatteryNow, v.BatteryHistory);
    row(Tr("Podkročení alarmu 1", "Alarm1 low"), v.Alarm1LowNow, v.Alarm1LowHistory);
    row(Tr("Překročení alarmu 1", "Alarm1 high"), v.Alarm1HighNow, v.Alarm1HighHistory);
    row(Tr("Podkročení alarmu 2", "Alarm2 low"), v.Alarm2LowNow, v.Alarm2LowHistory);
    row(Tr("Překročení alarmu 2", "Alarm2 high"), v.Alarm2HighNow, v.Alarm2HighHistory);
    if (voltage)
        PrintRow(Tr("Napětí baterie", "Battery voltage"),
                 FormatBatteryVoltage(d.BatteryVoltageNow) + "  " + FormatBatteryVoltage(d.BatteryVoltageHistory));
    return 0;
}

int CmdPointers(const Options& o) {
    Session s(o);
    s.ops.ReadLoggerType();
    s.ops.ReadInputInfo();
    const std::uint32_t size = s.data.Image.InputInfo.ArchiveSize;
    const ArchivePointers p = s.ops.ReadArchivePointers(9);
    const int fill = ArchiveFillPercent(p, size);
    if (o.Json) {
        PrintJson({{"read", p.ArchiveRead}, {"write", p.ArchiveWrite}, {"status", p.ArchiveStatus},
                   {"archive_size", size}, {"fill_percent", fill}});
        return 0;
    }
    PrintRow(Tr("Zaplnění archivační paměti", "Full memory"), FormatFillPercent(fill));
    PrintRow(Tr("Ukazatele", "Pointers"), FormatPointers(p));
    return 0;
}

// Refreshes the type, parameter block and input information, as the live
// display and the archiving parameters editor do.
void ReadParameters(LoggerOps& ops, bool withFixedSections) {
    ops.ReadLoggerType();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();
    if (withFixedSections)
        for (int n = 0; n < 2; ++n)
            if (!(ops.Data().Image.InputInfo.InputCaps[n] & kCapConfigurable)) ops.ReadInputSection(n);
}

int CmdParams(const Options& o) {
    Session s(o);
    ReadParameters(s.ops, true);
    const LoggerImage& img = s.data.Image;
    const ParameterBlock& pb = img.Parameters;
    const Lang lang = CurrentLanguage();
    const std::string period = PeriodDisplayText(pb.PeriodValue, pb.PeriodUnit, lang);
    if (o.Json) {
        json inputs = json::array();
        for (int n = 0; n < 2; ++n) {
            const auto range = RecordRange(img, n);
            inputs.push_back({{"type_code", img.InputInfo.InputType[n]},
                              {"type_name", InputTypeName(img.InputInfo.InputType[n], lang)},
                              {"name", pb.Input[n].Name()},
                              {"unit", pb.Input[n].Unit()},
                              {"recorded", (pb.ArchiveFlags & (1 << n)) != 0},
                              {"record_low", JsonNumber(range.first)},
                              {"record_high", JsonNumber(range.second)}});
        }
        PrintJson({{"logger_name", pb.Logger()},
                   {"file_name", pb.File()},
                   {"period", period},
                   {"archive_flags", pb.ArchiveFlags},
                   {"inputs", inputs}});
        return 0;
    }
    PrintRow(Tr("Jméno přístroje", "Quendal name"), pb.Logger());
    PrintRow(Tr("Jméno souboru", "File name"), pb.File());
    PrintRow(Tr("Perioda", "Period"), period);
    char flags[8];
    std::snprintf(flags, sizeof flags, "0x%02X", pb.ArchiveFlags);
    PrintRow(Tr("Příznaky archivace", "Archive flags"), flags);
    for (int n = 0; n < 2; ++n) {
        const auto range = RecordRange(img, n);
        const std::string head = Tr("Vstup ", "Input ") + std::to_string(n + 1);
        std::cout << head << ": " << InputTypeName(img.InputInfo.InputType[n], lang) << "\n";
        PrintRow("  " + Tr("Jméno vstupu", "Input name"), pb.Input[n].Name());
        PrintRow("  " + Tr("Jednotka", "Unit"), pb.Input[n].Unit());
        PrintRow("  " + Tr("Ukládání", "Recording"),
                 (pb.ArchiveFlags & (1 << n)) ? Tr("ano", "yes") : Tr("ne", "no"));
        PrintRow("  " + Tr("Záznam", "Record"), LocalNumber(range.first) + " .. " + LocalNumber(range.second));
    }
    return 0;
}

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct LiveOptions {
    bool Repeat = false;
    bool Csv = false;
    long long Count = 0;  // with --repeat: stop after this many readings (0: never)
    long long GiveUp = 60;  // with --repeat: end when no reading succeeded for so many seconds (0: never)
};

int CmdLive(const Options& o, const LiveOptions& lo) {
    Session s(o);
    ReadParameters(s.ops, false);
    const LoggerImage& img = s.data.Image;
    const ParameterBlock& pb = img.Parameters;
    const InputTable* const noTables[2] = {nullptr, nullptr};
    const std::array<LiveInput, 2> inputs = DescribeLiveInputs(img, noTables);
    const char decimal = DecimalSeparator();

    // One reading; throws on a communication or formatting failure.
    auto reading = [&]() {
        const auto raw = s.ops.ReadCurrentValues();
        json jsonInputs = json::array();
        std::string line;
        std::array<double, 2> values{};
        for (int n = 0; n < 2; ++n) {
            if (!(pb.ArchiveFlags & (1 << n))) continue;
            const std::string name = ReadFixedText(pb.Input[n].InputName.data(), 10);
            const std::string unit = pb.Input[n].Unit();
            const std::string jsonValue = FormatInputValue(img, n, raw[n], '.');
            const std::string value = FormatInputValue(img, n, raw[n], decimal);
            values[static_cast<std::size_t>(n)] = LiveValue(img, n, raw[n]);
            jsonInputs.push_back({{"input", n + 1}, {"name", name}, {"unit", unit}, {"raw", raw[n]}, {"value", jsonValue}});
            if (!line.empty()) line += "    ";
            line += std::to_string(n + 1) + ": " + name + " " + value + " " + unit;
        }
        if (lo.Csv) {
            std::cout << LiveCsvLine(inputs, NowLocal(), values, decimal) << std::endl;
        } else if (o.Json) {
            PrintJson({{"inputs", jsonInputs}});
        } else {
            if (line.empty()) line = Tr("Žádný vstup se neukládá", "No input is recorded");
            std::cout << line << std::endl;
        }
    };

    // CSV: the heading line first (no byte-order mark on a stream).
    if (lo.Csv) std::cout << CsvHeadingText(LiveCsvColumns(inputs, CurrentLanguage()), decimal) << std::endl;

    if (!lo.Repeat) {
        reading();
        return 0;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    LiveSchedule schedule;
    long long done = 0;
    bool failing = false;
    auto lastGood = std::chrono::steady_clock::now();
    while (!g_stop) {
        if (lo.GiveUp > 0 && std::chrono::steady_clock::now() - lastGood >= std::chrono::seconds(lo.GiveUp)) {
            std::cerr << Tr("Žádné měření se nepodařilo po " + std::to_string(lo.GiveUp) + " s; končím",
                            "No reading succeeded for " + std::to_string(lo.GiveUp) + " s; giving up")
                      << std::endl;
            return 1;
        }
        const double now = NowLocal();
        const double secondsOfDay = (now - std::floor(now)) * 86400.0;
        if (schedule.Due(secondsOfDay)) {
            try {
                reading();
                schedule.Succeeded();
                failing = false;
                lastGood = std::chrono::steady_clock::now();
                if (lo.Count > 0 && ++done >= lo.Count) break;
            } catch (const EKolvex& e) {
                schedule.Failed();
                std::cerr << e.what() << std::endl;
                // One line with empty values marks the gap in the CSV; the
                // retries of the same failure add no more.
                if (lo.Csv && !failing) std::cout << LiveCsvLine(inputs, now, std::nullopt, decimal) << std::endl;
                failing = true;
            }
        }
        // Sleep to the next whole second of the wall clock.
        const auto t = std::chrono::system_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t).count() % 1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 - ms));
    }
    return 0;
}

long long ParseNumber(const std::string& text, const char* what, long long lo, long long hi) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || errno != 0 || !end || *end != '\0' || v < lo || v > hi)
        throw UsageError(std::string("bad ") + what + ": " + text);
    return v;
}

int CmdReadMemory(const Options& o, const std::vector<std::string>& args) {
    if (args.size() != 4) throw UsageError("read-memory needs CODE ADDR LEN");
    const auto code = static_cast<std::uint8_t>(ParseNumber(args[1], "CODE", 0, 0x7F));
    if (AddressLength(code) < 0) throw UsageError("CODE is not a logger memory area: " + args[1]);
    const auto address = static_cast<std::uint32_t>(ParseNumber(args[2], "ADDR", 0, 0xFFFFFFFFLL));
    const auto length = static_cast<std::uint16_t>(ParseNumber(args[3], "LEN", 1, 65535));
    Session s(o);
    s.ops.ReadLoggerType();  // the block size depends on it
    std::vector<std::uint8_t> buf(length);
    ReadLoggerMemory(s.port, s.data.Image.LoggerType, code, address, buf.data(), length);
    std::string hex;
    char b[4];
    for (std::uint8_t v : buf) {
        std::snprintf(b, sizeof b, "%02X", v);
        hex += b;
    }
    if (o.Json) {
        PrintJson({{"code", code}, {"address", address}, {"length", length}, {"hex", hex}});
        return 0;
    }
    for (std::size_t i = 0; i < buf.size(); i += 16) {
        char head[16];
        std::snprintf(head, sizeof head, "%08X ", static_cast<unsigned>(address + i));
        std::string line = head;
        for (std::size_t k = i; k < i + 16 && k < buf.size(); ++k) line += " " + hex.substr(2 * k, 2);
        std::cout << line << "\n";
    }
    return 0;
}

}  // namespace

int Run(const Options& o, const std::vector<std::string>& args) {
    const std::string& cmd = args.at(0);
    auto noArgs = [&] {
        if (args.size() != 1) throw UsageError(cmd + " takes no arguments");
    };
    if (cmd == "ports") return noArgs(), CmdPorts(o);
    if (cmd == "info") return noArgs(), CmdInfo(o);
    if (cmd == "clock") {
        ClockOptions co;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--set") co.Set = true;
            else if (args[i] == "--drift-limit" && i + 1 < args.size())
                co.DriftLimit = static_cast<int>(ParseNumber(args[++i], "--drift-limit", 0, 86400 * 366));
            else throw UsageError("clock takes --set and --drift-limit S");
        }
        return CmdClock(o, co);
    }
    if (cmd == "audit") return RunAudit(o, args);
    if (cmd == "diag") return noArgs(), CmdDiag(o);
    if (cmd == "pointers") return noArgs(), CmdPointers(o);
    if (cmd == "params") return noArgs(), CmdParams(o);
    if (cmd == "live") {
        LiveOptions lo;
        bool giveUp = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--repeat") lo.Repeat = true;
            else if (args[i] == "--csv") lo.Csv = true;
            else if (args[i] == "--count" && i + 1 < args.size()) lo.Count = ParseNumber(args[++i], "--count", 1, 1LL << 40);
            else if (args[i] == "--give-up" && i + 1 < args.size()) {
                lo.GiveUp = ParseNumber(args[++i], "--give-up", 0, 86400);
                giveUp = true;
            } else throw UsageError("live takes --repeat, --csv, --count N and --give-up S");
        }
        if (lo.Count > 0 && !lo.Repeat) throw UsageError("--count needs --repeat");
        if (giveUp && !lo.Repeat) throw UsageError("--give-up needs --repeat");
        if (lo.Csv && o.Json) throw UsageError("--csv and --json exclude each other");
        return CmdLive(o, lo);
    }
    if (cmd == "read-memory") return CmdReadMemory(o, args);
    if (cmd == "dump") return RunDump(o, args);
    if (cmd == "export") return RunExport(o, args);
    if (cmd == "report") return RunReport(o, args);
    if (cmd == "download") return RunDownloadLocked(o, args);
    if (cmd == "report-failure") return ReportUnitFailure(o, args);
    if (cmd == "repair") return RunRepair(o, args);
    throw UsageError("unknown command " + cmd);
}

}  // namespace kolvex::cli
