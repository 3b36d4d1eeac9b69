// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12-cli through ser2net and through python3-serial's RFC 2217 server
// on 127.0.0.1 in front of quendal-sim's pseudo-terminal: RFC 2217 and raw
// TCP give what the direct line gives, a link with a 50 ms round trip works
// with the network defaults, a server restarted in the middle of a download
// does not end it, network faults say what failed, and two downloads never
// talk to the logger at once.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "Process.h"

using nlohmann::json;
using namespace kolvex::e2e;
namespace fs = std::filesystem;

namespace {

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

int Connect(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
    close(s);
    return -1;
}

int Listen(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0) throw std::runtime_error("listen");
    return s;
}

fs::path Scratch(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("kolvex-net-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// ser2net with one RFC 2217 and one raw TCP accepter on the same line.
class Ser2net {
public:
    explicit Ser2net(const std::string& device, int rfc = 0, int raw = 0)
        : rfc_(rfc ? rfc : FreePort()), raw_(raw ? raw : FreePort()) {
        dir_ = Scratch("ser2net" + std::to_string(rfc_));
        std::ofstream(dir_ / "s.yaml") << "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc_
                                       << "\n  connector: serialdev," << device << ",9600n81,local\n"
                                       << "connection: &raw\n  accepter: tcp,127.0.0.1," << raw_
                                       << "\n  connector: serialdev," << device << ",9600n81,local\n";
        pid_ = fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            const std::string cfg = (dir_ / "s.yaml").string();
            execlp("ser2net", "ser2net", "-n", "-u", "-c", cfg.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            const int s = Connect(raw_);
            if (s >= 0) {
                close(s);
                // The probe holds the line until ser2net sees it gone.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("ser2net did not start");
    }
    ~Ser2net() { Stop(); }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc_); }
    std::string Tcp() const { return "tcp://127.0.0.1:" + std::to_string(raw_); }
    int RawPort() const { return raw_; }
    int RfcPort() const { return rfc_; }

private:
    int rfc_, raw_;
    fs::path dir_;
    pid_t pid_ = -1;
};

// python3-serial's RFC 2217 server (tests/e2e/rfc2217_server.py).
class PyServer {
public:
    explicit PyServer(const std::string& device) : port_(FreePort()) {
        pid_ = fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            const std::string script = std::string(KOLVEX_TEST_SOURCE_DIR) + "/e2e/rfc2217_server.py";
            const std::string port = std::to_string(port_);
            execl("/usr/bin/python3", "python3", script.c_str(), device.c_str(), port.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            const int s = Connect(port_);
            if (s >= 0) {
                close(s);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("the python3-serial server did not start");
    }
    ~PyServer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    pid_t pid_ = -1;
};

// A TCP relay that holds every piece for `delayMs` in each direction, and
// optionally cuts the connection (and stops listening) once the server has
// sent `cutAfter` bytes.
class Relay {
public:
    Relay(int upstream, int delayMs, long cutAfter = -1)
        : port_(FreePort()), upstream_(upstream), delay_(delayMs), cutAfter_(cutAfter) {
        listen_ = Listen(port_);
        accept_ = std::thread([this] { AcceptLoop(); });
    }
    ~Relay() {
        stop_ = true;
        shutdown(listen_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(m_);
            for (int s : sockets_) shutdown(s, SHUT_RDWR);
        }
        accept_.join();
        for (auto& t : pumps_) t.join();
        close(listen_);
        for (int s : sockets_) close(s);
    }
    int Port() const { return port_; }

private:
    void AcceptLoop() {
        while (!stop_) {
            const int c = accept(listen_, nullptr, nullptr);
            if (c < 0) return;
            const int u = Connect(upstream_);
            if (u < 0) {
                close(c);
                continue;
            }
            int one = 1;
            setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            setsockopt(u, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard<std::mutex> lock(m_);
            sockets_.push_back(c);
            sockets_.push_back(u);
            pumps_.emplace_back([this, c, u] { Pump(c, u, false); });
            pumps_.emplace_back([this, c, u] { Pump(u, c, true); });
        }
    }
    void Pump(int from, int to, bool fromServer) {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(from, buf, sizeof buf);
            if (n <= 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(delay_));
            if (fromServer && cutAfter_ >= 0 && (sent_ += n) > cutAfter_) {
                // The line goes dead: nothing more passes, nobody may reconnect.
                shutdown(listen_, SHUT_RDWR);
                break;
            }
            if (send(to, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
        }
        shutdown(from, SHUT_RDWR);
        shutdown(to, SHUT_RDWR);
    }

    int port_, upstream_, delay_;
    long cutAfter_;
    std::atomic<long> sent_{0};
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread accept_;
    std::mutex m_;
    std::vector<int> sockets_;
    std::vector<std::thread> pumps_;
};

Result Cli(const std::string& port, std::vector<std::string> args, int timeoutMs = 30000) {
    args.insert(args.begin(), {"--port", port});
    return RunProgram(CliPath(), args, timeoutMs);
}

// The stored records of a download, read back with the dump command;
// `extra` are the download's options, `global` the tool's (before the command).
std::string Download(const std::string& port, const fs::path& dir, std::vector<std::string> extra = {},
                     std::vector<std::string> global = {}) {
    std::vector<std::string> args = global;
    args.insert(args.end(), {"download", "--dir", dir.string(), "--no-bookmark", "--json"});
    args.insert(args.end(), extra.begin(), extra.end());
    const Result r = Cli(port, args);
    EXPECT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out.empty() ? "{}" : r.Out);
    if (!j.contains("files") || j["files"].empty()) return {};
    return RunProgram(CliPath(), {"dump", j["files"][0]["path"].get<std::string>()}).Out;
}

bool HaveSer2net() { return system("command -v ser2net >/dev/null 2>&1") == 0; }
bool HavePySerial() { return system("/usr/bin/python3 -c 'import serial.rfc2217' >/dev/null 2>&1") == 0; }

// An archive that does not grow during the test: one sample an hour.
const std::vector<std::string> kQuietLogger = {"--archive-size", "4096", "--samples", "300", "--period", "1",
                                               "--unit", "hour"};

}  // namespace

TEST(Network, Ser2netGivesWhatTheDirectLineGives) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    SimProcess sim(kQuietLogger);
    Ser2net server(sim.Path());
    const std::string direct = Download(sim.Path(), Scratch("direct"));
    ASSERT_NE(direct.find('\n'), std::string::npos);
    const std::string info = Cli(sim.Path(), {"--json", "info"}).Out;
    const std::string params = Cli(sim.Path(), {"--json", "params"}).Out;

    for (const std::string& port : {server.Rfc2217(), server.Tcp()}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(Cli(port, {"--json", "info"}).Out, info);
        EXPECT_EQ(Cli(port, {"--json", "params"}).Out, params);
        const Result live = Cli(port, {"--json", "live"});
        ASSERT_EQ(live.Status, 0) << live.Err;
        EXPECT_EQ(json::parse(live.Out)["inputs"].size(), 2u);
        EXPECT_EQ(Download(port, Scratch("net")), direct);
    }
}

TEST(Network, SecondRfc2217ServerGivesWhatTheDirectLineGives) {
    if (!HavePySerial()) GTEST_SKIP() << "python3-serial is not installed";
    SimProcess sim(kQuietLogger);
    const std::string direct = Download(sim.Path(), Scratch("pydirect"));
    ASSERT_NE(direct.find('\n'), std::string::npos);
    const std::string info = Cli(sim.Path(), {"--json", "info"}).Out;
    const std::string params = Cli(sim.Path(), {"--json", "params"}).Out;
    // This server holds the line open from its start.
    PyServer server(sim.Path());
    EXPECT_EQ(Cli(server.Url(), {"--json", "params"}).Out, params);
    const Result live = Cli(server.Url(), {"--json", "live"});
    ASSERT_EQ(live.Status, 0) << live.Err;
    EXPECT_EQ(json::parse(live.Out)["inputs"].size(), 2u);
    EXPECT_EQ(Download(server.Url(), Scratch("py")), direct);
    // Every connection negotiates anew: twenty of twenty succeed.
    int ok = 0;
    for (int i = 0; i < 20; ++i) {
        const Result r = Cli(server.Url(), {"--json", "info"});
        EXPECT_EQ(r.Out, info) << r.Err;
        ok += r.Status == 0 && r.Out == info;
    }
    EXPECT_EQ(ok, 20);
}

TEST(Network, ServerStoppedForTwoSecondsInTheMiddleOfADownload) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    SimProcess sim({"--pacing", "--archive-size", "8192", "--samples", "1500", "--period", "1", "--unit", "hour"});
    const std::string direct = Download(sim.Path(), Scratch("blipdirect"));
    ASSERT_NE(direct.find('\n'), std::string::npos);
    auto server = std::make_unique<Ser2net>(sim.Path());
    const int rfc = server->RfcPort(), raw = server->RawPort();
    const std::string url = server->Rfc2217();
    std::string viaNet;
    std::atomic<bool> ended{false};
    const std::string trace = (Scratch("bliptrace") / "trace.txt").string();
    std::thread download([&] {
        viaNet = Download(url, Scratch("blip"), {}, {"--trace", trace});
        ended = true;
    });
    // The server stops once the download is under way: ten replies read.
    EXPECT_TRUE(WaitUntil([&] { return LinesWith(trace, "  rx ") >= 10; }, &ended))
        << "the download never got under way";
    server->Stop();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    server = std::make_unique<Ser2net>(sim.Path(), rfc, raw);
    download.join();
    EXPECT_EQ(viaNet, direct);
}

TEST(Network, FiftyMillisecondRoundTripWorksWithTheNetworkDefaults) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    SimProcess sim({"--pacing", "--archive-size", "2048", "--samples", "200", "--period", "1", "--unit", "hour"});
    Ser2net server(sim.Path());
    const std::string direct = Download(sim.Path(), Scratch("direct50"));
    Relay wan(server.RfcPort(), 25);
    const std::string port = "rfc2217://127.0.0.1:" + std::to_string(wan.Port());
    EXPECT_EQ(Download(port, Scratch("wan")), direct);
}

TEST(Network, ConnectionFaultsSayWhatFailed) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    const int silent = FreePort();
    const int listener = Listen(silent);  // accepts (in the backlog) and never answers
    const std::string nobody = std::to_string(FreePort());
    const std::string quiet = std::to_string(silent);
    struct Case {
        std::string port, lang, message;
    } cases[] = {
        {"rfc2217://127.0.0.1:" + nobody, "en", "is impossible to open: the server refused the connection\n"},
        {"tcp://127.0.0.1:" + nobody, "cs", "nelze otevřít: server spojení odmítl\n"},
        {"rfc2217://127.0.0.1:" + quiet, "en",
         "is impossible to open: no RFC 2217 answer; for a raw TCP server use tcp://127.0.0.1:" + quiet + "\n"},
        {"tcp://127.0.0.1:" + quiet, "en", "Communication error\n"},
        {"rfc2217://127.0.0.1", "en", "the address must read rfc2217://host:port or tcp://host:port\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const Result r = Cli(c.port, {"--lang", c.lang, "info"}, 15000);
        EXPECT_EQ(r.Status, 1);
        ASSERT_GE(r.Err.size(), c.message.size()) << r.Err;
        EXPECT_EQ(r.Err.substr(r.Err.size() - c.message.size()), c.message);
    }
    close(listener);
}

TEST(Network, DroppedConnectionKeepsTheRecordsAndTheBookmark) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    SimProcess sim({"--archive-size", "8192", "--samples", "1500", "--period", "1", "--unit", "hour"});
    Ser2net server(sim.Path());
    const json before = json::parse(Cli(sim.Path(), {"--json", "pointers"}).Out);
    const fs::path dir = Scratch("dropped");
    Result r;
    {
        Relay cut(server.RawPort(), 0, 3000);
        r = Cli("tcp://127.0.0.1:" + std::to_string(cut.Port()),
                {"--reconnect", "1", "download", "--dir", dir.string(), "--retries", "1", "--log",
                 (dir / "log").string()});
    }
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Err.find("was lost (the server closed the connection) and reconnecting failed: the server refused the connection"),
              std::string::npos)
        << r.Err;
    // What arrived before the drop is stored; the logger still holds the rest.
    int stored = 0;
    for (const auto& f : fs::directory_iterator(dir))
        if (f.path().extension() == ".dbf") {
            const std::string dump = RunProgram(CliPath(), {"dump", f.path().string()}).Out;
            stored += static_cast<int>(std::count(dump.begin(), dump.end(), '\n')) - 1;
        }
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 1500);
    const json after = json::parse(Cli(sim.Path(), {"--json", "pointers"}).Out);
    EXPECT_EQ(after["read"], before["read"]);
    std::ifstream log(dir / "log");
    std::string line;
    std::getline(log, line);
    EXPECT_NE(line.find("\terror: "), std::string::npos) << line;
}

