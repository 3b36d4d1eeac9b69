// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SerCom.h"
#include "link/LinkTrace.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>

#include <libserialport.h>

#include "base/Errors.h"
#include "base/Language.h"
#include "link/NetPort.h"
#include "link/PortNames.h"
#include "link/Timing.h"

namespace kolvex {

namespace {

speed_t SpeedFor(std::uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B9600;
    }
}

void SetModemLine(int fd, int line, bool asserted) {
    // Pseudo-terminals refuse modem-line calls; the result is ignored like
    // that of every other line-settings call.
    int bits = line;
    (void)ioctl(fd, asserted ? TIOCMBIS : TIOCMBIC, &bits);
}

std::string FormatOpenError(const std::string& port, PortProblem problem, const std::string& device, int error) {
    std::string text = Tr("Port  " + port + "  nelze otevřít", "Port  " + port + "  is impossible to open");
    const std::string reason = PortProblemText(problem, device, error);
    if (!reason.empty()) text += ": " + reason;
    return text;
}

PortProblem ProblemOf(int error) {
    switch (error) {
        case 0: return PortProblem::None;
        case EACCES: case EPERM: case EROFS: return PortProblem::Permission;
        case ENOENT: case ENODEV: case ENXIO: case ENOTDIR: return PortProblem::Missing;
        case EBUSY: case EWOULDBLOCK: return PortProblem::Busy;
        case ENOTTY: return PortProblem::NotSerial;
        default: return PortProblem::Other;
    }
}

// The permission advice for a device this user may not open: joining its
// group helps only when the group may read and write it and is not root's.
std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        const bool groupRw = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        if (const group* g = ::getgrgid(st.st_gid); g && st.st_gid != 0 && groupRw) {
            const std::string name = g->gr_name;
            return Tr("přístup odepřen; zařízení patří skupině " + name + ": přidejte do ní uživatele (sudo usermod -a -G " +
                          name + " $USER) a znovu se přihlaste",
                      "permission denied; the device belongs to the group " + name +
                          ": add the user to it (sudo usermod -a -G " + name + " $USER) and log in again");
        }
        std::string owner = std::to_string(st.st_uid);
        if (const passwd* pw = ::getpwuid(st.st_uid)) owner = pw->pw_name;
        return Tr("přístup odepřen; zařízení smí používat jen " + owner +
                      " a členství ve skupině nepomůže: přístup musí povolit správce systému (například pravidlem udev)",
                  "permission denied; the device is for " + owner +
                      " alone and no group gives access: the administrator must give access (for example with a "
                      "udev rule)");
    }
    return Tr("přístup odepřen", "permission denied");
}

bool IsUsbAdapter(const std::string& device) {
    return device.find("ttyUSB") != std::string::npos || device.find("/by-id/usb-") != std::string::npos;
}

bool IsAcmDevice(const std::string& device) { return device.find("ttyACM") != std::string::npos; }

std::string UsbDescription(sp_port* p) {
    std::string text;
    auto add = [&text](const char* part) {
        if (part && *part) text += (text.empty() ? "" : " ") + std::string(part);
    };
    add(sp_get_port_usb_manufacturer(p));
    add(sp_get_port_usb_product(p));
    int vid = 0, pid = 0;
    if (sp_get_port_usb_vid_pid(p, &vid, &pid) == SP_OK) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", vid & 0xFFFF, pid & 0xFFFF);
        text += (text.empty() ? "" : " ") + std::string("(") + ids + ")";
    }
    if (const char* serial = sp_get_port_usb_serial(p); serial && *serial)
        text += (text.empty() ? "" : ", ") + std::string("S/N ") + serial;
    return text;
}

}  // namespace

TSerCom::TSerCom() : abortFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TSerCom::~TSerCom() {
    Close();
    if (abortFd_ >= 0) ::close(abortFd_);
}

void TSerCom::RequestAbort() {
    abort_ = true;
    abortSignalled_ = true;
    if (abortFd_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(abortFd_, &one, sizeof one);
    }
}

