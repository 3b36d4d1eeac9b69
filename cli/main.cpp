// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12-cli: the logger's service functions for scripts and support.
//
//   kolvex12-cli [--config FILE] [--port P] [--idle MS] [--slot MS] [--lang cs|en] [--json] [--trace FILE] COMMAND
//
// Exit status: 0 success, 1 an error of the logger link (message on stderr),
// 2 a usage error, 3 another run holds the port or a table, 128+N stopped by signal N.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <locale>
#include <optional>
#include <string>
#include <vector>

#include "base/AuditTrail.h"
#include "ProgramVersion.h"
#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "base/PortText.h"
#include "archive/TableLock.h"
#include "cli/Commands.h"
#include "cli/LoggerConfig.h"
#include "link/PortNames.h"
#include "link/SerCom.h"
#include "link/LinkTrace.h"
#include "link/NetPort.h"
#include "app/BuiltinPort.h"

namespace {

// The usage text: on standard output when asked for with --help, else on
// standard error after the problem.
int Usage(const std::string& problem) {
    std::ostream& out = problem.empty() ? std::cout : std::cerr;
    if (!problem.empty()) std::cerr << "kolvex12-cli: " << problem << "\n";
    out << "usage: kolvex12-cli [--config FILE] [--port P] [--idle MS] [--slot MS] [--reconnect S]\n"
                 "                    [--lang cs|en] [--json] [--trace FILE] COMMAND\n"
                 "       kolvex12-cli --help | --version\n"
                 "--config FILE: one logger's settings (KOLVEX_PORT=..., see the manual page)\n"
                 "commands:\n"
                 "  ports                        list the serial ports\n"
                 "  info                         logger identity\n"
                 "  clock [--set] [--drift-limit S]\n"
                 "                               logger clock and its drift against the PC (warns above\n"
                 "                               S seconds, 60 by default); --set sets it from the PC\n"
                 "  diag                         diagnostic state\n"
                 "  pointers                     archive pointers and fill\n"
                 "  params                       archiving parameters\n"
                 "  live [--repeat [--count N] [--give-up S]] [--csv]\n"
                 "                               current values (every five seconds with --repeat,\n"
                 "                               N readings with --count; ends with status 1 when no\n"
                 "                               reading succeeded for S s, default 60; --csv: CSV lines)\n"
                 "  read-memory CODE ADDR LEN    hex dump of a logger memory area\n"
                 "  dump TABLE [--json]          fields and records of an archive table\n"
                 "  download [--dir DIR] [--name-source param|serial] [--file PATH]\n"
                 "           [--split year,month,week,day] [--mode bookmark|all] [--no-bookmark]\n"
                 "           [--ext dbf|db] [--retries N] [--json] [--log FILE] [--lock-wait S]\n"
                 "           [--sync-clock] [--drift-limit S] [--on-event CMD] [--mail-to ADDR] [--notify]\n"
                 "                               download the logger's archive into tables; a run that\n"
                 "                               does not complete runs CMD (event JSON on stdin), mails\n"
                 "                               ADDR through sendmail, notifies the desktop\n"
                 "  export TABLE --out FILE.xlsx|FILE.csv|FILE.pdf [--from \"YYYY-MM-DD hh:mm:ss\"]\n"
                 "         [--to ...] [--step all|10min|1h|...] [--lang cs|en] [--json]\n"
                 "         [--separator ,|;|tab] [--decimal .|,]\n"
                 "                               the export workbook, CSV or printed listing;\n"
                 "                               CSV: ; and , in Czech, , and . in English\n"
                 "  report TABLE [--from \"YYYY-MM-DD hh:mm:ss\"] [--to ...] [--lang cs|en]\n"
                 "         [--json | --out FILE.pdf] [--listing] [--delta-h K]\n"
                 "                               the period's summary: statistics, alarm excursions,\n"
                 "                               gaps, clock jumps, mean kinetic temperature (dH/R K,\n"
                 "                               10000 by default); --out: the summary page with its\n"
                 "                               chart, and the listing after it with --listing\n"
                 "  repair TABLE                 keep the complete records of a table cut short\n"
                 "  report-failure [--log FILE] [--on-event CMD] [--mail-to ADDR] [--notify]\n"
                 "                               the failure event of a download unit that failed (run by\n"
                 "                               the service manager; said once, the run may have told it)\n"
                 "  audit [--from T] [--to T] [--json]\n"
                 "                               the audit trail of the working folder (T: \"YYYY-MM-DD\"\n"
                 "                               or \"YYYY-MM-DD hh:mm:ss\")\n"
                 "  audit --verify [--json]      check the trail's chain and every table it names\n"
                 "                               (exit status 1 when anything was changed outside)\n"
                 "--trace FILE: record the communication (every frame in hex with time stamps) in FILE\n"
                 "port: COM1..COM9, USB0..USB9, ACM0..ACM9, a device path (/dev/serial/by-id/...),\n"
                 "      rfc2217://HOST:PORT or tcp://HOST:PORT (network serial server; --slot 300 by default),\n"
                 "      or SIM for the simulated logger; without --port the port of kolvex12.cfg\n"
                 "      in the working folder\n"
                 "MS: 10..10000 in steps of 10\n"
                 "--reconnect S: a lost network connection is made again for up to S seconds\n"
                 "      (default 30) before the exchange fails\n"
                 "exit status: 0 success, 1 error talking to the logger or storing, 2 usage error,\n"
                 "      3 another run holds the logger's port or a target table (after --lock-wait,\n"
                 "      default 30 s), 128+N a download stopped by signal N (SIGTERM, SIGINT, SIGHUP)\n";
    return 2;
}

// The ports of this computer, one a line, for usage messages.
std::string PortListing() {
    kolvex::TSerCom port;
    port.EnumeratePorts();
    std::string text;
    for (const auto& p : port.PortList) {
        text += "  " + p.Name;
        if (!p.Device.empty() && p.Device != p.Name) text += "  " + p.Device;
        if (!p.Description.empty()) text += "  " + p.Description;
        if (p.Problem != kolvex::PortProblem::None) text += "  [" + kolvex::PortProblemText(p.Problem, p.Device) + "]";
        text += "\n";
    }
    return text.empty() ? "  (none)\n" : text;
}

bool KnownPortName(const std::string& name) {
    return kolvex::SamePortName(name, kolvex::kSimulatedPort) || kolvex::IsDevicePath(name) ||
           kolvex::DeviceForPort(name).has_value();
}

bool ParseInt(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

// What the command line says before the command, and the command with its arguments.
struct CommandLine {
    kolvex::cli::Options Opt;
    std::vector<std::string> Rest;
    std::string ConfigFile;
    bool IdleGiven = false, SlotGiven = false, PortGiven = false;
};

// Reads the options before the command; an exit status when the program ends
// here (a usage error, --help, --version).
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& c) {
    kolvex::cli::Options& opt = c.Opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)name;
            return argv[++i];
        };
        if (!c.Rest.empty()) {
            c.Rest.push_back(a);
            continue;
        }
        if (a == "--port") {
            const char* v = value("--port");
            if (!v || !*v) return Usage("--port needs a value");
            opt.Port = v;
            c.PortGiven = true;
        } else if (a == "--config") {
            const char* v = value("--config");
            if (!v || !*v) return Usage("--config needs a file");
            c.ConfigFile = v;
        } else if (a == "--idle" || a == "--slot") {
            // The ranges of the communication settings dialog.
            const char* v = value(a.c_str());
            long long n = 0;
            if (!v || !ParseInt(v, n) || n < 10 || n > 10000 || n % 10 != 0)
                return Usage(a + " needs milliseconds 10..10000 in steps of 10");
            (a == "--idle" ? c.IdleGiven : c.SlotGiven) = true;
            (a == "--idle" ? opt.IdleMs : opt.SlotMs) = static_cast<int>(n);
        } else if (a == "--reconnect") {
            // How long a lost network connection is made again before an
            // exchange fails.
            const char* v = value("--reconnect");
            long long n = 0;
            if (!v || !ParseInt(v, n) || n < 0 || n > 3600) return Usage("--reconnect needs seconds 0..3600");
            kolvex::SetNetworkReconnectSeconds(static_cast<int>(n));
        } else if (a == "--lang") {
            const char* v = value("--lang");
            if (!v) return Usage("--lang needs cs or en");
            if (std::strcmp(v, "cs") == 0) opt.Language = 0;
            else if (std::strcmp(v, "en") == 0) opt.Language = 1;
            else return Usage("--lang needs cs or en");
        } else if (a == "--json") {
            opt.Json = true;
        } else if (a == "--trace") {
            const char* v = value("--trace");
            if (!v || !*v) return Usage("--trace needs a file");
            opt.Trace = v;
        } else if (a == "--help" || a == "-h") {
            Usage("");
            return 0;
        } else if (a == "--version") {
            std::cout << "kolvex12-cli " KOLVEX_VERSION "\n" KOLVEX_VERSION_NOTICE;
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            c.Rest.push_back(a);
        }
    }
    return std::nullopt;
}

