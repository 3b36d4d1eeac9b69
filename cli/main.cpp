// kolvex12-cli: the logger's service functions for scripts and support.
//
//   kolvex12-cli [--port P] [--idle MS] [--slot MS] [--lang cs|en] [--json] COMMAND
//
// Exit status: 0 success, 1 an error of the logger link (message on stderr),
// 2 a usage error.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <locale>
#include <string>
#include <vector>

#include "app/Errors.h"
#include "app/Language.h"
#include "cli/Commands.h"
#include "sim/BuiltinPort.h"

namespace {

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "kolvex12-cli: " << problem << "\n";
    std::cerr << "usage: kolvex12-cli [--port P] [--idle MS] [--slot MS] [--lang cs|en] [--json] COMMAND\n"
                 "commands:\n"
                 "  ports                        list the serial ports\n"
                 "  info                         logger identity\n"
                 "  clock                        logger clock\n"
                 "  diag                         diagnostic state\n"
                 "  pointers                     archive pointers and fill\n"
                 "  params                       archiving parameters\n"
                 "  live [--repeat]              current values (every five seconds with --repeat)\n"
                 "  read-memory CODE ADDR LEN    hex dump of a logger memory area\n"
                 "  dump TABLE [--json]          fields and records of an archive table\n"
                 "  download [--dir DIR] [--name-source param|serial] [--file PATH]\n"
                 "           [--split year,month,week,day] [--mode bookmark|all] [--no-bookmark]\n"
                 "           [--ext dbf|db] [--retries N] [--json]\n"
                 "                               download the logger's archive into tables\n"
                 "  repair TABLE                 keep the complete records of a table cut short\n"
                 "port: COM1..COM9, USB0..USB9, ACM0..ACM9, SIM (default) or a device path\n";
    return 2;
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
    std::vector<std::string> rest;
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
        } else if (a == "--idle" || a == "--slot") {
            const char* v = value(a.c_str());
            long long n = 0;
            if (!v || !ParseInt(v, n) || n < 0 || n > 10000) return Usage(a + " needs milliseconds 0..10000");
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
    kolvex::sim::InstallBuiltinSimulator();

    try {
        return kolvex::cli::Run(opt, rest);
    } catch (const kolvex::cli::UsageError& e) {
        return Usage(e.what());
    } catch (const kolvex::EKolvex& e) {
        std::cerr << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