namespace {
// Empties the abort event once its abort has been dealt with (or cleared).
void ClearAbortEvent(int fd) {
    std::uint64_t count = 0;
    if (fd >= 0) (void)!::read(fd, &count, sizeof count);
}
}  // namespace

void NetPortDeleter::operator()(NetPort* p) const { delete p; }

void SortPortNames(std::vector<PortEntry>& list) {
    for (std::size_t i = 0; i + 1 < list.size(); ++i)
        for (std::size_t j = i + 1; j < list.size(); ++j)
            if (strcasecmp(list[i].Name.c_str(), list[j].Name.c_str()) > 0) std::swap(list[i], list[j]);
}

PortProblem ProbePort(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return ProblemOf(errno);
    if (!S_ISCHR(st.st_mode)) return PortProblem::NotSerial;
    if (::access(device.c_str(), R_OK | W_OK) != 0) return ProblemOf(errno);
    return PortProblem::None;
}

PortProblem CheckTerminal(const std::string& device, int* osError) {
    const PortProblem probe = ProbePort(device);
    if (probe != PortProblem::None) return probe;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int error = fd < 0 ? errno : (::isatty(fd) ? 0 : ENOTTY);
    if (fd >= 0) ::close(fd);
    if (osError) *osError = error;
    return ProblemOf(error);
}

std::string PortProblemText(PortProblem problem, const std::string& device, int osError) {
    switch (problem) {
        case PortProblem::None: return {};
        case PortProblem::Permission: return PermissionAdvice(device);
        case PortProblem::Missing:
            if (IsUsbAdapter(device))
                // The braille display service takes CH340 and CP210x adapters
                // for braille displays and grabs them seconds after plugging.
                return Tr("zařízení není připojeno (odpojeno?); převodník USB, který po připojení za pár sekund "
                          "zmizí, si obvykle bere služba brltty pro braillské řádky: ověřte příkazem "
                          "journalctl -b | grep -i brltty, odstraňte ji příkazem sudo apt remove brltty",
                          "the device is not present (unplugged?); a USB adapter that vanishes seconds after "
                          "plugging in is usually taken by the braille display service brltty: check with "
                          "journalctl -b | grep -i brltty, remove it with sudo apt remove brltty");
            return Tr("zařízení není připojeno (odpojeno?)", "the device is not present (unplugged?)");
        case PortProblem::Busy:
            if (IsAcmDevice(device))
                // ModemManager probes every new ACM device for a modem.
                return Tr("zařízení je obsazeno (používá ho jiný program); hned po připojení je obvykle zkoumá "
                          "ModemManager: ověřte příkazem systemctl status ModemManager, chvíli počkejte nebo "
                          "službu zastavte (sudo systemctl stop ModemManager)",
                          "the device is busy (used by another program); right after plugging in, ModemManager "
                          "usually probes it: check with systemctl status ModemManager, wait a moment or stop it "
                          "(sudo systemctl stop ModemManager)");
            return Tr("zařízení je obsazeno (používá ho jiný program)", "the device is busy (used by another program)");
        case PortProblem::NotSerial: return Tr("nejde o sériové zařízení", "not a serial device");
        case PortProblem::Other: return osError ? std::string(std::strerror(osError)) : std::string();
    }
    return {};
}

