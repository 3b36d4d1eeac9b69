// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's pseudo-terminal server: one thread polls the master side,
// cuts the incoming bytes into frames, lets the device model answer, applies
// the fault rule and writes the reply, optionally paced like a 9600 Bd line.

#include "sim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "sim/LoggerDevice.h"

namespace kolvex::sim {

namespace {

std::int64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void SleepUs(std::int64_t us) {
    if (us <= 0) return;
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>((us % 1000000) * 1000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

constexpr std::int64_t kByteTimeUs = 1042;       // one 10-bit character at 9600 Bd
constexpr int kStaleFrameMs = 100;               // silence that ends a partial frame

}  // namespace

struct Simulator::Impl {
    explicit Impl(const SimOptions& o) : options(o), device(o) {}

    SimOptions options;
    LoggerDevice device;

    mutable std::mutex mutex;  // guards the fields below
    FaultRule fault;
    int faultCount = 0;
    int refused = -1;  // command code that gets no reply
    std::vector<Bytes> frames;
    std::vector<std::int64_t> requestTimes, replyTimes;
    std::string slavePath;

    int master = -1;
    int slave = -1;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> stopping{false};

    void Serve();
    void Process(const Bytes& frame);
    bool Wait(int ms);  // false when asked to stop meanwhile
    void WriteAll(const std::uint8_t* data, std::size_t count);
    void CloseAll();
};

bool Simulator::Impl::Wait(int ms) {
    if (ms <= 0) return !stopping;
    pollfd p{wake[0], POLLIN, 0};
    const std::int64_t end = MonotonicUs() + static_cast<std::int64_t>(ms) * 1000;
    for (;;) {
        const std::int64_t left = (end - MonotonicUs() + 999) / 1000;
        if (left <= 0 || stopping) break;
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r > 0) break;
    }
    return !stopping;
}

void Simulator::Impl::WriteAll(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !stopping) {
        const ssize_t w = write(master, data + done, count - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 10);
        } else {
            return;
        }
    }
}

void Simulator::Impl::Process(const Bytes& frame) {
    const std::int64_t received = MonotonicUs();
    FaultRule rule;
    bool faulty = false;
    std::size_t index;
    {
        std::lock_guard lock(mutex);
        frames.push_back(frame);
        requestTimes.push_back(received);
        replyTimes.push_back(-1);
        index = replyTimes.size() - 1;
        const int n = ++faultCount;
        rule = fault;
        if (refused >= 0 && frame.size() > 3 && frame[3] == refused) return;
        if (rule.Kind != FaultKind::None) {
            faulty = std::find(rule.Frames.begin(), rule.Frames.end(), n) != rule.Frames.end() ||
                     (rule.Every > 0 && n % rule.Every == 0);
        }
    }

    Bytes reply = device.HandleFrame(frame);
    if (reply.empty()) return;
    int delayMs = options.TurnaroundMs;
    bool burst = false;
    if (faulty) {
        switch (rule.Kind) {
            case FaultKind::NoReply:
                return;
            case FaultKind::ShortReply:
                reply.pop_back();
                break;
            case FaultKind::BadFcs:
                reply.back() = static_cast<std::uint8_t>(reply.back() ^ 0xFF);
                break;
            case FaultKind::ExtraBytes:
                reply.insert(reply.end(), static_cast<std::size_t>(std::max(rule.ExtraBytes, 0)),
                             std::uint8_t{0x00});
                break;
            case FaultKind::PaddedBurst:
                reply.insert(reply.end(), static_cast<std::size_t>(std::max(rule.ExtraBytes, 0)),
                             std::uint8_t{0xFF});
                burst = true;
                break;
            case FaultKind::LateReply:
                delayMs += rule.LateMs;
                break;
            case FaultKind::None:
                break;
        }
    }
    // The request's last byte reaches a real logger a character time per
    // byte after the PC wrote the first one.
    if (options.Pacing && options.PaceRequests)
        SleepUs(received + static_cast<std::int64_t>(frame.size()) * kByteTimeUs - MonotonicUs());
    if (!Wait(delayMs)) return;
    // The reply's time is taken just before its last byte is handed to the
    // line: the PC cannot have the whole reply earlier, and a pause of this
    // thread after the write does not make the reply look later than it was.
    std::int64_t complete = 0;
    if (options.Pacing && !burst) {
        const std::int64_t begin = MonotonicUs();
        for (std::size_t i = 0; i < reply.size() && !stopping; ++i) {
            SleepUs(begin + static_cast<std::int64_t>(i) * kByteTimeUs - MonotonicUs());
            complete = MonotonicUs();
            WriteAll(&reply[i], 1);
        }
    } else {
        complete = MonotonicUs();
        WriteAll(reply.data(), reply.size());
    }
    std::lock_guard lock(mutex);
    if (index < replyTimes.size()) replyTimes[index] = complete;
}

