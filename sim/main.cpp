// SPDX-License-Identifier: GPL-3.0-or-later
// quendal-sim: serves a simulated QUENDAL 730 logger on a pseudo-terminal.
// Prints the slave path as the first line of standard output, then serves
// until SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ProgramVersion.h"
#include "sim/Simulator.h"

namespace {

const char* const kUsage =
    "usage: quendal-sim [options]\n"
    "  --type N            logger type 1..4 (default 4)\n"
    "  --minor N           version minor number (default 7)\n"
    "  --serial N          serial number (default 84321)\n"
    "  --input1 CODE       input type code of input 1 (default 0x17)\n"
    "  --input2 CODE       input type code of input 2 (default 0x01)\n"
    "  --caps1 N, --caps2 N  capability bits (default: chosen by input type)\n"
    "  --archive-size N    archive memory size, power of two >= 256 (default 32768)\n"
    "  --samples N         samples archived before start (default 200)\n"
    "  --period N          archiving period count 1..99 (default 10)\n"
    "  --unit U            sec|min|hour|off (default sec)\n"
    "  --one-byte | --two-byte  sample format (default two-byte)\n"
    "  --record 1|2|12     recorded inputs (default 12)\n"
    "  --pacing            send replies at 9600 Bd byte pace\n"
    "  --fault KIND        none|no-reply|short|bad-fcs|extra|late|padded\n"
    "                      (padded: the reply and one extra byte in one write)\n"
    "  --frames LIST       1-based frame numbers the fault applies to, e.g. 1,3,5\n"
    "  --every N           the fault applies to every N-th frame\n"
    "  --refuse CODE       never answer (nor carry out) requests with this command code, e.g. 0x89\n"
    "  --version           print the version and the licence\n"
    "  --help              this text\n"
    "Without --frames and --every a fault applies to every frame.\n";

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

long Number(const std::string& option, const std::string& text, long lo, long hi) {
    if (text.empty()) throw std::invalid_argument(option + ": missing number");
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);  // decimal or 0x hex
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        throw std::invalid_argument(option + ": bad value '" + text + "'");
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kolvex::sim;
    SimOptions options;
    FaultRule fault;
    bool framesOrEvery = false;
    int refuse = -1;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            }
            if (arg == "--version") {
                std::cout << "quendal-sim " KOLVEX_VERSION "\n" KOLVEX_VERSION_NOTICE;
                return 0;
            }
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument(arg + ": missing value");
                return argv[++i];
            };
            if (arg == "--type") {
                options.LoggerType = static_cast<int>(Number(arg, value(), 1, 4));
            } else if (arg == "--minor") {
                options.VersionMinor = static_cast<int>(Number(arg, value(), 0, 255));
            } else if (arg == "--serial") {
                options.SerialNumber = static_cast<std::uint32_t>(Number(arg, value(), 0, 99999999));
            } else if (arg == "--input1" || arg == "--input2") {
                options.InputType[arg == "--input1" ? 0 : 1] =
                    static_cast<std::uint8_t>(Number(arg, value(), 0, 255));
            } else if (arg == "--caps1" || arg == "--caps2") {
                options.InputCaps[arg == "--caps1" ? 0 : 1] =
                    static_cast<std::uint8_t>(Number(arg, value(), 0, 255));
            } else if (arg == "--archive-size") {
                const long v = Number(arg, value(), 256, 1L << 30);
                if ((v & (v - 1)) != 0) throw std::invalid_argument(arg + ": not a power of two");
                options.ArchiveSize = static_cast<std::uint32_t>(v);
            } else if (arg == "--samples") {
                options.Samples = static_cast<std::uint32_t>(Number(arg, value(), 0, 10000000));
            } else if (arg == "--period") {
                options.PeriodValue = static_cast<int>(Number(arg, value(), 1, 99));
            } else if (arg == "--unit") {
                const std::string u = value();
                if (u == "sec") options.PeriodUnit = 2;
                else if (u == "min") options.PeriodUnit = 3;
                else if (u == "hour") options.PeriodUnit = 4;
                else if (u == "off") options.PeriodUnit = 0;
                else throw std::invalid_argument(arg + ": bad unit '" + u + "'");
            } else if (arg == "--one-byte") {
                options.TwoByteSamples = false;
            } else if (arg == "--two-byte") {
                options.TwoByteSamples = true;
            } else if (arg == "--record") {
                const std::string r = value();
                if (r == "1") options.RecordFlags = 0x01;
                else if (r == "2") options.RecordFlags = 0x02;
                else if (r == "12") options.RecordFlags = 0x03;
                else throw std::invalid_argument(arg + ": bad value '" + r + "'");
            } else if (arg == "--pacing") {
                options.Pacing = true;
            } else if (arg == "--fault") {
                const std::string k = value();
                if (k == "none") fault.Kind = FaultKind::None;
                else if (k == "no-reply") fault.Kind = FaultKind::NoReply;
                else if (k == "short") fault.Kind = FaultKind::ShortReply;
                else if (k == "bad-fcs") fault.Kind = FaultKind::BadFcs;
                else if (k == "extra") fault.Kind = FaultKind::ExtraBytes;
                else if (k == "late") fault.Kind = FaultKind::LateReply;
                else if (k == "padded") {
                    fault.Kind = FaultKind::PaddedBurst;
                    fault.ExtraBytes = 1;
                }
                else throw std::invalid_argument(arg + ": bad kind '" + k + "'");
            } else if (arg == "--frames") {
                std::stringstream list(value());
                std::string item;
                while (std::getline(list, item, ','))
                    fault.Frames.push_back(static_cast<int>(Number(arg, item, 1, 1 << 30)));
                if (fault.Frames.empty()) throw std::invalid_argument(arg + ": empty list");
                framesOrEvery = true;
            } else if (arg == "--every") {
                fault.Every = static_cast<int>(Number(arg, value(), 1, 1 << 30));
                framesOrEvery = true;
            } else if (arg == "--refuse") {
                refuse = static_cast<int>(Number(arg, value(), 0, 255));
            } else {
                throw std::invalid_argument("unknown option '" + arg + "'");
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "quendal-sim: " << e.what() << "\n" << kUsage;
        return 2;
    }
    if (fault.Kind != FaultKind::None && !framesOrEvery) fault.Every = 1;

    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Block the stop signals outside sigsuspend, so that none is lost between
    // the check and the wait; the serving thread inherits the blocked mask.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    try {
        Simulator sim(options);
        if (fault.Kind != FaultKind::None) sim.SetFault(fault);
        if (refuse >= 0) sim.RefuseCommand(refuse);
        const std::string path = sim.Start();
        std::cout << path << std::endl;
        while (!gStop) sigsuspend(&waitMask);
        sim.Stop();
    } catch (const std::exception& e) {
        std::cerr << "quendal-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
