#include "link/NetPort.h"

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_unix.h>
#include <gensio/selector.h>
#include <gensio/sergensio.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "base/Language.h"

namespace kolvex {

namespace {

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kTcpScheme = "tcp://";

// Why a connection could not be made or was lost.
enum class Failure { None, Resolve, Refused, TimedOut, Unreachable, Settings, Closed, Other };

Failure Classify(int err) {
    switch (err) {
        case GE_CONNREFUSE: return Failure::Refused;
        case GE_TIMEDOUT: return Failure::TimedOut;
        case GE_HOSTDOWN:
        case GE_NAME_NET_NOT_UP: return Failure::Unreachable;
        case GE_UNKNOWN_NAME_ERROR:
        case GE_NAME_ERROR:
        case GE_NAME_SERVER_FAILURE:
        case GE_NAME_INVALID: return Failure::Resolve;
        case GE_REMCLOSE:
        case GE_IOERR:
        case GE_COMMERR: return Failure::Closed;
        default: return Failure::Other;
    }
}

}  // namespace

bool IsNetworkPort(std::string_view name) {
    const std::string l = Lower(name.substr(0, kRfc2217Scheme.size()));
    return l.rfind(kRfc2217Scheme, 0) == 0 || l.rfind(kTcpScheme, 0) == 0;
}

std::optional<NetAddress> ParseNetworkPort(std::string_view name) {
    if (!IsNetworkPort(name)) return std::nullopt;
    NetAddress a;
    a.Rfc2217 = Lower(name.substr(0, kRfc2217Scheme.size())) == kRfc2217Scheme;
    std::string_view rest = name.substr(a.Rfc2217 ? kRfc2217Scheme.size() : kTcpScheme.size());
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    std::size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
        a.Host = std::string(rest.substr(1, close - 1));
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        a.Host = std::string(rest.substr(0, colon));
        if (a.Host.find(':') != std::string::npos) return std::nullopt;  // IPv6 needs brackets
    }
    a.Port = std::string(rest.substr(colon + 1));
    if (a.Host.empty() || a.Port.empty() || a.Port.size() > 5) return std::nullopt;
    for (char c : a.Host)
        if (c == ',' || c == '/' || c == '@' || std::isspace(static_cast<unsigned char>(c))) return std::nullopt;
    for (char c : a.Port)
        if (c < '0' || c > '9') return std::nullopt;
    const long port = std::strtol(a.Port.c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return std::nullopt;
    return a;
}

// Everything below runs gensio calls on the bridge thread only, so the
// library's event loop needs no wake-up signal.
struct NetPort::Bridge {
    std::string Name;
    NetAddress Addr;
    std::uint32_t Baud = 9600;
    std::uint8_t Parity = 0;

    int Master = -1;
    int Slave = -1;  // held open so the master never sees a hang-up
    std::string SlavePath;

    selector_s* Sel = nullptr;
    gensio_os_funcs* O = nullptr;
    gensio_iod* Iod = nullptr;
    gensio* Io = nullptr;       // bridge thread only
    bool DropIo = false;        // free Io after the current event
    std::vector<std::uint8_t> ToNet;

    std::thread Thread;
    std::mutex M;
    std::condition_variable Cv;
    std::deque<std::function<void()>> Queue;
    bool Stop = false;

    // Guarded by M.
    std::uint64_t Attempt = 0;  // connection attempt the answers belong to
    bool Done = false;
    bool Connected = false;
    Failure Fail = Failure::None;
    std::string Detail;
    int PendingSettings = 0;
    std::optional<std::pair<bool, bool>> Lines;  // RTS, DTR last asked

    struct Setting {
        Bridge* B;
        std::uint64_t Attempt;
        unsigned Want;
        const char* Cs;
        const char* En;
    };
    std::array<Setting, 5> Settings{};

    void Post(std::function<void()> f) {
        std::lock_guard<std::mutex> lock(M);
        Queue.push_back(std::move(f));
    }