void Simulator::Impl::Serve() {
    FrameParser parser;
    std::uint8_t buf[512];
    while (!stopping) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int r = poll(fds, 2, parser.Pending() ? kStaleFrameMs : -1);
        if (stopping) break;
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (r == 0) {  // silence in the middle of a frame: give it up
            parser.DropStale();
        } else if (fds[0].revents & POLLIN) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                parser.Feed(buf, static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                Wait(10);  // no client side (should not happen: we hold the slave open)
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            Wait(10);
        }
        while (auto frame = parser.Next()) Process(*frame);
    }
}

void Simulator::Impl::CloseAll() {
    for (int* fd : {&master, &slave, &wake[0], &wake[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

Simulator::Simulator(const SimOptions& options) : impl_(std::make_unique<Impl>(options)) {}

Simulator::~Simulator() { Stop(); }

std::string Simulator::Start() {
    if (impl_->thread.joinable()) return SlavePath();
    Impl& s = *impl_;
    s.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (s.master < 0) throw std::runtime_error("posix_openpt failed");
    if (grantpt(s.master) != 0 || unlockpt(s.master) != 0) {
        s.CloseAll();
        throw std::runtime_error("grantpt/unlockpt failed");
    }
    char name[128] = {};
    if (ptsname_r(s.master, name, sizeof name) != 0) {
        s.CloseAll();
        throw std::runtime_error("ptsname failed");
    }
    // Keep one slave descriptor open so that the master never sees a hang-up
    // while the client closes and reopens the port.
    s.slave = open(name, O_RDWR | O_NOCTTY);
    if (s.slave < 0) {
        s.CloseAll();
        throw std::runtime_error("cannot open the pseudo-terminal slave");
    }
    termios tio{};
    tcgetattr(s.slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(s.slave, TCSANOW, &tio);
    fcntl(s.master, F_SETFL, fcntl(s.master, F_GETFL) | O_NONBLOCK);
    if (pipe(s.wake) != 0) {
        s.CloseAll();
        throw std::runtime_error("pipe failed");
    }
    {
        std::lock_guard lock(s.mutex);
        s.slavePath = name;
    }
    s.stopping = false;
    s.thread = std::thread([&s] { s.Serve(); });
    return name;
}

void Simulator::Stop() {
    Impl& s = *impl_;
    if (s.thread.joinable()) {
        s.stopping = true;
        const char c = 1;
        if (write(s.wake[1], &c, 1) < 0) {
        }
        s.thread.join();
    }
    s.CloseAll();
}

std::string Simulator::SlavePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->slavePath;
}

void Simulator::RefuseCommand(int command) {
    std::lock_guard lock(impl_->mutex);
    impl_->refused = command;
}

void Simulator::SetFault(const FaultRule& rule) {
    std::lock_guard lock(impl_->mutex);
    impl_->fault = rule;
    impl_->faultCount = 0;
}

void Simulator::ClearFault() { SetFault(FaultRule{}); }

std::vector<std::vector<std::uint8_t>> Simulator::ReceivedFrames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames;
}

void Simulator::ClearReceivedFrames() {
    std::lock_guard lock(impl_->mutex);
    impl_->frames.clear();
    impl_->requestTimes.clear();
    impl_->replyTimes.clear();
}

std::vector<std::int64_t> Simulator::RequestTimesUs() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requestTimes;
}

std::vector<std::int64_t> Simulator::ReplyTimesUs() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->replyTimes;
}

std::vector<std::uint8_t> Simulator::ParameterBlockBytes() const { return impl_->device.ParameterBlockBytes(); }
std::vector<std::uint8_t> Simulator::InputInfoBytes() const { return impl_->device.InputInfoBytes(); }
std::int32_t Simulator::ArchiveRead() const { return impl_->device.ArchiveRead(); }
std::int32_t Simulator::ArchiveWrite() const { return impl_->device.ArchiveWrite(); }
std::uint8_t Simulator::ArchiveStatus() const { return impl_->device.ArchiveStatus(); }
std::vector<std::uint8_t> Simulator::DiagnosticBytes() const { return impl_->device.DiagnosticBytes(); }
void Simulator::SetDiagnosticBytes(const std::vector<std::uint8_t>& bytes) { impl_->device.SetDiagnosticBytes(bytes); }
std::uint8_t Simulator::BusAddress() const { return impl_->device.BusAddress(); }
std::string Simulator::ClockText() const { return impl_->device.ClockText(); }
std::vector<std::uint8_t> Simulator::ArchiveBytes() const { return impl_->device.ArchiveBytes(); }
LoggerDevice& Simulator::Device() { return impl_->device; }

}  // namespace kolvex::sim
