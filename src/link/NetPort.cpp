// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/NetPort.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "base/Language.h"
#include "link/SerCom.h"

namespace kolvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kTcpScheme = "tcp://";

std::atomic<int> g_reconnectSeconds{30};

// Why a connection could not be made or was lost.
enum class Failure { None, Resolve, Refused, TimedOut, Unreachable, NoRfc2217, Unanswered, Settings, Closed, Other };

Failure Classify(int err) {
    switch (err) {
        case ECONNREFUSED: return Failure::Refused;
        case ETIMEDOUT: return Failure::TimedOut;
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN: return Failure::Unreachable;
        case ECONNRESET:
        case EPIPE:
        case 0: return Failure::Closed;
        default: return Failure::Other;
    }
}

// Telnet (RFC 854) and its serial-port control (RFC 2217).
constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kComPort = 44, kBinary = 0, kSuppressGoAhead = 3;
// Client requests; the server answers with the same code plus 100.
constexpr std::uint8_t kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
constexpr std::uint8_t kNoFlowControl = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
constexpr std::size_t kBufferLimit = 64 * 1024;

bool WantHim(std::uint8_t o) { return o == kBinary || o == kSuppressGoAhead || o == kComPort; }
bool WantUs(std::uint8_t o) { return o == kBinary || o == kSuppressGoAhead || o == kComPort; }

bool SleepUnlessAborted(milliseconds d, const std::atomic<bool>* abort) {
    const auto until = Clock::now() + d;
    while (Clock::now() < until) {
        if (abort && abort->load()) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(50), until - Clock::now()));
    }
    return !(abort && abort->load());
}

std::string ParityName(unsigned v) {
    switch (v) {
        case 1: return Tr("žádná", "none");
        case 2: return Tr("lichá", "odd");
        case 3: return Tr("sudá", "even");
        case 4: return Tr("značka", "mark");
        case 5: return Tr("mezera", "space");
        default: return std::to_string(v);
    }
}

}  // namespace

void SetNetworkReconnectSeconds(int seconds) { g_reconnectSeconds = seconds < 0 ? 0 : seconds; }
int NetworkReconnectSeconds() { return g_reconnectSeconds; }

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

// The caller's thread resolves the name and connects; the bridge thread owns
// the connected socket: it runs the telnet negotiation and pumps the bytes.
// They meet under M.
struct NetPort::Bridge {
    std::string Name;
    NetAddress Addr;
    std::uint32_t Baud = 9600;
    std::uint8_t Parity = 0;
    const std::atomic<bool>* Abort = nullptr;

    int Master = -1;
    int Slave = -1;  // held open so the master never sees a hang-up
    int Wake = -1;   // eventfd: something under M changed
    std::string SlavePath;
    std::thread Thread;

    std::mutex M;
    std::condition_variable Cv;
    // Guarded by M.
    bool Stop = false;
    int NewSocket = -1;         // handed over by Connect
    bool DropSocket = false;    // Connect gave up on the attempt
    std::uint64_t Attempt = 0;  // the attempt the bridge's answers belong to
    std::uint64_t Generation = 0;
    bool Done = true;
    bool Connected = false;
    bool ComAgreed = false;  // the server said DO COM-PORT-OPTION
    Failure Fail = Failure::None;
    std::string Detail;
    std::optional<std::pair<bool, bool>> Lines;  // RTS, DTR last asked
    bool LinesChanged = false;

    // --- bridge thread only ------------------------------------------------
    int Sock = -1;
    std::uint64_t SockAttempt = 0;
    std::vector<std::uint8_t> ToNet, ToPty;
    enum class TState { Data, Iac, Option, Sub, SubIac } Ts = TState::Data;
    std::uint8_t Verb = 0;
    std::vector<std::uint8_t> SubData;
    struct OptionState {
        bool Us = false, UsPending = false, Him = false, HimPending = false;
    };
    std::array<OptionState, 256> Options{};
    bool Agreed = false;
    struct Pending {
        std::uint8_t Code;
        unsigned Want;
        const char* Cs;
        const char* En;
    };
    std::vector<Pending> Settings;