// Runs the command (and the export a logger's settings ask for after a good
// download) with the link trace when one is asked for; the exit status.
int RunCommand(const kolvex::cli::Options& opt, const std::vector<std::string>& rest,
               const kolvex::cli::LoggerConfig& config) {
    std::string command;
    for (const auto& r : rest) command += (command.empty() ? "" : " ") + r;
    if (!opt.Trace.empty()) {
        try {
            kolvex::StartLinkTrace(opt.Trace);
        } catch (const kolvex::EKolvex& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
        kolvex::CurrentLinkTrace()->Note("command", "kolvex12-cli " KOLVEX_VERSION " " + command);
    }
    auto finish = [&](int status, const std::string& error) {
        if (kolvex::LinkTrace* t = kolvex::CurrentLinkTrace()) {
            if (!error.empty()) t->Note("error", error);
            t->Note("exit", "status " + std::to_string(status));
        }
        kolvex::StopLinkTrace();
        return status;
    };
    try {
        int status = kolvex::cli::Run(opt, rest);
        // A logger's settings may ask for an export after a good download.
        if (status == 0 && rest[0] == "download" && !config.ExportArgs.empty()) {
            std::vector<std::string> exportArgs{"export"};
            exportArgs.insert(exportArgs.end(), config.ExportArgs.begin(), config.ExportArgs.end());
            status = kolvex::cli::Run(opt, exportArgs);
        }
        return finish(status, "");
    } catch (const kolvex::cli::UsageError& e) {
        return finish(Usage(e.what()), e.what());
    } catch (const kolvex::ETableBusy& e) {
        std::cerr << e.what() << "\n";
        return finish(3, e.what());
    } catch (const kolvex::EKolvex& e) {
        std::cerr << e.what() << "\n";
        return finish(1, e.what());
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return finish(1, e.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Numbers in readable output use the regional decimal separator.
    if (const lconv* lc = std::localeconv(); lc && lc->decimal_point && lc->decimal_point[0])
        kolvex::SetDecimalSeparator(lc->decimal_point[0]);
    std::setlocale(LC_NUMERIC, "C");

    CommandLine line;
    if (const std::optional<int> status = ParseCommandLine(argc, argv, line)) return *status;
    kolvex::cli::Options& opt = line.Opt;
    std::vector<std::string>& rest = line.Rest;
    const std::string& configFile = line.ConfigFile;
    const bool idleGiven = line.IdleGiven, portGiven = line.PortGiven;
    bool& slotGiven = line.SlotGiven;
    if (rest.empty()) return Usage("no command given");
    kolvex::SetLanguage(opt.Language);
    kolvex::cli::LoggerConfig config;
    if (!configFile.empty()) {
        try {
            config = kolvex::cli::ReadLoggerConfig(configFile);
            kolvex::cli::ApplyLoggerConfig(config, opt, portGiven, rest);
        } catch (const kolvex::cli::UsageError& e) {
            return Usage(e.what());
        }
    }

    // The simulated logger only when asked for: without --port the port of
    // the desktop program's configuration in the working folder.
    if (rest[0] != "ports" && rest[0] != "dump" && rest[0] != "export" && rest[0] != "repair" &&
        rest[0] != "audit" && rest[0] != "report" && rest[0] != "report-failure") {
        if (opt.Port.empty()) {
            kolvex::ConfigRecord cfg;
            std::string refusal;
            const bool loaded = kolvex::LoadConfigFile(kolvex::kConfigFileName, cfg, &refusal);
            if (!refusal.empty()) std::cerr << "kolvex12-cli: " << refusal << "\n";
            if (!loaded || cfg.ComPort.empty())
                return Usage(std::string("no --port given and no port in ") + kolvex::kConfigFileName +
                             " in the working folder; the ports of this computer:\n" + PortListing() +
                             "  SIM  (the simulated logger)");
            // The simulated logger is never reached by surprise: a configuration
            // that names it (what a first try of the desktop program saves)
            // counts as no configured port.
            if (kolvex::SamePortName(cfg.ComPort, kolvex::kSimulatedPort))
                return Usage(std::string("no --port given, and ") + kolvex::kConfigFileName +
                             " in the working folder names the simulated logger (SIM), which is used only when"
                             " asked for with --port SIM; choose a port with --port or in the desktop program's"
                             " communication settings; the ports of this computer:\n" + PortListing());
            opt.Port = cfg.ComPort;
            auto inRange = [](int ms) { return ms >= 10 && ms <= 10000; };
            if (!idleGiven && inRange(cfg.TIdle)) opt.IdleMs = cfg.TIdle;
            if (!slotGiven && inRange(cfg.TSlot)) {
                opt.SlotMs = cfg.TSlot;
                slotGiven = true;
            }
        }
        if (!KnownPortName(opt.Port))
            return Usage("unknown port " + opt.Port +
                         "; valid names are COM1..COM9, USB0..USB9, ACM0..ACM9, SIM and device paths;"
                         " the ports of this computer:\n" + PortListing() + "  SIM  (the simulated logger)");
    }
    // A network port's reply time-out also covers the round trip.
    if (kolvex::IsNetworkPort(opt.Port) && !slotGiven) opt.SlotMs = kolvex::kNetworkSlotMs;
    // The port name "SIM" is the simulated logger inside this program.
    const auto builtin = std::make_shared<kolvex::sim::BuiltinSimulator>();
    opt.Simulated = builtin->PortSource();

    // The audit trail of the data folder: the working folder, beside kolvex12.cfg.
    kolvex::SetAuditProgram("kolvex12-cli", KOLVEX_VERSION);
    kolvex::SetAuditFolder(".");

    return RunCommand(opt, rest, config);
}