std::vector<PortEntry> ListSerialPorts(const std::string& byIdFolder) {
    std::vector<PortEntry> found;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) == SP_OK) {
        for (sp_port** p = ports; p && *p; ++p) {
            const char* device = sp_get_port_name(*p);
            if (!device) continue;
            std::string description = sp_get_port_transport(*p) == SP_TRANSPORT_USB ? UsbDescription(*p) : "";
            if (description.empty())
                if (const char* d = sp_get_port_description(*p)) description = d;
            found.push_back({AliasForDevice(device).value_or(device), device, description, ProbePort(device)});
        }
        sp_free_port_list(ports);
    }
    SortPortNames(found);

    // The stable names, each after its device; those whose device the
    // enumeration does not know go last.
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(byIdFolder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') names.push_back(byIdFolder + "/" + e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        char resolved[PATH_MAX];
        if (!::realpath(name.c_str(), resolved)) continue;
        const std::string target = resolved;
        auto at = std::find_if(found.begin(), found.end(), [&](const PortEntry& p) { return p.Device == target; });
        PortEntry entry{name, target, at != found.end() ? at->Description : "", ProbePort(target)};
        if (at == found.end()) {
            found.push_back(std::move(entry));
        } else {
            while (at + 1 != found.end() && (at + 1)->Device == target) ++at;
            found.insert(at + 1, std::move(entry));
        }
    }
    return found;
}

std::string PortWorkAbortedText() { return Tr("Komunikace přerušena", "Communication aborted"); }

void TSerCom::RunWork(const std::function<void()>& work) {
    abort_ = false;
    // Only an abort asked for since the last work leaves an event to empty
    // (a left-over one is also emptied by the wait that sees it).
    if (abortSignalled_.exchange(false)) ClearAbortEvent(abortFd_);
    if (runner_) runner_(work);
    else work();
}

void TSerCom::ThrowIfAborted() const {
    if (abort_) throw EComm(PortWorkAbortedText());
}

void TSerCom::EnumeratePorts() {
    std::vector<PortEntry> found = ListSerialPorts(kSerialByIdFolder);
    if (simulated_) found.push_back({kSimulatedPort, "", Tr("Simulovaný záznamník", "Simulated logger")});
    PortList = std::move(found);
}

bool TSerCom::LineLost() const {
    if (Handle < 0) return false;
    pollfd pfd{Handle, 0, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void TSerCom::Open() {
    try {
        OpenPort();
    } catch (const std::exception& e) {
        if (LinkTrace* t = CurrentLinkTrace()) t->Note("error", "open " + PortName + ": " + e.what());
        throw;
    }
    if (LinkTrace* t = CurrentLinkTrace()) t->Note("open", SettingsText());
}

std::string TSerCom::SettingsText() const {
    static const char* const parity[] = {"none", "odd", "even"};
    return "port " + PortName + " (" + (Handle >= 0 ? devicePath_ : std::string("closed")) + "), " +
           std::to_string(BaudRate) + " baud, 8 data bits, parity " + (Parity < 3 ? parity[Parity] : "?") +
           ", 1 stop bit, RTS " + ((LineControl & 0x04) ? "on" : "off") + ", DTR " +
           ((LineControl & 0x08) ? "on" : "off") + ", idle " + std::to_string(IdleTime / 1000) +
           " ms, reply time-out " + std::to_string(ReplyTimeout / 1000) + " ms, gap " +
           std::to_string(GapTimeout / 1000) + " ms, attempts " + std::to_string(Tries) + ", logger address " +
           std::to_string(LoggerAddress) + (net_ ? ", network port" : "");
}

namespace {
struct BusyGuard {
    bool& flag;
    ~BusyGuard() { flag = false; }
};
}  // namespace

void TSerCom::OpenPort() {
    if (Busy) throw EComm(Tr("Komunikační port je obsazen", "The communication port is busy"));
    if (Handle >= 0) Close();
    Busy = true;
    BusyGuard guard{Busy};
    // Connecting to a network server takes its time: it is port work. The
    // port's members are set on the caller's thread once it has succeeded.
    std::unique_ptr<NetPort, NetPortDeleter> net;
    std::string device;
    int handle = -1;
    const std::string name = PortName;
    const SimulatedPortSource simulated = simulated_;
    RunWork([&] {
        // The one place where a port name becomes an open device.
        std::optional<std::string> path;
        if (IsNetworkPort(name)) {
            // The remote line appears as a local pseudo-terminal.
            net.reset(new NetPort(name, BaudRate, Parity, &abort_));
            path = net->SlavePath();
        } else {
            path = DeviceForPort(name, simulated);
        }
        if (!path)
            throw EComm(FormatOpenError(name, PortProblem::None, "", 0) +
                        Tr(": neznámý název portu", ": unknown port name"));
        const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            throw EComm(FormatOpenError(name, ProblemOf(error), *path, error));
        }
        termios tio{};
        // Not shared: a second program cannot open the port while we hold it,
        // and a program that locks it keeps us out.
        int refused = 0;
        if (tcgetattr(fd, &tio) != 0) refused = ENOTTY;
        else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) refused = EBUSY;
        if (refused) {
            ::close(fd);
            throw EComm(FormatOpenError(name, ProblemOf(refused), *path, refused));
        }
        (void)ioctl(fd, TIOCEXCL);

        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        if (Parity == 1) tio.c_cflag |= PARENB | PARODD;
        if (Parity == 2) tio.c_cflag |= PARENB;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        cfsetispeed(&tio, SpeedFor(BaudRate));
        cfsetospeed(&tio, SpeedFor(BaudRate));
        (void)tcsetattr(fd, TCSANOW, &tio);
        handle = fd;
        device = *path;
    });
    Handle = handle;
    devicePath_ = device;
    steadyLine_ = false;
    turnaround_ = 0;
    net_ = std::move(net);
    SetLineState(LineState::lsOpen);
    ErrorCount = 0;
}

