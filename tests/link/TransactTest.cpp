// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange rules of the port over a real pseudo-terminal: idle time,
// reply and gap time-outs, repeats, error count, busy guard and purging.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "SimFixture.h"
#include "base/Errors.h"
#include "link/Frames.h"

using namespace kolvex;
using kolvex::test::MonotonicUs;

namespace {

class Transact : public kolvex::test::SimPort {
protected:
    // Reads the 4 current-value bytes; returns the received count.
    std::size_t Exchange() {
        std::uint8_t req[16];
        std::size_t len = BuildReadFrame(req, 255, 0x10, 4, 4);
        std::uint8_t reply[16] = {};
        return port_.Transact(req, len, reply, 8);
    }
    std::string Message(const std::function<void()>& f) {
        try {
            f();
        } catch (const EComm& e) {
            return e.what();
        }
        return "(no error)";
    }
};

// A stand-in logger on a pseudo-terminal whose replies come in pieces: it
// answers the n-th request with the n-th script (the last one for every later
// request), each piece after its pause, byte by byte as a 9600 Bd line
// carries them or all at once.
struct Piece {
    int pauseMs;
    int bytes;
    bool paced;
};
using Script = std::vector<Piece>;

class PiecePeer {
public:
    static constexpr int kReplyBytes = 100;

    explicit PiecePeer(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
        // Held open so that the master side never sees a hang-up.
        if (!path_.empty()) slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }
    ~PiecePeer() {
        stop_ = true;
        thread_.join();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string& Path() const { return path_; }
    static std::uint8_t Byte(int i) { return static_cast<std::uint8_t>(i * 7 + 1); }

private:
    // Hands bytes to the line; a pseudo-terminal takes a short reply whole.
    void Put(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (n > 0) {
            const ssize_t w = ::write(master_, p, n);
            if (w <= 0) return;
            p += w;
            n -= static_cast<std::size_t>(w);
        }
    }

    void Serve() {
        std::size_t answered = 0;
        std::uint8_t buf[256];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            if (!(p.revents & POLLIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (::read(master_, buf, sizeof buf) <= 0) continue;
            const Script& script = scripts_[std::min(answered++, scripts_.size() - 1)];
            int at = 0;
            for (const Piece& piece : script) {
                std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseMs));
                if (!piece.paced) {
                    std::vector<std::uint8_t> run;
                    for (int i = 0; i < piece.bytes; ++i) run.push_back(Byte(at++));
                    Put(run.data(), run.size());
                    continue;
                }
                const auto begin = std::chrono::steady_clock::now();
                for (int i = 0; i < piece.bytes; ++i) {
                    std::this_thread::sleep_until(begin + std::chrono::microseconds(1042 * i));
                    const std::uint8_t b = Byte(at++);
                    Put(&b, 1);
                }
            }
        }
    }