    bool Aborted() const { return Abort && Abort->load(); }

    void Poke() {
        const std::uint64_t one = 1;
        (void)!::write(Wake, &one, sizeof one);
    }

    // Ends the current attempt (bridge thread).
    void Finish(Failure f, std::string detail = {}) {
        {
            std::lock_guard<std::mutex> lock(M);
            if (SockAttempt != Attempt || Done) return;
            Done = true;
            Fail = f;
            Detail = std::move(detail);
            Connected = f == Failure::None;
            if (Connected) ++Generation;
            Cv.notify_all();
        }
        if (f != Failure::None) CloseSocket();
    }

    void CloseSocket() {
        if (Sock >= 0) ::close(Sock);
        Sock = -1;
        ToNet.clear();
    }

    void Lost(int err) {
        const Failure f = Classify(err) == Failure::Other ? Failure::Closed : Classify(err);
        bool wasUp = false;
        {
            std::lock_guard<std::mutex> lock(M);
            if (SockAttempt == Attempt && Done && Connected) {
                wasUp = true;
                Connected = false;
                Fail = f;
                Detail = err ? std::strerror(err) : "";
            }
        }
        if (wasUp) {
            CloseSocket();
            return;
        }
        Finish(f, err ? std::strerror(err) : "");  // lost while the settings were sent
        CloseSocket();
    }

    // ---- telnet -------------------------------------------------------------

    void SendOption(std::uint8_t verb, std::uint8_t option) {
        ToNet.insert(ToNet.end(), {kIac, verb, option});
    }

    void SendSub(std::uint8_t code, const std::vector<std::uint8_t>& value) {
        ToNet.insert(ToNet.end(), {kIac, kSb, kComPort, code});
        for (std::uint8_t v : value) {
            ToNet.push_back(v);
            if (v == kIac) ToNet.push_back(kIac);
        }
        ToNet.insert(ToNet.end(), {kIac, kSe});
    }

    void SendLines(bool rts, bool dtr) {
        // RTS first, then DTR, like a local port; the answers are not checked.
        SendSub(kSetControl, {rts ? kRtsOn : kRtsOff});
        SendSub(kSetControl, {dtr ? kDtrOn : kDtrOff});
    }

    void StartTelnet() {
        Ts = TState::Data;
        SubData.clear();
        Options = {};
        Agreed = false;
        Settings.clear();
        Options[kComPort].UsPending = true;
        SendOption(kWill, kComPort);
    }

    void OnAgreed() {
        Agreed = true;
        {
            std::lock_guard<std::mutex> lock(M);
            ComAgreed = true;
        }
        const unsigned parity = Parity == 1 ? 2 : Parity == 2 ? 3 : 1;
        Settings = {{kSetBaud, Baud, "rychlost", "baud rate"},
                    {kSetDataSize, 8, "datové bity", "data bits"},
                    {kSetParity, parity, "parita", "parity"},
                    {kSetStopSize, 1, "stop bity", "stop bits"},
                    {kSetControl, kNoFlowControl, "řízení toku", "flow control"}};
        SendSub(kSetBaud, {static_cast<std::uint8_t>(Baud >> 24), static_cast<std::uint8_t>(Baud >> 16),
                           static_cast<std::uint8_t>(Baud >> 8), static_cast<std::uint8_t>(Baud)});
        SendSub(kSetDataSize, {8});
        SendSub(kSetParity, {static_cast<std::uint8_t>(parity)});
        SendSub(kSetStopSize, {1});
        SendSub(kSetControl, {kNoFlowControl});
        std::optional<std::pair<bool, bool>> lines;
        {
            std::lock_guard<std::mutex> lock(M);
            lines = Lines;
            LinesChanged = false;
        }
        if (lines) SendLines(lines->first, lines->second);
    }