    void Finish(std::uint64_t attempt, Failure f, std::string detail = {}) {
        std::lock_guard<std::mutex> lock(M);
        if (attempt != Attempt || Done) return;
        Done = true;
        Fail = f;
        Detail = std::move(detail);
        Connected = f == Failure::None;
        if (!Connected) DropIo = true;
        Cv.notify_all();
    }

    // --- bridge thread -------------------------------------------------

    void Run() {
        for (;;) {
            std::deque<std::function<void()>> work;
            bool stop;
            {
                std::lock_guard<std::mutex> lock(M);
                work.swap(Queue);
                stop = Stop;
            }
            for (auto& f : work) f();
            FreeDroppedIo();
            if (stop) break;
            gensio_time t{0, 20 * 1000 * 1000};
            gensio_os_funcs_service(O, &t);
            FreeDroppedIo();
        }
        if (Io) {
            // Let pending bytes (the final line levels) leave before closing.
            bool closed = false;
            if (gensio_close(Io, [](gensio*, void* d) { *static_cast<bool*>(d) = true; }, &closed) == 0) {
                for (int i = 0; i < 50 && !closed; ++i) {
                    gensio_time t{0, 20 * 1000 * 1000};
                    gensio_os_funcs_service(O, &t);
                }
            }
            gensio_free(Io);
            Io = nullptr;
        }
        if (Iod) {
            bool cleared = false;
            clearedFlag_ = &cleared;
            O->clear_fd_handlers(Iod);
            for (int i = 0; i < 50 && !cleared; ++i) {
                gensio_time t{0, 20 * 1000 * 1000};
                gensio_os_funcs_service(O, &t);
            }
            O->release_iod(Iod);
            Iod = nullptr;
        }
    }
    bool* clearedFlag_ = nullptr;

    void FreeDroppedIo() {
        bool drop;
        {
            std::lock_guard<std::mutex> lock(M);
            drop = DropIo;
            DropIo = false;
        }
        if (drop && Io) {
            gensio_free(Io);
            Io = nullptr;
            ToNet.clear();
            O->set_read_handler(Iod, true);
        }
    }

    void StartOpen(std::uint64_t attempt) {
        if (Io) {
            gensio_free(Io);
            Io = nullptr;
        }
        ToNet.clear();
        std::string stack = Addr.Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,";
        stack += Addr.Host.find(':') != std::string::npos ? "ipv6," + Addr.Host : Addr.Host;
        stack += "," + Addr.Port;
        int err = str_to_gensio(stack.c_str(), O, &Bridge::Event, this, &Io);
        if (err) {
            Io = nullptr;
            Finish(attempt, Classify(err) == Failure::Other ? Failure::Resolve : Classify(err), gensio_err_to_str(err));
            return;
        }
        openAttempt_ = attempt;
        err = gensio_open(Io, &Bridge::OpenDone, this);
        if (err) Finish(attempt, Classify(err), gensio_err_to_str(err));
    }
    std::uint64_t openAttempt_ = 0;

    static void OpenDone(gensio* io, int err, void* data) {
        auto* b = static_cast<Bridge*>(data);
        const std::uint64_t attempt = b->openAttempt_;
        if (err) {
            b->Finish(attempt, Classify(err), gensio_err_to_str(err));
            return;
        }
        gensio_set_read_callback_enable(io, true);
        if (!b->Addr.Rfc2217) {
            b->Finish(attempt, Failure::None);
            return;
        }
        sergensio* sio = gensio_to_sergensio(io);
        if (!sio) {
            b->Finish(attempt, Failure::Settings, "RFC 2217");
            return;
        }
        const unsigned parity = b->Parity == 1 ? SERGENSIO_PARITY_ODD
                                : b->Parity == 2 ? SERGENSIO_PARITY_EVEN
                                                 : SERGENSIO_PARITY_NONE;
        b->Settings = {{{b, attempt, b->Baud, "rychlost", "baud rate"},
                        {b, attempt, 8, "datové bity", "data bits"},
                        {b, attempt, parity, "parita", "parity"},
                        {b, attempt, 1, "stop bity", "stop bits"},
                        {b, attempt, SERGENSIO_FLOWCONTROL_NONE, "řízení toku", "flow control"}}};
        {
            std::lock_guard<std::mutex> lock(b->M);
            b->PendingSettings = static_cast<int>(b->Settings.size());
        }
        using Call = int (*)(sergensio*, unsigned, sergensio_done, void*);
        const Call calls[] = {sergensio_baud, sergensio_datasize, sergensio_parity, sergensio_stopbits,
                              sergensio_flowcontrol};
        for (std::size_t i = 0; i < b->Settings.size(); ++i) {
            const int e = calls[i](sio, b->Settings[i].Want, &Bridge::SettingDone, &b->Settings[i]);
            if (e) {
                b->SettingFailed(b->Settings[i], e);
                return;
            }
        }
    }

