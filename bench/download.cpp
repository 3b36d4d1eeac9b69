// SPDX-License-Identifier: GPL-3.0-or-later
// Download benchmark: a full 32 KB archive from the simulated logger.
//   paced (9600 baud, logger types 2 and 4; the simulator paces the requests
//   and the replies as a real line carries them): wall time against the
//   floor of a real line, as a ratio; target at most 1.05 (it depends on the
//   load: the timing is the line's). The floor is every request and reply
//   byte at 10 bits plus, per frame, the idle time the protocol demands
//   before a request and the logger's turnaround.
//   CPU: the PC side's CPU time of the paced download, as on a real line:
//   the clock of the thread that runs the download, so the simulated
//   logger's own thread is not counted; target at most 0.2 % of the line
//   time (it depends on the load: it is mostly the machine's cost of waking
//   a thread). The unpaced figure is printed beside, and the thread's
//   wake-ups per frame (its voluntary context switches: a count that does
//   not depend on the machine's load).
//
//   bench_download [--unpaced-only]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "BenchKit.h"
#include "base/ConfigRecord.h"
#include "archive/Adm.h"
#include "archive/Download.h"
#include "link/CommSettings.h"
#include "link/Frames.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "sim/Simulator.h"

using namespace kolvex;
namespace fs = std::filesystem;

namespace {

class QuietUi : public DownloadUi {
public:
    void Message(const std::string&) override {}
    void EditStoringOptions(StoringOptions&) override {}
    bool Confirm(const std::string&) override { return true; }
    std::optional<std::string> ChooseTargetFile(const std::string& p) override { return p; }
    StepFailure CommError(const std::string&) override { return StepFailure::Retry; }
    void ProgressStart(const std::string&) override {}
    void Progress(int) override {}
    void ProgressEnd() override {}
    void Information(const std::string&) override {}
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long ThreadWakeUps() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

constexpr double kByteSeconds = 10.0 / 9600.0;
constexpr int kTurnaroundMs = 2;


struct Run {
    double Wall = 0, Cpu = 0, Bound = 0, Floor = 0, WakeUps = 0;
    std::uint64_t Records = 0;
    std::size_t Frames = 0;
};

Run Download(int type, bool paced, int idleMs) {
    sim::SimOptions o;
    o.LoggerType = type;
    o.ArchiveSize = 32768;
    o.Samples = 20000;  // more than the ring holds: the memory is full
    o.Pacing = paced;
    o.PaceRequests = paced;
    o.TurnaroundMs = paced ? kTurnaroundMs : 0;
    sim::Simulator simulator(o);
    TSerCom port;
    LoggerData data;
    LoggerOps ops(port, data);
    OpenPortDirect(port, simulator.Start(), idleMs, 500);

    const fs::path dir = fs::temp_directory_path() / ("kolvex-bench-dl-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ConfigRecord config;
    config.LastArchivePath = (dir / "x.dbf").string();
    config.NameSource = 1;
    config.SplitFlags = 1;
    config.ReadMode = 1;
    config.InsertBookmark = 1;
    FixedAnswerer answers(false);
    TADM adm(&answers);
    QuietUi ui;

    simulator.ClearReceivedFrames();
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ThreadCpuSeconds();
    const long w0 = ThreadWakeUps();
    const DownloadResult r = ReadArchive(ops, adm, config, ui);
    adm.CloseArchive();
    Run run;
    run.Cpu = ThreadCpuSeconds() - c0;
    run.WakeUps = static_cast<double>(ThreadWakeUps() - w0);
    run.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.Records = r.Records;

    // The line-time bound and the floor of exactly the frames that were exchanged.
    const auto frames = simulator.ReceivedFrames();
    run.Frames = frames.size();
    if (run.Frames > 0) run.WakeUps /= static_cast<double>(run.Frames);
    double requestBytes = 0, replyBytes = 0;
    for (const auto& f : frames) {
        requestBytes += static_cast<double>(f.size());
        const bool write = (f[3] & 0x80) != 0;
        const int a = AddressLength(f[3]);
        const int count = a > 0 ? f[4 + a] : 8;  // area 0x08 (the clock) is the only read without a count
        replyBytes += write ? 1 : count + 4;
    }
    const double frameCount = static_cast<double>(frames.size());
    run.Bound = (requestBytes + replyBytes) * kByteSeconds + frameCount * idleMs / 1000.0;
    run.Floor = run.Bound + frameCount * kTurnaroundMs / 1000.0;
    fs::remove_all(dir);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--unpaced-only";
    if (argc > 2 || (argc > 1 && !quick)) bench::Refuse(argv[0], "the only option is --unpaced-only");
    bench::Session session("download");
    std::printf("download of a full 32 KB archive\n");
    double unpacedCpu[2] = {};
    for (int type : {2, 4}) {
        const Run r = Download(type, false, 1);
        unpacedCpu[type == 4] = r.Cpu;
        std::printf("  type %d unpaced : %7llu records, %5zu frames, PC CPU %.1f ms, %.1f wake-ups a frame\n", type,
                    static_cast<unsigned long long>(r.Records), r.Frames, r.Cpu * 1000, r.WakeUps);
        if (quick) {
            char line[160];
            std::snprintf(line, sizeof line, "type %d unpaced PC CPU %.1f ms < 50 ms", type, r.Cpu * 1000);
            session.Target(line, r.Cpu < 0.05 && r.Records > 0);
        }
    }
    if (quick) return session.Finish();
    for (int type : {2, 4}) {
        const Run r = Download(type, true, 20);
        const double ratio = r.Wall / r.Floor;
        std::printf("  type %d at 9600 : %7llu records, %5zu frames, wall %.2f s, floor %.2f s (of which the line "
                    "%.2f s), ratio to floor %.3f, PC CPU %.1f ms (unpaced %.1f ms), %.1f wake-ups a frame\n",
                    type, static_cast<unsigned long long>(r.Records), r.Frames, r.Wall, r.Floor, r.Bound, ratio,
                    r.Cpu * 1000, unpacedCpu[type == 4] * 1000, r.WakeUps);
        char line[160];
        std::snprintf(line, sizeof line, "type %d ratio to floor %.3f <= 1.05", type, ratio);
        session.Target(line, ratio <= 1.05 && r.Records > 0, true);
        // On a paced line the PC thread sleeps; what it costs is its
        // wake-ups (the code's own figure, at least two a frame: the request
        // when the idle time ends, the reply's end) times what one wake-up
        // costs the machine (about 25 us on a virtual machine).
        std::snprintf(line, sizeof line, "type %d paced wake-ups a frame %.1f <= 4", type, r.WakeUps);
        session.Target(line, r.WakeUps <= 4.0 && r.Records > 0);
        std::snprintf(line, sizeof line, "type %d paced PC CPU %.1f ms <= 0.2 %% of the line time (%.0f ms)", type,
                      r.Cpu * 1000, r.Wall * 2.0);
        session.Target(line, r.Cpu <= r.Wall * 0.002 && r.Records > 0, true);
    }
    return session.Finish();
}