    // One option command of the server. An answer is sent only when it
    // changes the option's state, so neither side loops.
    void OnOption(std::uint8_t verb, std::uint8_t o) {
        OptionState& s = Options[o];
        switch (verb) {
            case kWill:
                if (!WantHim(o)) {
                    SendOption(kDont, o);
                } else if (!s.Him) {
                    s.Him = true;
                    if (!s.HimPending) SendOption(kDo, o);
                    s.HimPending = false;
                }
                break;
            case kWont:
                if (s.Him || s.HimPending) {
                    if (!s.HimPending) SendOption(kDont, o);
                    s.Him = s.HimPending = false;
                }
                break;
            case kDo:
                if (!WantUs(o)) {
                    SendOption(kWont, o);
                } else if (!s.Us) {
                    s.Us = true;
                    if (!s.UsPending) SendOption(kWill, o);
                    s.UsPending = false;
                    if (o == kComPort && !Agreed) OnAgreed();
                }
                break;
            case kDont:
                if (s.Us || s.UsPending) {
                    if (!s.UsPending) SendOption(kWont, o);
                    s.Us = s.UsPending = false;
                    if (o == kComPort) Finish(Failure::NoRfc2217);
                }
                break;
            default: break;
        }
    }

    void OnSub() {
        if (SubData.size() < 3 || SubData[0] != kComPort || SubData[1] < 100) return;
        const std::uint8_t code = static_cast<std::uint8_t>(SubData[1] - 100);
        unsigned value = 0;
        if (code == kSetBaud) {
            if (SubData.size() < 6) return;
            value = (unsigned{SubData[2]} << 24) | (unsigned{SubData[3]} << 16) | (unsigned{SubData[4]} << 8) |
                    SubData[5];
        } else {
            value = SubData[2];
        }
        for (auto it = Settings.begin(); it != Settings.end(); ++it) {
            if (it->Code != code) continue;
            const Pending p = *it;
            Settings.erase(it);
            if (value != p.Want) {
                const bool parity = code == kSetParity;
                const std::string asked = parity ? ParityName(p.Want) : std::to_string(p.Want);
                const std::string set = parity ? ParityName(value) : std::to_string(value);
                Finish(Failure::Settings, Tr(std::string(p.Cs) + ": požadováno " + asked + ", nastaveno " + set,
                                             std::string(p.En) + ": " + asked + " asked, " + set + " set"));
                return;
            }
            if (Settings.empty()) Finish(Failure::None);
            return;
        }
    }

