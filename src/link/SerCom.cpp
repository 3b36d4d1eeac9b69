#include "link/SerCom.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <strings.h>

#include <libserialport.h>

#include "app/Errors.h"
#include "app/Language.h"
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

std::string FormatOpenError(const std::string& port) {
    return Tr("Port  " + port + "  nelze otevřít", "Port  " + port + "  is impossible to open");
}

}  // namespace

TSerCom::~TSerCom() { Close(); }

void NetPortDeleter::operator()(NetPort* p) const { delete p; }

void SortPortNames(std::vector<PortEntry>& list) {
    for (std::size_t i = 0; i + 1 < list.size(); ++i)
        for (std::size_t j = i + 1; j < list.size(); ++j)
            if (strcasecmp(list[i].Name.c_str(), list[j].Name.c_str()) > 0) std::swap(list[i], list[j]);
}

void TSerCom::EnumeratePorts() {
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK) return;  // the list stays unchanged
    std::vector<PortEntry> found;
    for (sp_port** p = ports; p && *p; ++p) {
        const char* device = sp_get_port_name(*p);
        if (!device) continue;
        auto alias = AliasForDevice(device);
        if (!alias) continue;
        if (found.size() >= kMaxListedPorts) break;
        const char* description = sp_get_port_description(*p);
        found.push_back({*alias, device, description ? description : ""});
    }
    sp_free_port_list(ports);
    SortPortNames(found);
    if (HasSimulatedPort()) found.push_back({kSimulatedPort, "", Tr("Simulovaný záznamník", "Simulated logger")});
    PortList = std::move(found);
}

void TSerCom::Open() {
    if (Handle >= 0) Close();
    std::optional<std::string> device;
    if (IsNetworkPort(PortName)) {
        // The remote line appears as a local pseudo-terminal.
        net_.reset(new NetPort(PortName, BaudRate, Parity));
        device = net_->SlavePath();
    } else {
        device = DeviceForPort(PortName);
    }
    int fd = -1;
    if (device) fd = ::open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        net_.reset();
        throw EComm(FormatOpenError(PortName));
    }
    // Not shared: a second program cannot open the port while we hold it.
    (void)ioctl(fd, TIOCEXCL);

    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
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
    }
    Handle = fd;
    devicePath_ = *device;
    SetLineState(LineState::lsOpen);
    ErrorCount = 0;
    Busy = false;
}

void TSerCom::Close() {
    if (Handle < 0) return;
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
        const std::int64_t left = MicrosecondsUntil(limit);
        if (left <= 0) break;
        pollfd pfd{Handle, POLLOUT, 0};
        timespec ts{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
        if (ppoll(&pfd, 1, &ts, nullptr) <= 0) break;
    }
    length = done;
    return done == want;
}

std::size_t TSerCom::DrainInput() {
    if (Handle >= 0) {
        int avail = 0;
        if (ioctl(Handle, FIONREAD, &avail) == 0 && avail > 0) {
            std::uint8_t chunk[512];
            while (avail > 0) {
                const ssize_t n = ::read(Handle, chunk, std::min<std::size_t>(sizeof chunk, avail));
                if (n <= 0) break;
                staged_.insert(staged_.end(), chunk, chunk + n);
                avail -= static_cast<int>(n);
            }
        }
    }
    return staged_.size();
}

void TSerCom::WaitForInput(std::int64_t deadline) {
    const std::int64_t left = MicrosecondsUntil(deadline);
    if (left <= 0) return;
    timespec ts{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
    if (Handle >= 0) {
        pollfd pfd{Handle, POLLIN, 0};
        const int r = ppoll(&pfd, 1, &ts, nullptr);
        // A hung-up line reports at once without data: sleep out the time
        // instead of spinning on it.
        if (r > 0 && !(pfd.revents & POLLIN)) nanosleep(&ts, nullptr);
    } else {
        nanosleep(&ts, nullptr);
    }
}

std::uint32_t TSerCom::ReplyWait(std::size_t expected) const {
    if (!net_ || BaudRate == 0) return ReplyTimeout;
    // Over a network the reply arrives in pieces with the server's buffering
    // and the network's delays between them, so the whole reply must arrive
    // within the reply time-out plus its own time on the remote line (ten
    // bits per byte), counted from the last byte sent.
    return ReplyTimeout + static_cast<std::uint32_t>(expected * 10u * 1000000u / BaudRate);
}

std::size_t TSerCom::Transact(const std::uint8_t* request, std::size_t& requestLength,
                              std::uint8_t* reply, std::size_t expected) {
    if (Busy) throw EComm(Tr("Komunikační port je obsazen", "The communication port is busy"));
    Busy = true;
    struct BusyGuard {
        bool& flag;
        ~BusyGuard() { flag = false; }
    } guard{Busy};

    const std::size_t count = requestLength;
    for (unsigned attempt = 0;; ++attempt) {
        if (attempt >= Tries) throw EComm(Tr("Chyba komunikace", "Communication error"));
        if (net_) net_->EnsureConnected();

        WaitUntil(IdleTime, LineFreeAt);

        // Purge both queues; bytes of an earlier reply are dropped here.
        if (Handle >= 0) (void)tcflush(Handle, TCIOFLUSH);
        staged_.clear();

        std::size_t received = 0;
        std::size_t written = count;
        WriteAll(request, written);
        requestLength = written;

        StartDeadline(ReplyDeadline, ReplyWait(expected));
        for (;;) {
            const std::size_t queued = DrainInput();
            if (queued == received) {
                if (DeadlinePassed(ReplyTimeout, ReplyDeadline)) break;
                WaitForInput(ReplyDeadline);
                continue;
            }
            received = queued;
            if (received == expected) break;
            // The first byte must come within the reply time-out, every
            // further byte within the gap time-out of the previous one.
            if (!net_) StartDeadline(ReplyDeadline, GapTimeout);
        }

        StartDeadline(LineFreeAt, IdleTime);

        if (received == 0 || received != expected) {
            ++ErrorCount;
            continue;
        }
        std::memcpy(reply, staged_.data(), received);
        return received;
    }
}

}  // namespace kolvex