    void SettingFailed(const Setting& s, int err) {
        if (err == GE_NOTSUP) {
            // The server never took up the serial-port option: it is silent
            // or not an RFC 2217 server.
            Finish(s.Attempt, Failure::Settings,
                   Tr("žádná odpověď podle RFC 2217; prostý port TCP zadejte jako tcp://",
                      "no RFC 2217 answer; give a raw TCP port as tcp://"));
            return;
        }
        Finish(s.Attempt, Failure::Settings, Tr(s.Cs, s.En) + ": " + gensio_err_to_str(err));
    }

    static void SettingDone(sergensio*, int err, unsigned val, void* data) {
        auto* s = static_cast<Setting*>(data);
        Bridge* b = s->B;
        if (err) {
            b->SettingFailed(*s, err);
            return;
        }
        if (val != s->Want) {
            b->Finish(s->Attempt, Failure::Settings,
                      Tr(std::string(s->Cs) + ": požadováno " + std::to_string(s->Want) + ", nastaveno " +
                             std::to_string(val),
                         std::string(s->En) + ": " + std::to_string(s->Want) + " asked, " + std::to_string(val) +
                             " set"));
            return;
        }
        bool all;
        {
            std::lock_guard<std::mutex> lock(b->M);
            all = s->Attempt == b->Attempt && --b->PendingSettings == 0;
        }
        if (all) b->Finish(s->Attempt, Failure::None);
    }

    static int Event(gensio* io, void* data, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
        auto* b = static_cast<Bridge*>(data);
        switch (event) {
            case GENSIO_EVENT_READ: {
                if (err) {
                    gensio_set_read_callback_enable(io, false);
                    b->Lost(err);
                    return 0;
                }
                gensiods done = 0;
                while (done < *buflen) {
                    const ssize_t n = ::write(b->Master, buf + done, *buflen - done);
                    if (n > 0) {
                        done += static_cast<gensiods>(n);
                        continue;
                    }
                    if (n < 0 && errno == EINTR) continue;
                    // The terminal is full: hold the rest until it drains.
                    gensio_set_read_callback_enable(io, false);
                    b->O->set_write_handler(b->Iod, true);
                    break;
                }
                *buflen = done;
                return 0;
            }
            case GENSIO_EVENT_WRITE_READY:
                b->FlushToNet();
                return 0;
            default:
                return GE_NOTSUP;
        }
    }

    void Lost(int err) {
        const Failure f = Classify(err) == Failure::Other ? Failure::Closed : Classify(err);
        std::uint64_t attempt;
        {
            std::lock_guard<std::mutex> lock(M);
            attempt = Attempt;
            if (Done) {
                if (!Connected) return;
                Connected = false;
                Fail = f;
                Detail = gensio_err_to_str(err);
                DropIo = true;
                return;
            }
        }
        Finish(attempt, f, gensio_err_to_str(err));  // lost while the settings were sent
    }

    void FlushToNet() {
        if (!Io) return;
        if (!ToNet.empty()) {
            gensiods count = 0;
            if (gensio_write(Io, &count, ToNet.data(), ToNet.size(), nullptr) != 0) count = ToNet.size();
            ToNet.erase(ToNet.begin(), ToNet.begin() + static_cast<std::ptrdiff_t>(count));
        }
        if (ToNet.empty()) {
            gensio_set_write_callback_enable(Io, false);
            O->set_read_handler(Iod, true);
        }
    }