void TSerCom::Close() {
    if (Handle < 0) return;
    if (LinkTrace* t = CurrentLinkTrace()) t->Note("close", "port " + PortName);
    SetLineState(LineState::lsClosed);
    (void)ioctl(Handle, TIOCNXCL);
    ::close(Handle);
    Handle = -1;
    net_.reset();
}

void TSerCom::SetLineState(LineState state) {
    if (Handle < 0) return;
    const bool open = state == LineState::lsOpen;
    SetModemLine(Handle, TIOCM_RTS, open && (LineControl & 0x04));
    SetModemLine(Handle, TIOCM_DTR, open && (LineControl & 0x08));
    if (net_) net_->SetLines(open && (LineControl & 0x04), open && (LineControl & 0x08));
}

bool TSerCom::WriteAll(const std::uint8_t* data, std::size_t& length) {
    std::size_t done = 0;
    const std::size_t want = length;
    if (Handle < 0) {
        length = 0;
        return false;
    }
    // The port is non-blocking; wait for room when the driver's buffer is full,
    // but never longer than the reply time-out.
    std::int64_t limit = 0;
    StartDeadline(limit, ReplyTimeout);
    while (done < want) {
        const ssize_t n = ::write(Handle, data + done, want - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) break;
        if (abort_) break;
        std::int64_t left = MicrosecondsUntil(limit);
        if (left <= 0) break;
        if (left > 50000) left = 50000;  // an abort is seen within 50 ms
        pollfd pfd{Handle, POLLOUT, 0};
        timespec ts{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
        if (ppoll(&pfd, 1, &ts, nullptr) <= 0) break;
    }
    length = done;
    return done == want;
}

std::size_t TSerCom::DrainInput() {
    if (Handle >= 0) {
        // The port is non-blocking: a read takes what is queued, or fails
        // with EAGAIN when nothing is; one system call when little came.
        std::uint8_t chunk[512];
        for (;;) {
            const ssize_t n = ::read(Handle, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            staged_.insert(staged_.end(), chunk, chunk + n);
            if (static_cast<std::size_t>(n) < sizeof chunk) break;
        }
    }
    return staged_.size();
}

void TSerCom::WaitForInput(std::int64_t deadline) {
    std::int64_t left = MicrosecondsUntil(deadline);
    if (left <= 0) return;
    if (left > 50000) left = 50000;  // an abort is seen within 50 ms
    timespec ts{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
    if (Handle >= 0) {
        pollfd pfd[2] = {{Handle, POLLIN, 0}, {abortFd_, POLLIN, 0}};
        const int r = ppoll(pfd, abortFd_ >= 0 ? 2 : 1, &ts, nullptr);
        if (r > 0 && (pfd[1].revents & POLLIN)) {
            if (!abort_) ClearAbortEvent(abortFd_);  // left over from an abort already dealt with
            return;
        }
        // A hung-up line reports at once without data: sleep out the time
        // instead of spinning on it.
        if (r > 0 && !(pfd[0].revents & POLLIN)) nanosleep(&ts, nullptr);
    } else {
        nanosleep(&ts, nullptr);
    }
}

void TSerCom::SleepUntil(std::int64_t until) {
    while (!abort_) {
        const std::int64_t left = MicrosecondsUntil(until);
        if (left <= 0) return;
        if (abortFd_ < 0) {
            WaitUntil(50000, until);  // an abort is seen within 50 ms
            continue;
        }
        timespec ts{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
        pollfd pfd{abortFd_, POLLIN, 0};
        if (ppoll(&pfd, 1, &ts, nullptr) > 0 && !abort_) ClearAbortEvent(abortFd_);
    }
}

std::uint32_t TSerCom::LineTime(std::size_t bytes) const {
    // Ten bits a byte: start, eight data bits, stop.
    return BaudRate == 0 ? 0 : static_cast<std::uint32_t>(bytes * 10u * 1000000u / BaudRate);
}

std::uint32_t TSerCom::ReplyWait(std::size_t requestLength, std::size_t expected) const {
    // The request is written into the driver's queue at once and leaves it at
    // the line's pace; the logger answers only after its last byte, so the
    // reply time-out counts from when that byte is on the line.
    const std::uint32_t sent = ReplyTimeout + LineTime(requestLength);
    if (!net_) return sent;
    // Over a network the reply arrives in pieces with the server's buffering
    // and the network's delays between them, so the whole reply must arrive
    // within that time plus its own time on the remote line.
    return sent + LineTime(expected);
}

std::size_t TSerCom::Transact(const std::uint8_t* request, std::size_t& requestLength,
                              std::uint8_t* reply, std::size_t expected, ReplyCheck accept) {
    LinkTrace* const trace = CurrentLinkTrace();
    if (Busy) {
        if (trace) trace->Note("error", "the port is busy with another exchange");
        throw EComm(Tr("Komunikační port je obsazen", "The communication port is busy"));
    }
    Busy = true;
    BusyGuard guard{Busy};
    std::size_t received = 0;
    RunWork([&] { received = TransactHere(request, requestLength, reply, expected, accept); });
    return received;
}

void TSerCom::SettleAfterAbort() {
    if (settleUntil_ == 0 || Handle < 0) return;
    std::int64_t cap = 0;
    StartDeadline(cap, 1000000);
    const std::int64_t until = std::min(settleUntil_, cap);
    settleUntil_ = 0;
    std::int64_t quiet = 0;
    StartDeadline(quiet, GapTimeout);
    std::size_t seen = DrainInput();
    while (!DeadlinePassed(1000000, cap)) {
        const std::size_t now = DrainInput();
        if (now != seen) {
            seen = now;
            StartDeadline(quiet, GapTimeout);
        }
        if (DeadlinePassed(GapTimeout, quiet) && DeadlinePassed(1000000, until)) break;
        ThrowIfAborted();
        WaitForInput(std::max(quiet, until));
    }
    staged_.clear();
}

std::size_t TSerCom::ReadReply(std::size_t written, std::size_t expected) {
    const auto ticks = [](std::int64_t microseconds) { return microseconds * CounterFrequency() / 1000000; };
    // The first byte must come within the reply time-out, every further byte
    // within the gap time-out of the previous one (a network port: the whole
    // reply within its wait).
    StartDeadline(ReplyDeadline, ReplyWait(written, expected));
    // The request's last byte leaves the line this long after the write: the
    // reply cannot begin earlier.
    const std::int64_t sentAt = CounterNow() + ticks(LineTime(written));
    // Until a reply has come at the line's full pace, the port wakes for its
    // first byte; then, as the rest's length is known, it sleeps through the
    // rest's line time at BaudRate and looks again: a paced reply costs a few
    // wake-ups, not one a byte. When bytes are still missing after such a
    // sleep (the line is a little behind), it wakes for the next byte and
    // then sleeps again. Until a reply has come at the line's full pace, a
    // sleep does not run past the gap time-out.
    //
    // Once the line has shown its full pace, the port does not wake for the
    // first byte: it sleeps from the request to the reply's expected end (the
    // logger's usual turnaround, learnt from earlier replies, plus the
    // reply's line time), so a reply costs one wake-up. That first sleep
    // never runs past the gap time-out after the request has left, so no
    // pause longer than the gap time-out can hide in it, nor past the reply
    // time-out.
    std::size_t received = 0;
    std::int64_t lookedAt = 0;  // when the last look found new bytes
    bool slept = false;         // the last wait was such a sleep
    bool cut = false;           // ... and it ended at the deadline, before the rest was due
    bool first = false;         // ... and it was the sleep from the request
    bool polled = false;        // the last wait woke for a byte as it came
    bool learn = true;          // the next byte woken for tells when the reply began
    if (!net_ && steadyLine_ && expected > 0) {
        const std::int64_t end = sentAt + turnaround_ + ticks(LineTime(expected) + LineTime(1) / 4);
        const std::int64_t until = std::min({end, sentAt + ticks(GapTimeout), ReplyDeadline});
        SleepUntil(until);
        lookedAt = sentAt;
        slept = first = true;
        cut = until < end;
    }
    for (;;) {
        const std::size_t queued = DrainInput();
        const std::int64_t now = CounterNow();
        if (queued == received) {
            if (slept) steadyLine_ = false;
            slept = first = false;
            if (DeadlinePassed(ReplyTimeout, ReplyDeadline)) break;
            if (abort_) {
                settleUntil_ = ReplyDeadline;  // the answer may still come
                ThrowIfAborted();
            }
            WaitForInput(ReplyDeadline);
            polled = true;
            continue;
        }
        const std::size_t fresh = queued - received;
        const std::size_t due = expected - std::min(received, expected);  // missing before this look
        if (slept) {
            // Bytes the line can carry in the time slept (the first sleep:
            // from the reply's expected start, with a byte's leeway for the
            // turnaround's jitter). A reply that began later than expected
            // or paused is not taken for a steady one.
            const std::int64_t from = first ? sentAt + turnaround_ : lookedAt;
            const auto elapsed = static_cast<std::uint64_t>(std::max<std::int64_t>(now - from, 0));
            const std::uint64_t carried = elapsed * BaudRate / 10 / static_cast<std::uint64_t>(CounterFrequency());
            steadyLine_ = fresh + (first ? 2 : 1) >= std::min<std::uint64_t>(due, carried);
        }
        if (!net_ && first && fresh >= expected) {
            turnaround_ -= turnaround_ / 16;  // whole at the first look: look a little earlier next time
        } else if (!net_ && learn && polled) {
            // Woken by a byte as it came (the first, or the next after a first
            // look that came too early): the reply began its line time before
            // now, which is the turnaround the next first sleep allows for.
            const std::int64_t began = now - ticks(LineTime(queued)) - sentAt;
            turnaround_ = std::clamp<std::int64_t>(began, 0, ticks(ReplyTimeout));
            learn = false;
        }
        if (!first && received > 0) learn = false;
        received = queued;
        // Converters that add a byte deliver it in the same burst: the
        // reply is complete once the expected count is there.
        if (received >= expected) break;
        if (abort_) {
            settleUntil_ = ReplyDeadline;
            ThrowIfAborted();
        }
        if (!net_) {
            // Bytes found after a sleep came at the line's pace after the
            // previous look (after the first sleep: after the request left):
            // the last of them is timed from there, so that a reply that
            // stops during a sleep is given up the gap time-out after its
            // last byte, as when every byte is seen as it comes.
            std::int64_t last = now;
            if (slept) last = std::min(now, lookedAt + ticks(LineTime(fresh)));
            ReplyDeadline = last + ticks(GapTimeout);
            if (ReplyDeadline <= now) break;  // the line stopped for longer during the sleep
        }
        lookedAt = now;
        first = false;
        if (slept && !cut) {
            WaitForInput(ReplyDeadline);
            slept = false;
            polled = true;
            continue;
        }
        std::int64_t until = now + ticks(LineTime(expected - received));
        cut = (net_ || !steadyLine_) && ReplyDeadline < until;
        if (cut) until = ReplyDeadline;
        SleepUntil(until);
        slept = true;
        polled = false;
    }
    return received;
}

std::size_t TSerCom::TransactHere(const std::uint8_t* request, std::size_t& requestLength,
                                  std::uint8_t* reply, std::size_t expected, ReplyCheck accept) {
    LinkTrace* const trace = CurrentLinkTrace();
    SettleAfterAbort();
    const std::size_t count = requestLength;
    bool refused = false;  // a complete reply was refused; it waits in `reply`
    std::int64_t lostSince = -1;  // when a network connection was first lost
    for (unsigned attempt = 0;;) {
        if (attempt >= Tries) {
            if (trace) trace->Note("error", "no good reply in " + std::to_string(Tries) + " attempts");
            if (refused) return expected;
            throw EComm(Tr("Chyba komunikace", "Communication error"));
        }
        ThrowIfAborted();
        std::uint64_t generation = 0;
        if (net_) {
            net_->EnsureConnected();
            generation = net_->Generation();
        }

        // Keep the idle time, in pieces so that an abort is seen.
        std::int64_t idleEnd = 0;
        StartDeadline(idleEnd, IdleTime);
        if (LineFreeAt < idleEnd) idleEnd = LineFreeAt;
        while (!DeadlinePassed(IdleTime, idleEnd)) {
            WaitUntil(50000, idleEnd);
            ThrowIfAborted();
        }

        // Purge both queues; bytes of an earlier reply are dropped here.
        if (Handle >= 0) (void)tcflush(Handle, TCIOFLUSH);
        staged_.clear();

        std::size_t written = count;
        const bool sent = WriteAll(request, written);
        requestLength = written;
        if (trace) {
            trace->Frame("tx", attempt + 1, request, written);
            if (!sent) trace->Note("error", "only " + std::to_string(written) + " of " + std::to_string(count) +
                                                " bytes could be written");
        }

        const std::size_t received = ReadReply(written, expected);

        StartDeadline(LineFreeAt, IdleTime);

        if (trace && received > 0) trace->Frame("rx", 0, staged_.data(), received, expected);
        if (received == 0 || received < expected) {
            if (trace)
                trace->Note("time-out", "attempt " + std::to_string(attempt + 1) + ": " + std::to_string(received) +
                                            " of " + std::to_string(expected) + " bytes");
            ++ErrorCount;
            // A network connection lost during the attempt is made again by
            // the next one; while the reconnection time lasts, such attempts
            // do not use up the exchange's tries.
            if (net_ && (net_->Lost() || net_->Generation() != generation)) {
                const std::int64_t now = CounterNow();
                if (lostSince < 0) lostSince = now;
                if (now - lostSince < static_cast<std::int64_t>(NetworkReconnectSeconds()) * CounterFrequency())
                    continue;
            }
            ++attempt;
            continue;
        }
        if (accept && !accept(staged_.data(), expected)) {
            if (trace) trace->Note("refused", "attempt " + std::to_string(attempt + 1) + ": bad check sum");
            ++ErrorCount;
            std::memcpy(reply, staged_.data(), expected);
            refused = true;
            ++attempt;
            continue;
        }
        std::memcpy(reply, staged_.data(), expected);
        ++AnswerCount;
        return expected;
    }
}

}  // namespace kolvex
