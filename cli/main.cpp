// kolvex12-cli: the logger's service functions for scripts and support.
//
//   kolvex12-cli [--config FILE] [--port P] [--idle MS] [--slot MS] [--lang cs|en] [--json] COMMAND
//
// Exit status: 0 success, 1 an error of the logger link (message on stderr),
// 2 a usage error, 3 another run holds the port or a table, 128+N stopped by signal N.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <locale>
#include <string>
#include <vector>

#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "base/PortText.h"
#include "archive/TableLock.h"
#include "cli/Commands.h"
#include "cli/LoggerConfig.h"
#include "link/PortNames.h"
#include "link/SerCom.h"
#include "link/NetPort.h"
#include "app/BuiltinPort.h"

namespace {

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "kolvex12-cli: " << problem << "\n";
    std::cerr << "usage: kolvex12-cli [--config FILE] [--port P] [--idle MS] [--slot MS] [--lang cs|en] [--json]\n"
                 "                    COMMAND\n"
                 "  --config FILE                one logger's settings (KOLVEX_PORT=..., see the manual page)\n"
                 "commands:\n"
                 "  ports                        list the serial ports\n"
                 "  info                         logger identity\n"
                 "  clock                        logger clock\n"
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
                 "           [--on-event CMD] [--mail-to ADDR] [--notify]\n"
                 "                               download the logger's archive into tables; a run that\n"
                 "                               does not complete runs CMD (event JSON on stdin), mails\n"
                 "                               ADDR through sendmail, notifies the desktop\n"
                 "  export TABLE --out FILE.xlsx|FILE.csv|FILE.pdf [--from \"YYYY-MM-DD hh:mm:ss\"]\n"
                 "         [--to ...] [--step all|10min|1h|...] [--lang cs|en] [--json]\n"
                 "                               the export workbook, CSV or printed listing\n"
                 "  repair TABLE                 keep the complete records of a table cut short\n"
                 "  report-failure [--log FILE] [--on-event CMD] [--mail-to ADDR] [--notify]\n"
                 "                               the failure event of a download unit that failed (run by\n"
                 "                               the service manager; said once, the run may have told it)\n"
                 "port: COM1..COM9, USB0..USB9, ACM0..ACM9, a device path (/dev/serial/by-id/...),\n"
                 "      rfc2217://HOST:PORT or tcp://HOST:PORT (network serial server; --slot 300 by default),\n"
                 "      or SIM for the simulated logger; without --port the port of kolvex12.cfg\n"
                 "      in the working folder\n"
                 "MS: 10..10000 in steps of 10\n"
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

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Numbers in readable output use the regional decimal separator.
    if (const lconv* lc = std::localeconv(); lc && lc->decimal_point && lc->decimal_point[0])
        kolvex::SetDecimalSeparator(lc->decimal_point[0]);
    std::setlocale(LC_NUMERIC, "C");

    kolvex::cli::Options opt;
    bool idleGiven = false, slotGiven = false;
    std::vector<std::string> rest;
    std::string configFile;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)name;
            return argv[++i];
        };
        if (!rest.empty()) {
            rest.push_back(a);
            continue;
        }
        if (a == "--port") {
            const char* v = value("--port");
            if (!v || !*v) return Usage("--port needs a value");
            opt.Port = v;
            portGiven = true;
        } else if (a == "--config") {
            const char* v = value("--config");
            if (!v || !*v) return Usage("--config needs a file");
            configFile = v;
        } else if (a == "--idle" || a == "--slot") {
            // The ranges of the communication settings dialog.
            const char* v = value(a.c_str());
            long long n = 0;
            if (!v || !ParseInt(v, n) || n < 10 || n > 10000 || n % 10 != 0)
                return Usage(a + " needs milliseconds 10..10000 in steps of 10");
            (a == "--idle" ? idleGiven : slotGiven) = true;
            (a == "--idle" ? opt.IdleMs : opt.SlotMs) = static_cast<int>(n);
        } else if (a == "--lang") {
            const char* v = value("--lang");
            if (!v) return Usage("--lang needs cs or en");
            if (std::strcmp(v, "cs") == 0) opt.Language = 0;
            else if (std::strcmp(v, "en") == 0) opt.Language = 1;
            else return Usage("--lang needs cs or en");
        } else if (a == "--json") {
            opt.Json = true;
        } else if (a == "--help" || a == "-h") {
            Usage("");
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            rest.push_back(a);
        }
    }
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
        rest[0] != "report-failure") {
        if (opt.Port.empty()) {
            kolvex::ConfigRecord cfg;
            if (!kolvex::LoadConfigFile(kolvex::kConfigFileName, cfg) || cfg.ComPort.empty())
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
    kolvex::sim::InstallBuiltinSimulator();

    try {
        const int status = kolvex::cli::Run(opt, rest);
        // A logger's settings may ask for an export after a good download.
        if (status != 0 || rest[0] != "download" || config.ExportArgs.empty()) return status;
        std::vector<std::string> exportArgs{"export"};
        exportArgs.insert(exportArgs.end(), config.ExportArgs.begin(), config.ExportArgs.end());
        return kolvex::cli::Run(opt, exportArgs);
    } catch (const kolvex::cli::UsageError& e) {
        return Usage(e.what());
    } catch (const kolvex::ETableBusy& e) {
        std::cerr << e.what() << "\n";
        return 3;
    } catch (const kolvex::EKolvex& e) {
        std::cerr << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