    static void MasterReadable(gensio_iod*, void* data) {
        auto* b = static_cast<Bridge*>(data);
        std::uint8_t buf[512];
        const ssize_t n = ::read(b->Master, buf, sizeof buf);
        if (n <= 0) return;
        bool up;
        {
            std::lock_guard<std::mutex> lock(b->M);
            up = b->Connected;
        }
        if (!up || !b->Io) return;  // a dead line swallows the request
        gensiods count = 0;
        if (gensio_write(b->Io, &count, buf, static_cast<gensiods>(n), nullptr) != 0) return;
        if (count < static_cast<gensiods>(n)) {
            b->ToNet.assign(buf + count, buf + n);
            b->O->set_read_handler(b->Iod, false);
            gensio_set_write_callback_enable(b->Io, true);
        }
    }

    static void MasterWritable(gensio_iod*, void* data) {
        auto* b = static_cast<Bridge*>(data);
        b->O->set_write_handler(b->Iod, false);
        if (b->Io) gensio_set_read_callback_enable(b->Io, true);
    }

    static void MasterCleared(gensio_iod*, void* data) {
        auto* b = static_cast<Bridge*>(data);
        if (b->clearedFlag_) *b->clearedFlag_ = true;
    }

    // --- caller thread -------------------------------------------------

    ~Bridge() {
        if (Thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(M);
                Stop = true;
            }
            Thread.join();
        } else if (Iod) {
            O->clear_fd_handlers_norpt(Iod);
            O->release_iod(Iod);
        }
        if (O) gensio_os_funcs_free(O);
        if (Sel) sel_free_selector(Sel);
        if (Slave >= 0) ::close(Slave);
        if (Master >= 0) ::close(Master);
    }

    std::string Reason(Failure f, const std::string& detail) const {
        switch (f) {
            case Failure::Resolve:
                return Tr("název počítače \"" + Addr.Host + "\" nelze přeložit na adresu (" + detail + ")",
                          "the host name \"" + Addr.Host + "\" could not be resolved (" + detail + ")");
            case Failure::Refused: return Tr("server spojení odmítl", "the server refused the connection");
            case Failure::TimedOut:
                return Tr("server neodpověděl do " + std::to_string(kConnectSeconds) + " s",
                          "the server did not answer within " + std::to_string(kConnectSeconds) + " s");
            case Failure::Unreachable: return Tr("server není dostupný", "the server cannot be reached");
            case Failure::Settings:
                return Tr("server odmítl nastavení linky (" + detail + ")",
                          "the server refused the serial settings (" + detail + ")");
            case Failure::Closed: return Tr("server ukončil spojení", "the server closed the connection");
            default: return detail;
        }
    }

    std::string OpenError(const std::string& reason) const {
        return Tr("Port  " + Name + "  nelze otevřít: ", "Port  " + Name + "  is impossible to open: ") + reason;
    }

    // Connects (again); returns the reason on failure, empty on success.
    std::string Connect() {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        const int gai = getaddrinfo(Addr.Host.c_str(), Addr.Port.c_str(), &hints, &res);
        if (gai != 0) return Reason(Failure::Resolve, gai_strerror(gai));
        freeaddrinfo(res);

        std::uint64_t attempt;
        {
            std::lock_guard<std::mutex> lock(M);
            attempt = ++Attempt;
            Done = false;
            Connected = false;
            Fail = Failure::None;
            Detail.clear();
            Queue.push_back([this, attempt] { StartOpen(attempt); });
        }
        std::unique_lock<std::mutex> lock(M);
        if (!Cv.wait_for(lock, std::chrono::seconds(kConnectSeconds), [&] { return Done; })) {
            Done = true;
            DropIo = true;
            return Reason(Failure::TimedOut, {});
        }
        return Fail == Failure::None ? std::string() : Reason(Fail, Detail);
    }
};