    std::vector<Script> scripts_;
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(Transact, ReplyInPiecesIsReadWholeAndTheGapTimeOutStillHolds) {
    // The port does not look at every byte of a reply as it comes; a reply
    // that pauses for less than the gap time-out (50 ms) is still taken
    // whole, one that stops for longer is still given up and repeated. Each
    // row's reply follows one that came at the line's full pace.
    const Script paced = {{2, PiecePeer::kReplyBytes, true}};
    const Script whole = {{2, PiecePeer::kReplyBytes, false}};
    struct Row {
        const char* what;
        Script first;    // the first attempt's reply; every repeat gets `whole`
        unsigned errors;
    };
    const Row rows[] = {
        {"paced, with a 20 ms pause", {{2, 5, true}, {20, 95, true}}, 0},
        {"in bursts faster than the line", {{2, 40, false}, {2, 30, false}, {1, 30, false}}, 0},
        {"paced, then a burst", {{2, 60, true}, {5, 40, false}}, 0},
        // Stops for 72 ms after its fifth byte: that attempt fails, the
        // repeat succeeds (the idle time outlasts the rest of the first reply,
        // which is purged).
        {"paced, stops for 72 ms", {{2, 5, true}, {72, 95, true}}, 1},
    };
    SetLanguage(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PiecePeer peer({paced, row.first, whole});
        ASSERT_FALSE(peer.Path().empty());
        OpenPortDirect(port_, peer.Path(), /*idle*/ 200, /*slot*/ 100);
        for (unsigned errors : {0u, row.errors}) {
            std::uint8_t req[16];
            std::size_t len = BuildReadFrame(req, 255, 0x10, 4, 4);
            std::uint8_t reply[PiecePeer::kReplyBytes] = {};
            port_.ErrorCount = 0;
            EXPECT_EQ(Message([&] { port_.Transact(req, len, reply, sizeof reply); }), "(no error)");
            EXPECT_EQ(port_.ErrorCount, errors);
            for (int i = 0; i < PiecePeer::kReplyBytes; ++i) ASSERT_EQ(reply[i], PiecePeer::Byte(i)) << "byte " << i;
        }
        port_.Close();
    }
}

TEST_F(Transact, IdleTimeOnlyBetweenExchanges) {
    sim::SimOptions o;
    o.TurnaroundMs = 1;
    Open(o, /*idle*/ 300, /*slot*/ 2000);

    // The first exchange does not wait for the idle time.
    const std::int64_t t0 = MonotonicUs();
    ASSERT_EQ(Exchange(), 8u);
    const std::int64_t t1 = MonotonicUs();
    EXPECT_LT(t1 - t0, 250000) << "first exchange waited";
    // A complete reply ends the wait at once, long before the reply time-out.
    EXPECT_LT(t1 - t0, 1000000);

    ASSERT_EQ(Exchange(), 8u);
    ASSERT_EQ(Exchange(), 8u);
    const auto requests = sim_->RequestTimesUs();
    const auto replies = sim_->ReplyTimesUs();
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(replies.size(), 3u);
    // Every later request comes at least the idle time after the previous reply.
    EXPECT_GE(requests[1] - replies[0], 300000);
    EXPECT_GE(requests[2] - replies[1], 300000);
    EXPECT_LT(requests[2] - replies[1], 600000) << "idle wait much longer than asked";
    EXPECT_EQ(port_.ErrorCount, 0u);
}

TEST_F(Transact, ShortReplyFailsAfterGapAndIsRepeated) {
    Open({}, 10, 200);
    sim::FaultRule r;
    r.Kind = sim::FaultKind::ShortReply;
    r.Every = 1;
    sim_->SetFault(r);

    const std::int64_t t0 = MonotonicUs();
    EXPECT_EQ(Message([&] { Exchange(); }), "Communication error");
    const std::int64_t elapsed = MonotonicUs() - t0;
    EXPECT_EQ(port_.ErrorCount, 3u);
    EXPECT_EQ(sim_->ReceivedFrames().size(), 3u);
    // Each attempt waits the gap time-out (50 ms) after the last byte.
    EXPECT_GE(elapsed, 3 * 50000);
    EXPECT_FALSE(port_.Busy);

    // A single short reply is repeated and the second attempt succeeds.
    sim_->ClearReceivedFrames();
    r.Every = 0;
    r.Frames = {1};
    sim_->SetFault(r);
    port_.ErrorCount = 0;
    EXPECT_EQ(Exchange(), 8u);
    EXPECT_EQ(port_.ErrorCount, 1u);
    EXPECT_EQ(sim_->ReceivedFrames().size(), 2u);
}

TEST_F(Transact, NoReplyWaitsTheReplyTimeoutEachAttempt) {
    Open({}, 10, 100);
    sim::FaultRule r;
    r.Kind = sim::FaultKind::NoReply;
    r.Every = 1;
    sim_->SetFault(r);
    const std::int64_t t0 = MonotonicUs();
    EXPECT_EQ(Message([&] { Exchange(); }), "Communication error");
    const std::int64_t elapsed = MonotonicUs() - t0;
    EXPECT_EQ(port_.ErrorCount, 3u);
    EXPECT_GE(elapsed, 3 * 100000);
    EXPECT_LT(elapsed, 3 * 100000 + 3 * 10000 + 400000);

    SetLanguage(0);
    EXPECT_EQ(Message([&] { Exchange(); }), "Chyba komunikace");
    EXPECT_EQ(port_.ErrorCount, 6u);
}

TEST_F(Transact, LateReplyIsAFailedAttempt) {
    Open({}, 10, 100);
    sim::FaultRule r;
    r.Kind = sim::FaultKind::LateReply;
    r.LateMs = 150;
    r.Frames = {1};
    sim_->SetFault(r);
    // The first attempt gives up after the reply time-out; the reply that
    // comes late lands in the repeat, which succeeds.
    EXPECT_EQ(Exchange(), 8u);
    EXPECT_GE(port_.ErrorCount, 1u);
    EXPECT_LE(port_.ErrorCount, 2u);
}

TEST_F(Transact, ReplyTimeoutCountsFromTheRequestsLastByteOnTheLine) {
    // A 128-byte block takes about 140 ms to leave at 9600 Bd before the
    // logger can answer; the pseudo-terminal takes it at once, so a reply
    // that comes 130 ms later stands for a prompt answer on a real line.
    Open({}, 10, 100);
    std::uint8_t block[128] = {};
    ReadLoggerMemory(port_, 4, 0x21, 0, block, sizeof block);
    sim_->ClearReceivedFrames();
    sim::FaultRule r;
    r.Kind = sim::FaultKind::LateReply;
    r.LateMs = 130;
    r.Frames = {1};
    sim_->SetFault(r);
    WriteLoggerMemory(port_, 4, 0x9A, 0, block, sizeof block);
    EXPECT_EQ(port_.ErrorCount, 0u);
    EXPECT_EQ(sim_->ReceivedFrames().size(), 1u);
}

TEST_F(Transact, BusyPortRefusesANestedExchange) {
    Open({});
    port_.Busy = true;  // as if an exchange were running
    EXPECT_EQ(Message([&] { Exchange(); }), "The communication port is busy");
    EXPECT_TRUE(port_.Busy) << "the running exchange must not be disturbed";
    EXPECT_TRUE(sim_->ReceivedFrames().empty());
    SetLanguage(0);
    EXPECT_EQ(Message([&] { Exchange(); }), "Komunikační port je obsazen");
    port_.Busy = false;
    EXPECT_EQ(Exchange(), 8u);
}

TEST_F(Transact, ExtraBytesArePurgedBeforeTheNextExchange) {
    sim::SimOptions o;
    o.Pacing = true;  // bytes one by one: the expected count is seen first
    Open(o, 10, 200);
    sim::FaultRule r;
    r.Kind = sim::FaultKind::ExtraBytes;
    r.ExtraBytes = 3;
    r.Frames = {1};
    sim_->SetFault(r);
    EXPECT_EQ(Exchange(), 8u);
    EXPECT_EQ(port_.ErrorCount, 0u);
    // The three stray bytes must not be taken for the next reply.
    ops_.ReadLoggerType();
    // The type word is the two version bytes: 4 and minor 7.
    EXPECT_EQ(data_.Image.LoggerType, 0x0704);
    EXPECT_EQ(data_.Image.TypeByte(), 4);
    EXPECT_EQ(port_.ErrorCount, 0u);
}

TEST_F(Transact, PaddedBurstAndBadCheckSumsAreRepeatedOrTaken) {
    // The paced simulator sends byte by byte; a padded burst comes in one
    // write. Each row: fault, frames it hits, expected outcome.
    struct Row {
        sim::FaultKind kind;
        std::vector<int> frames;
        int every;
        const char* error;  // nullptr: the read succeeds
        unsigned errors;    // failed attempts counted
        std::size_t sent;   // request frames on the line
    };
    const Row rows[] = {
        {sim::FaultKind::PaddedBurst, {}, 1, nullptr, 0, 1},
        {sim::FaultKind::ExtraBytes, {}, 1, nullptr, 0, 1},
        {sim::FaultKind::BadFcs, {1}, 0, nullptr, 1, 2},
        {sim::FaultKind::BadFcs, {1, 2}, 0, nullptr, 2, 3},
        {sim::FaultKind::BadFcs, {}, 1, "Chyba komunikace (FCS)", 3, 3},
        {sim::FaultKind::NoReply, {1, 2}, 0, nullptr, 2, 3},
    };
    sim::SimOptions o;
    o.Pacing = true;
    Open(o, 10, 60);
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.kind));
        sim::FaultRule r;
        r.Kind = row.kind;
        r.Frames = row.frames;
        r.Every = row.every;
        sim_->SetFault(r);
        sim_->ClearReceivedFrames();
        port_.ErrorCount = 0;
        std::uint8_t buf[4] = {};
        const std::string got = Message([&] { ReadLoggerMemory(port_, 4, 0x10, 4, buf, 4); });
        EXPECT_EQ(got, row.error ? row.error : "(no error)");
        EXPECT_EQ(port_.ErrorCount, row.errors);
        EXPECT_EQ(sim_->ReceivedFrames().size(), row.sent);
        // The next exchange never sees the surplus of the previous reply.
        sim_->ClearFault();
        ops_.ReadLoggerType();
        EXPECT_EQ(data_.Image.LoggerType, 0x0704);
    }
}