TEST(Network, TwoDownloadsNeverTalkToTheLoggerAtOnce) {
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
    const fs::path locks = Scratch("locks");
    setenv("KOLVEX_LOCK_DIR", locks.c_str(), 1);
    SimProcess sim({"--pacing", "--archive-size", "4096", "--samples", "400", "--period", "1", "--unit", "hour"});
    Ser2net server(sim.Path());
    const fs::path dir = Scratch("lock");
    const std::string log = (dir / "runs.log").string();
    auto download = [&](const std::string& wait) {
        return Cli(server.Rfc2217(), {"download", "--dir", dir.string(), "--no-bookmark", "--log", log,
                                      "--lock-wait", wait});
    };
    Result first, waiting;
    std::atomic<bool> firstEnded{false};
    std::thread a([&] {
        first = download("30");
        firstEnded = true;
    });
    // The others start once the first holds the port's lock.
    EXPECT_TRUE(WaitUntil([&] { return PortLockHeld(locks.string()); }, &firstEnded))
        << "the first download never held the port's lock";
    std::thread b([&] { waiting = download("30"); });
    const Result refused = download("0");
    a.join();
    b.join();
    // ser2net takes one client per line: a second conversation would fail.
    EXPECT_EQ(first.Status, 0) << first.Err;
    EXPECT_EQ(waiting.Status, 0) << waiting.Err;
    EXPECT_EQ(refused.Status, 3);
    EXPECT_NE(refused.Err.find("Another run is talking to the logger on port  " + server.Rfc2217()), std::string::npos)
        << refused.Err;
    std::ifstream in(log);
    int ok = 0, lines = 0;
    for (std::string line; std::getline(in, line); ++lines) ok += line.find("\tok") != std::string::npos;
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(ok, 2);
    unsetenv("KOLVEX_LOCK_DIR");
}