NetPort::NetPort(const std::string& name, std::uint32_t baudRate, std::uint8_t parity) : b_(new Bridge) {
    Bridge& b = *b_;
    b.Name = name;
    b.Baud = baudRate;
    b.Parity = parity;
    const auto addr = ParseNetworkPort(name);
    if (!addr)
        throw EComm(b.OpenError(Tr("adresa má tvar rfc2217://počítač:port nebo tcp://počítač:port",
                                   "the address must read rfc2217://host:port or tcp://host:port")));
    b.Addr = *addr;

    b.Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char path[128] = {};
    if (b.Master < 0 || grantpt(b.Master) != 0 || unlockpt(b.Master) != 0 || ptsname_r(b.Master, path, sizeof path) != 0)
        throw EComm(b.OpenError(Tr("nelze vytvořit pseudoterminál", "no pseudo-terminal could be created")));
    b.SlavePath = path;
    b.Slave = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (b.Slave < 0) throw EComm(b.OpenError(Tr("nelze otevřít pseudoterminál", "the pseudo-terminal cannot be opened")));
    termios tio{};
    if (tcgetattr(b.Slave, &tio) == 0) {
        cfmakeraw(&tio);
        (void)tcsetattr(b.Slave, TCSANOW, &tio);
    }

    if (sel_alloc_selector_nothread(&b.Sel) != 0 || gensio_unix_funcs_alloc(b.Sel, 0, &b.O) != 0 ||
        b.O->add_iod(b.O, GENSIO_IOD_DEV, b.Master, &b.Iod) != 0 ||
        b.O->set_fd_handlers(b.Iod, &b, &Bridge::MasterReadable, &Bridge::MasterWritable, nullptr,
                             &Bridge::MasterCleared) != 0)
        throw EComm(b.OpenError(Tr("síťovou knihovnu nelze spustit", "the network library cannot be started")));
    b.O->set_read_handler(b.Iod, true);
    b.Thread = std::thread([&b] { b.Run(); });

    const std::string reason = b.Connect();
    if (!reason.empty()) throw EComm(b.OpenError(reason));
}

NetPort::~NetPort() = default;

const std::string& NetPort::SlavePath() const { return b_->SlavePath; }

void NetPort::SetLines(bool rts, bool dtr) {
    if (!b_->Addr.Rfc2217) return;
    Bridge* b = b_.get();
    {
        std::lock_guard<std::mutex> lock(b->M);
        b->Lines = std::make_pair(rts, dtr);
    }
    b->Post([b, rts, dtr] {
        if (!b->Io) return;
        sergensio* sio = gensio_to_sergensio(b->Io);
        if (!sio) return;
        // RTS first, then DTR, like a local port.
        (void)sergensio_rts(sio, rts ? SERGENSIO_RTS_ON : SERGENSIO_RTS_OFF, nullptr, nullptr);
        (void)sergensio_dtr(sio, dtr ? SERGENSIO_DTR_ON : SERGENSIO_DTR_OFF, nullptr, nullptr);
    });
}

void NetPort::EnsureConnected() {
    Bridge& b = *b_;
    Failure lost;
    std::string detail;
    {
        std::lock_guard<std::mutex> lock(b.M);
        if (b.Connected || !b.Done) return;
        lost = b.Fail;
        detail = b.Detail;
    }
    const std::string lostReason = b.Reason(lost, detail);
    const std::string reason = b.Connect();
    if (reason.empty()) {
        std::optional<std::pair<bool, bool>> lines;
        {
            std::lock_guard<std::mutex> lock(b.M);
            lines = b.Lines;
        }
        if (lines) SetLines(lines->first, lines->second);
        return;
    }
    throw EComm(Tr("Spojení  " + b.Name + "  bylo přerušeno (" + lostReason + ") a nové spojení selhalo: ",
                   "The connection  " + b.Name + "  was lost (" + lostReason + ") and reconnecting failed: ") +
                reason);
}

}  // namespace kolvex