    // Bytes from the server: data for the terminal, telnet commands handled.
    void FromNet(const std::uint8_t* p, std::size_t n) {
        if (!Addr.Rfc2217) {
            ToPty.insert(ToPty.end(), p, p + n);
            return;
        }
        for (std::size_t i = 0; i < n && Sock >= 0; ++i) {
            const std::uint8_t c = p[i];
            switch (Ts) {
                case TState::Data:
                    if (c == kIac) Ts = TState::Iac;
                    else ToPty.push_back(c);
                    break;
                case TState::Iac:
                    if (c == kIac) {
                        ToPty.push_back(c);
                        Ts = TState::Data;
                    } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
                        Verb = c;
                        Ts = TState::Option;
                    } else if (c == kSb) {
                        SubData.clear();
                        Ts = TState::Sub;
                    } else {
                        Ts = TState::Data;  // NOP, GA and the like
                    }
                    break;
                case TState::Option:
                    Ts = TState::Data;
                    OnOption(Verb, c);
                    break;
                case TState::Sub:
                    if (c == kIac) Ts = TState::SubIac;
                    else if (SubData.size() < 64) SubData.push_back(c);
                    break;
                case TState::SubIac:
                    if (c == kSe) {
                        Ts = TState::Data;
                        OnSub();
                    } else {
                        if (c == kIac && SubData.size() < 64) SubData.push_back(c);
                        Ts = TState::Sub;
                    }
                    break;
            }
        }
    }

    void ToNetData(const std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            ToNet.push_back(p[i]);
            if (Addr.Rfc2217 && p[i] == kIac) ToNet.push_back(kIac);
        }
    }

    // ---- the loop -----------------------------------------------------------

    void Adopt(int s, std::uint64_t attempt) {
        CloseSocket();
        Sock = s;
        SockAttempt = attempt;
        if (!Addr.Rfc2217) {
            Finish(Failure::None);
            return;
        }
        StartTelnet();
    }

    void Run() {
        for (;;) {
            int adopt = -1;
            std::uint64_t attempt = 0;
            bool drop, stop, linesChanged;
            std::optional<std::pair<bool, bool>> lines;
            {
                std::lock_guard<std::mutex> lock(M);
                adopt = NewSocket;
                NewSocket = -1;
                attempt = Attempt;
                drop = DropSocket;
                DropSocket = false;
                stop = Stop;
                linesChanged = LinesChanged;
                LinesChanged = false;
                lines = Lines;
            }
            if (stop) break;
            if (drop) CloseSocket();
            if (adopt >= 0) Adopt(adopt, attempt);
            if (linesChanged && lines && Agreed && Sock >= 0) SendLines(lines->first, lines->second);

            pollfd fds[3] = {{Wake, POLLIN, 0}, {Master, 0, 0}, {Sock, 0, 0}};
            if (Sock >= 0 && ToNet.size() < kBufferLimit) fds[1].events |= POLLIN;
            if (Sock < 0) fds[1].events |= POLLIN;  // a dead line swallows the requests
            if (!ToPty.empty()) fds[1].events |= POLLOUT;
            if (Sock >= 0) {
                if (ToPty.size() < kBufferLimit) fds[2].events |= POLLIN;
                if (!ToNet.empty()) fds[2].events |= POLLOUT;
            }
            if (::poll(fds, Sock >= 0 ? 3 : 2, 200) < 0 && errno != EINTR) continue;
            if (fds[0].revents & POLLIN) {
                std::uint64_t v;
                (void)!::read(Wake, &v, sizeof v);
            }
            if (fds[1].revents & POLLIN) {
                std::uint8_t buf[512];
                const ssize_t n = ::read(Master, buf, sizeof buf);
                if (n > 0 && Sock >= 0) ToNetData(buf, static_cast<std::size_t>(n));
            }
            if (Sock >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
                std::uint8_t buf[4096];
                const ssize_t n = ::recv(Sock, buf, sizeof buf, 0);
                if (n > 0) FromNet(buf, static_cast<std::size_t>(n));
                else if (n == 0) Lost(0);
                else if (errno != EAGAIN && errno != EINTR) Lost(errno);
            }
            FlushToNet();
            FlushToPty();
        }
        CloseSocket();
    }

    void FlushToNet() {
        while (Sock >= 0 && !ToNet.empty()) {
            const ssize_t n = ::send(Sock, ToNet.data(), ToNet.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                ToNet.erase(ToNet.begin(), ToNet.begin() + n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) Lost(errno);
            break;
        }
    }

    void FlushToPty() {
        while (!ToPty.empty()) {
            const ssize_t n = ::write(Master, ToPty.data(), ToPty.size());
            if (n > 0) {
                ToPty.erase(ToPty.begin(), ToPty.begin() + n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            break;  // the terminal is full: the rest waits for room
        }
    }

    // --- caller thread -------------------------------------------------

    ~Bridge() {
        if (Thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(M);
                Stop = true;
            }
            Poke();
            Thread.join();
        }
        {
            std::lock_guard<std::mutex> lock(M);
            if (NewSocket >= 0) ::close(NewSocket);
        }
        if (Sock >= 0) ::close(Sock);
        if (Wake >= 0) ::close(Wake);
        if (Slave >= 0) ::close(Slave);
        if (Master >= 0) ::close(Master);
    }

    std::string RawAddress() const {
        const std::string host = Addr.Host.find(':') != std::string::npos ? "[" + Addr.Host + "]" : Addr.Host;
        return "tcp://" + host + ":" + Addr.Port;
    }

    std::string Reason(Failure f, const std::string& detail) const {
        const std::string limit = std::to_string(kConnectSeconds) + " s";
        switch (f) {
            case Failure::Resolve:
                return Tr("název počítače \"" + Addr.Host + "\" nelze přeložit na adresu (" + detail + ")",
                          "the host name \"" + Addr.Host + "\" could not be resolved (" + detail + ")");
            case Failure::Refused: return Tr("server spojení odmítl", "the server refused the connection");
            case Failure::TimedOut:
                return Tr("server neodpověděl do " + limit, "the server did not answer within " + limit);
            case Failure::Unreachable: return Tr("server není dostupný", "the server cannot be reached");
            case Failure::NoRfc2217:
                return Tr("žádná odpověď podle RFC 2217; prostý server TCP zadejte jako " + RawAddress(),
                          "no RFC 2217 answer; for a raw TCP server use " + RawAddress());
            case Failure::Unanswered:
                return Tr("server přijal RFC 2217, ale na nastavení linky neodpověděl do " + limit,
                          "the server took up RFC 2217 but did not answer the serial settings within " + limit);
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

    [[noreturn]] static void ThrowAborted() { throw EComm(PortWorkAbortedText()); }

    // The addresses of the host, the look-up limited in time: it runs on a
    // thread of its own that is left to finish by itself when it takes too
    // long.
    std::vector<sockaddr_storage> Resolve(std::string& reason) {
        struct Lookup {
            std::mutex M;
            std::condition_variable Cv;
            bool Done = false, Abandoned = false;
            int Rc = 0;
            addrinfo* Res = nullptr;
        };
        auto l = std::make_shared<Lookup>();
        std::thread([l, host = Addr.Host, port = Addr.Port] {
            addrinfo hints{};
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* res = nullptr;
            const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
            std::lock_guard<std::mutex> lock(l->M);
            if (l->Abandoned) {
                if (res) freeaddrinfo(res);
            } else {
                l->Rc = rc;
                l->Res = res;
            }
            l->Done = true;
            l->Cv.notify_all();
        }).detach();
        const auto deadline = Clock::now() + std::chrono::seconds(kConnectSeconds);
        std::unique_lock<std::mutex> lock(l->M);
        while (!l->Done && !Aborted() && Clock::now() < deadline) l->Cv.wait_for(lock, milliseconds(50));
        std::vector<sockaddr_storage> out;
        if (!l->Done) {
            l->Abandoned = true;
            if (Aborted()) ThrowAborted();
            reason = Reason(Failure::Resolve, Tr("bez odpovědi do " + std::to_string(kConnectSeconds) + " s",
                                                 "no answer within " + std::to_string(kConnectSeconds) + " s"));
            return out;
        }
        if (l->Rc != 0) {
            reason = Reason(Failure::Resolve, gai_strerror(l->Rc));
            return out;
        }
        for (addrinfo* a = l->Res; a; a = a->ai_next) {
            if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
            sockaddr_storage s{};
            std::memcpy(&s, a->ai_addr, a->ai_addrlen);
            out.push_back(s);
        }
        freeaddrinfo(l->Res);
        l->Res = nullptr;
        if (out.empty()) reason = Reason(Failure::Resolve, "");
        return out;
    }

    // A connected socket to one of the addresses, or -1 with the reason.
    int Dial(const std::vector<sockaddr_storage>& addrs, std::string& reason) {
        Failure last = Failure::Refused;
        std::string detail;
        for (const sockaddr_storage& a : addrs) {
            const socklen_t len = a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            const int s = ::socket(a.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
            if (s < 0) {
                last = Failure::Other;
                detail = std::strerror(errno);
                continue;
            }
            int err = 0;
            if (::connect(s, reinterpret_cast<const sockaddr*>(&a), len) != 0) err = errno;
            if (err == EINPROGRESS) {
                const auto deadline = Clock::now() + std::chrono::seconds(kConnectSeconds);
                err = ETIMEDOUT;
                while (!Aborted() && Clock::now() < deadline) {
                    pollfd p{s, POLLOUT, 0};
                    if (::poll(&p, 1, 50) > 0) {
                        socklen_t l = sizeof err;
                        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &l) != 0) err = errno;
                        break;
                    }
                }
                if (Aborted()) {
                    ::close(s);
                    ThrowAborted();
                }
            }
            if (err == 0) {
                int one = 1;
                (void)::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                return s;
            }
            ::close(s);
            last = Classify(err);
            detail = std::strerror(err);
        }
        reason = Reason(last, detail);
        return -1;
    }

    // Connects (again); returns the reason on failure, empty on success.
    std::string Connect() {
        std::string reason;
        const auto addrs = Resolve(reason);
        if (addrs.empty()) return reason;
        const int s = Dial(addrs, reason);
        if (s < 0) return reason;

        {
            std::lock_guard<std::mutex> lock(M);
            if (NewSocket >= 0) ::close(NewSocket);
            NewSocket = s;
            ++Attempt;
            Done = false;
            Connected = false;
            ComAgreed = false;
            Fail = Failure::None;
            Detail.clear();
        }
        Poke();
        const auto deadline = Clock::now() + std::chrono::seconds(kConnectSeconds);
        std::unique_lock<std::mutex> lock(M);
        while (!Done && !Aborted() && Clock::now() < deadline) Cv.wait_for(lock, milliseconds(50));
        if (!Done) {
            Done = true;
            DropSocket = true;
            if (NewSocket >= 0) ::close(NewSocket);  // not yet taken over
            NewSocket = -1;
            const bool agreed = ComAgreed;
            lock.unlock();
            Poke();
            if (Aborted()) ThrowAborted();
            return Reason(agreed ? Failure::Unanswered : Failure::NoRfc2217, {});
        }
        return Fail == Failure::None ? std::string() : Reason(Fail, Detail);
    }
};

NetPort::NetPort(const std::string& name, std::uint32_t baudRate, std::uint8_t parity,
                 const std::atomic<bool>* abort)
    : b_(new Bridge) {
    Bridge& b = *b_;
    b.Name = name;
    b.Baud = baudRate;
    b.Parity = parity;
    b.Abort = abort;
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
    b.Wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (b.Wake < 0) throw EComm(b.OpenError(std::strerror(errno)));
    b.Thread = std::thread([&b] { b.Run(); });

    const std::string reason = b.Connect();
    if (!reason.empty()) throw EComm(b.OpenError(reason));
}

NetPort::~NetPort() = default;

const std::string& NetPort::SlavePath() const { return b_->SlavePath; }

std::uint64_t NetPort::Generation() const {
    std::lock_guard<std::mutex> lock(b_->M);
    return b_->Generation;
}

bool NetPort::Lost() const {
    std::lock_guard<std::mutex> lock(b_->M);
    return b_->Done && !b_->Connected;
}

void NetPort::SetLines(bool rts, bool dtr) {
    if (!b_->Addr.Rfc2217) return;
    {
        std::lock_guard<std::mutex> lock(b_->M);
        b_->Lines = std::make_pair(rts, dtr);
        b_->LinesChanged = true;
    }
    b_->Poke();
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
    // A server being restarted refuses connections for a while: try again
    // with growing pauses until the time allowed is used up.
    const auto deadline = Clock::now() + std::chrono::seconds(NetworkReconnectSeconds());
    milliseconds pause(100);
    for (;;) {
        const std::string reason = b.Connect();
        if (reason.empty()) return;
        if (b.Aborted()) Bridge::ThrowAborted();
        if (Clock::now() + pause >= deadline)
            throw EComm(Tr("Spojení  " + b.Name + "  bylo přerušeno (" + lostReason + ") a nové spojení selhalo: ",
                           "The connection  " + b.Name + "  was lost (" + lostReason + ") and reconnecting failed: ") +
                        reason);
        if (!SleepUnlessAborted(pause, b.Abort)) Bridge::ThrowAborted();
        pause = std::min(pause * 2, milliseconds(2000));
    }
}

}  // namespace kolvex
