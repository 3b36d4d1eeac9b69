// Download benchmark: a full 32 KB archive from the simulated logger.
//   paced (9600 baud, logger types 2 and 4): wall time against the floor this
//   setup can reach, as a ratio; target at most 1.05. The simulator paces
//   only its replies (a pseudo-terminal passes the requests at once), so the
//   floor is every reply byte but the first at 10 bits plus, per frame, the
//   idle time and the simulator's turnaround. The line bound of a real line (request bytes
//   timed too) is printed beside it.
//   unpaced: CPU time of the PC side to decode and store the archive;
//   target under 50 ms.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

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

constexpr double kByteSeconds = 10.0 / 9600.0;
constexpr int kTurnaroundMs = 2;

const char* Verdict(bool met) { return met ? "" : "  MISSED"; }

struct Run {
    double Wall = 0, Cpu = 0, Bound = 0, Floor = 0;
    std::uint64_t Records = 0;
    std::size_t Frames = 0;
};

Run Download(int type, bool paced, int idleMs) {
    sim::SimOptions o;
    o.LoggerType = type;
    o.ArchiveSize = 32768;
    o.Samples = 20000;  // more than the ring holds: the memory is full
    o.Pacing = paced;
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
    const DownloadResult r = ReadArchive(ops, adm, config, ui);
    adm.CloseArchive();
    Run run;
    run.Cpu = ThreadCpuSeconds() - c0;
    run.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.Records = r.Records;

    // The line-time bound and the floor of exactly the frames that were exchanged.
    const auto frames = simulator.ReceivedFrames();
    run.Frames = frames.size();
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
    // The simulator sends a reply's first byte at once and each further one a
    // character time after the one before.
    run.Floor = (replyBytes - frameCount) * kByteSeconds + frameCount * (idleMs + kTurnaroundMs) / 1000.0;
    fs::remove_all(dir);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--unpaced-only";
    std::printf("download of a full 32 KB archive\n");
    for (int type : {2, 4}) {
        const Run r = Download(type, false, 1);
        std::printf("  type %d unpaced : %7llu records, %5zu frames, PC CPU %.1f ms (target < 50 ms)%s\n", type,
                    static_cast<unsigned long long>(r.Records), r.Frames, r.Cpu * 1000, Verdict(r.Cpu < 0.05));
    }
    if (quick) return 0;
    for (int type : {2, 4}) {
        const Run r = Download(type, true, 20);
        const double ratio = r.Wall / r.Floor;
        std::printf("  type %d at 9600 : %7llu records, %5zu frames, wall %.2f s, floor %.2f s (line bound %.2f s), "
                    "ratio to floor %.3f (target <= 1.05)%s\n",
                    type, static_cast<unsigned long long>(r.Records), r.Frames, r.Wall, r.Floor, r.Bound, ratio,
                    Verdict(ratio <= 1.05));
    }
    return 0;
}