TEST_F(Transact, BurstPastTheExpectedCountIsTaken) {
    Open({}, 10, 200);  // no pacing: the reply and its extra bytes come at once
    sim::FaultRule r;
    r.Kind = sim::FaultKind::ExtraBytes;
    r.ExtraBytes = 2;
    r.Frames = {1};
    sim_->SetFault(r);
    EXPECT_EQ(Exchange(), 8u);
    EXPECT_EQ(port_.ErrorCount, 0u);
}

TEST_F(Transact, OpenErrorNamesThePortAndTheReason) {
    Open({});  // the simulator's port, held open by port_
    char file[] = "/tmp/kolvex-regular-XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct Row {
        std::string name;
        int language;
        std::string message;
    };
    const Row rows[] = {
        {"/dev/kolvex-no-such-port", 1,
         "Port  /dev/kolvex-no-such-port  is impossible to open: the device is not present (unplugged?)"},
        {"/dev/kolvex-no-such-port", 0,
         "Port  /dev/kolvex-no-such-port  nelze otevřít: zařízení není připojeno (odpojeno?)"},
        {file, 1, std::string("Port  ") + file + "  is impossible to open: not a serial device"},
        {sim_->SlavePath(), 1,
         "Port  " + sim_->SlavePath() + "  is impossible to open: the device is busy (used by another program)"},
        {"COM12", 1, "Port  COM12  is impossible to open: unknown port name"},
    };
    for (const Row& row : rows) {
        SetLanguage(row.language);
        TSerCom p;
        p.PortName = row.name;
        EXPECT_EQ(Message([&] { p.Open(); }), row.message);
        EXPECT_FALSE(p.IsOpen());
    }
    ::unlink(file);
}

TEST_F(Transact, ClosedPortFailsEveryExchange) {
    Open({}, 10, 30);
    port_.Close();
    EXPECT_EQ(Message([&] { Exchange(); }), "Communication error");
    EXPECT_EQ(port_.ErrorCount, 3u);
}

TEST_F(Transact, UnpluggedDeviceIsSeenAsLost) {
    Open({});
    EXPECT_FALSE(port_.LineLost());
    sim_->Stop();  // the other end goes away, as an unplugged adapter
    EXPECT_TRUE(port_.LineLost());
    port_.Close();
    EXPECT_FALSE(port_.LineLost());
}
