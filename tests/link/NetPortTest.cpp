// SPDX-License-Identifier: GPL-3.0-or-later
// Network ports: what is taken as a server address and what is refused
// before any connection is tried; the telnet negotiation against a scripted
// server in every order a server may choose; failed opens leave nothing
// behind.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/Errors.h"
#include "base/Language.h"
#include "link/CommSettings.h"
#include "link/NetPort.h"
#include "link/SerCom.h"
#include "logger/LoggerOps.h"
#include "sim/Simulator.h"

namespace kolvex {
namespace {

TEST(NetPortName, AddressParts) {
    struct Case {
        const char* name;
        bool ok, rfc2217;
        const char* host;
        const char* port;
    } cases[] = {
        {"rfc2217://127.0.0.1:2001", true, true, "127.0.0.1", "2001"},
        {"TCP://plant-room:4001/", true, false, "plant-room", "4001"},
        {"rfc2217://[::1]:2001", true, true, "::1", "2001"},
        {"rfc2217://::1:2001", false, false, "", ""},
        {"rfc2217://host", false, false, "", ""},
        {"tcp://:2001", false, false, "", ""},
        {"tcp://host:0", false, false, "", ""},
        {"tcp://host:65536", false, false, "", ""},
        {"tcp://host:20a1", false, false, "", ""},
        {"tcp://a,b:2001", false, false, "", ""},
        {"telnet://host:23", false, false, "", ""},
        {"COM1", false, false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto a = ParseNetworkPort(c.name);
        ASSERT_EQ(a.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(a->Rfc2217, c.rfc2217);
        EXPECT_EQ(a->Host, c.host);
        EXPECT_EQ(a->Port, c.port);
    }
}

TEST(NetPortName, MalformedAddressIsAnOpenErrorInBothLanguages) {
    TSerCom port;
    port.PortName = "tcp://nowhere";
    SetLanguage(0);
    try {
        port.Open();
        FAIL();
    } catch (const EComm& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Port  tcp://nowhere  nelze otevřít: adresa má tvar rfc2217://počítač:port nebo tcp://počítač:port");
    }
    SetLanguage(1);
    EXPECT_THROW(port.Open(), EComm);
    EXPECT_FALSE(port.IsOpen());
}

// ---- a scripted RFC 2217 server ---------------------------------------------

constexpr std::uint8_t TN_IAC = 255, TN_DONT = 254, TN_DO = 253, TN_WONT = 252, TN_WILL = 251, TN_SB = 250, TN_SE = 240;
constexpr std::uint8_t TN_COMPORT = 44, TN_ECHO = 1, TN_SGA = 3, TN_BINARY = 0;

struct Script {
    using Pieces = std::vector<std::pair<int, std::vector<std::uint8_t>>>;
    Script(Pieces opening, std::optional<unsigned> baudAnswer) : Opening(std::move(opening)), BaudAnswer(baudAnswer) {}
    // What the server says first: pieces sent apart, each after its pause.
    Pieces Opening;
    std::optional<unsigned> BaudAnswer;  // answer the baud rate with this value
};

// Listens on 127.0.0.1, plays the script to each client, answers the serial
// settings and then relays bytes to and from `device`.
class ScriptedServer {
public:
    ScriptedServer(const std::string& device, Script script) : script_(std::move(script)) {
        dev_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        tcgetattr(dev_, &t);
        cfmakeraw(&t);
        tcsetattr(dev_, TCSANOW, &t);
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
        ::close(dev_);
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // The option commands the clients sent (verb, option).
    std::vector<std::pair<int, int>> Heard() {
        std::lock_guard<std::mutex> lock(m_);
        return heard_;
    }

private:
    void Serve() {
        while (!stop_) {
            const int c = ::accept(listen_, nullptr, nullptr);
            if (c < 0) return;
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            Talk(c);
            ::close(c);
        }
    }
    void Talk(int c) {
        std::size_t next = 0;
        auto due = std::chrono::steady_clock::now();
        if (!script_.Opening.empty()) due += std::chrono::milliseconds(script_.Opening[0].first);
        enum { Data, Iac, Opt, Sub, SubIac } st = Data;
        int verb = 0;
        std::vector<std::uint8_t> sub;
        while (!stop_) {
            if (next < script_.Opening.size() && std::chrono::steady_clock::now() >= due) {
                const auto& piece = script_.Opening[next++].second;
                ::send(c, piece.data(), piece.size(), MSG_NOSIGNAL);
                if (next < script_.Opening.size())
                    due = std::chrono::steady_clock::now() + std::chrono::milliseconds(script_.Opening[next].first);
            }
            pollfd p[2] = {{c, POLLIN, 0}, {dev_, POLLIN, 0}};
            if (::poll(p, 2, 10) <= 0) continue;
            std::uint8_t buf[1024];
            if (p[1].revents & POLLIN) {
                const ssize_t n = ::read(dev_, buf, sizeof buf);
                std::vector<std::uint8_t> out;
                for (ssize_t i = 0; i < n; ++i) {
                    out.push_back(buf[i]);
                    if (buf[i] == TN_IAC) out.push_back(TN_IAC);
                }
                ::send(c, out.data(), out.size(), MSG_NOSIGNAL);
            }
            if (!(p[0].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            for (ssize_t i = 0; i < n; ++i) {
                const std::uint8_t b = buf[i];
                switch (st) {
                    case Data:
                        if (b == TN_IAC) st = Iac;
                        else (void)!::write(dev_, &b, 1);
                        break;
                    case Iac:
                        if (b == TN_IAC) {
                            (void)!::write(dev_, &b, 1);
                            st = Data;
                        } else if (b == TN_SB) {
                            sub.clear();
                            st = Sub;
                        } else if (b >= TN_WILL && b <= TN_DONT) {
                            verb = b;
                            st = Opt;
                        } else {
                            st = Data;
                        }
                        break;
                    case Opt: {
                        std::lock_guard<std::mutex> lock(m_);
                        heard_.emplace_back(verb, b);
                        st = Data;
                        break;
                    }
                    case Sub:
                        if (b == TN_IAC) st = SubIac;
                        else sub.push_back(b);
                        break;
                    case SubIac:
                        st = Sub;
                        if (b == TN_IAC) sub.push_back(b);
                        if (b != TN_SE) break;
                        st = Data;
                        if (sub.size() >= 3 && sub[0] == TN_COMPORT) {
                            std::vector<std::uint8_t> answer = {TN_IAC, TN_SB, TN_COMPORT, std::uint8_t(sub[1] + 100)};
                            std::vector<std::uint8_t> value(sub.begin() + 2, sub.end());
                            if (sub[1] == 1 && script_.BaudAnswer) {
                                const unsigned v = *script_.BaudAnswer;
                                value = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
                            }
                            answer.insert(answer.end(), value.begin(), value.end());
                            answer.insert(answer.end(), {TN_IAC, TN_SE});
                            ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                        }
                        break;
                }
            }
        }
    }

    Script script_;
    int dev_ = -1, listen_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::pair<int, int>> heard_;
};

std::vector<std::uint8_t> Opt(std::initializer_list<std::uint8_t> pairs) {
    std::vector<std::uint8_t> out;
    for (auto it = pairs.begin(); it != pairs.end(); it += 2) out.insert(out.end(), {TN_IAC, *it, *(it + 1)});
    return out;
}

TEST(NetPortTelnet, EveryOrderOfTheServersAnswersWorks) {
    SetLanguage(1);
    sim::Simulator sim(sim::SimOptions{});
    const std::string device = sim.Start();
    struct Case {
        const char* name;
        Script script;
        int rounds;
    } cases[] = {
        {"WILL before DO", {{{0, Opt({TN_WILL, TN_COMPORT})}, {100, Opt({TN_DO, TN_COMPORT})}}, {}}, 5},
        {"both in one packet", {{{0, Opt({TN_WILL, TN_COMPORT, TN_DO, TN_COMPORT})}}, {}}, 20},
        {"DO before WILL", {{{0, Opt({TN_DO, TN_COMPORT})}, {50, Opt({TN_WILL, TN_COMPORT})}}, {}}, 5},
        {"DO alone", {{{0, Opt({TN_DO, TN_COMPORT})}}, {}}, 5},
        // What python3-serial's server says first, in one packet.
        {"echo, go-ahead, binary first",
         {{{0, Opt({TN_WILL, TN_ECHO, TN_WILL, TN_SGA, TN_DO, TN_BINARY, TN_WILL, TN_COMPORT})},
           {20, Opt({TN_DO, TN_COMPORT})}},
          {}},
         5},
        {"DO 1 s late", {{{0, Opt({TN_WILL, TN_COMPORT})}, {1000, Opt({TN_DO, TN_COMPORT})}}, {}}, 2},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(device, c.script);
        for (int round = 0; round < c.rounds; ++round) {
            TSerCom port;
            LoggerData data;
            LoggerOps ops(port, data);
            ASSERT_NO_THROW(OpenPortDirect(port, server.Url(), 20, 300));
            EXPECT_EQ(ops.ReadSerialNumber(), 84321u);
        }
        // Asked once, never taken back; an echo is refused.
        int willComPort = 0;
        for (const auto& [verb, option] : server.Heard()) {
            if (option == TN_COMPORT) {
                EXPECT_TRUE(verb == TN_WILL || verb == TN_DO) << verb;
                if (verb == TN_WILL) ++willComPort;
            }
            if (option == TN_ECHO) {
                EXPECT_EQ(verb, TN_DONT);
            }
        }
        EXPECT_EQ(willComPort, c.rounds);
    }
}

TEST(NetPortTelnet, RefusalsSayWhatTheServerDid) {
    SetLanguage(1);
    sim::Simulator sim(sim::SimOptions{});
    const std::string device = sim.Start();
    struct Case {
        const char* name;
        Script script;
        std::string reason;
    } cases[] = {
        {"baud rate answered with another value", {{{0, Opt({TN_WILL, TN_COMPORT, TN_DO, TN_COMPORT})}}, 4800u},
         "the server refused the serial settings (baud rate: 9600 asked, 4800 set)"},
        {"the option refused", {{{0, Opt({TN_DONT, TN_COMPORT})}}, {}}, "no RFC 2217 answer; for a raw TCP server use tcp://127.0.0.1:"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(device, c.script);
        TSerCom port;
        const auto start = std::chrono::steady_clock::now();
        try {
            OpenPortDirect(port, server.Url(), 20, 300);
            ADD_FAILURE() << "opened";
        } catch (const EComm& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("  is impossible to open: " + c.reason), std::string::npos) << text;
        }
        // Refused at once, not after the time limit.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(port.IsOpen());
    }
}

// ---- failed opens leave nothing behind -------------------------------------

long OpenDescriptors() {
    long n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

long ResidentKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

TEST(NetPortOpen, ThousandFailedOpensLeakNothing) {
    SetLanguage(1);
    // A server that hangs up at once, and a port where nobody listens.
    const int hangUp = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(hangUp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(hangUp, 64);
    socklen_t len = sizeof a;
    ::getsockname(hangUp, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string hangUpUrl = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    std::atomic<bool> stop{false};
    std::thread closer([&] {
        while (!stop) {
            const int c = ::accept(hangUp, nullptr, nullptr);
            if (c >= 0) ::close(c);
        }
    });
    const int spare = ::socket(AF_INET, SOCK_STREAM, 0);
    a.sin_port = 0;
    ::bind(spare, reinterpret_cast<sockaddr*>(&a), sizeof a);
    len = sizeof a;
    ::getsockname(spare, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string nobodyUrl = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));  // bound, not listening

    auto fail = [](const std::string& url) {
        TSerCom port;
        EXPECT_THROW(OpenPortDirect(port, url, 20, 300), EComm);
    };
    for (int i = 0; i < 50; ++i) fail(i % 2 ? hangUpUrl : nobodyUrl);  // warm-up
    const long fds = OpenDescriptors();
    const long rss = ResidentKb();
    for (int i = 0; i < 1000; ++i) fail(i % 2 ? hangUpUrl : nobodyUrl);
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_LT(ResidentKb() - rss, 2048) << "kB grown over 1000 failed opens";
    stop = true;
    ::shutdown(hangUp, SHUT_RDWR);
    closer.join();
    ::close(hangUp);
    ::close(spare);
}

}  // namespace
}  // namespace kolvex
