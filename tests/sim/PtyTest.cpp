// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator on its pseudo-terminal: round trips, reopening, pacing,
// recorded frames and times, and every fault kind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "SimTestUtil.h"
#include "sim/Simulator.h"

using kolvex::sim::FaultKind;
using kolvex::sim::FaultRule;
using kolvex::sim::SimOptions;
using kolvex::sim::Simulator;
using namespace simtest;

namespace {

class Port {
public:
    explicit Port(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    void Send(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // Reads until `want` bytes arrived or `quietMs` passed without a byte.
    Bytes Receive(std::size_t want, int quietMs = 400) {
        Bytes out;
        std::uint8_t buf[256];
        while (out.size() < want) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0) break;
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        // Collect stragglers beyond the expected length, briefly.
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, 30) > 0) {
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

private:
    int fd_ = -1;
};

const Bytes kClockRead = Hex("5A 04 FF 08 65");

}  // namespace

TEST(SimPty, RoundTripReopenAndRecording) {
    SimOptions o;
    o.TurnaroundMs = 0;
    Simulator sim(o);
    const std::string path = sim.Start();
    EXPECT_EQ(path, sim.SlavePath());
    {
        Port port(path);
        ASSERT_TRUE(port.Ok());
        port.Send(kClockRead);
        EXPECT_TRUE(ValidReadReply(port.Receive(12), 8));
        // Garbage ahead of a frame and a frame with a bad check sum.
        port.Send(Hex("00 13 5A 06 FF 10 04 04 78"));
        EXPECT_TRUE(port.Receive(1, 200).empty());
        port.Send(Hex("5A 06 FF 10 04 04 77"));
        EXPECT_TRUE(ValidReadReply(port.Receive(8), 4));
        // A partial frame followed by silence is given up.
        port.Send(Hex("5A 20 FF"));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        port.Send(kClockRead);
        EXPECT_TRUE(ValidReadReply(port.Receive(12), 8));
    }
    {
        Port again(path);  // the client closed and reopens the port
        ASSERT_TRUE(again.Ok());
        again.Send(Hex("5A 0A FF 89 00 04 10 20 00 00 20"));
        EXPECT_EQ(again.Receive(1), Bytes{0x06});
    }
    EXPECT_EQ(sim.ArchiveRead(), 0x2010);

    const auto frames = sim.ReceivedFrames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], kClockRead);
    EXPECT_EQ(frames[1], Hex("5A 06 FF 10 04 04 77"));
    const auto req = sim.RequestTimesUs(), rep = sim.ReplyTimesUs();
    ASSERT_EQ(req.size(), 4u);
    ASSERT_EQ(rep.size(), 4u);
    for (std::size_t i = 0; i < req.size(); ++i) {
        EXPECT_GT(rep[i], req[i]);
        if (i > 0) {
            EXPECT_GT(req[i], rep[i - 1]);
        }
    }
    sim.ClearReceivedFrames();
    EXPECT_TRUE(sim.ReceivedFrames().empty());
    EXPECT_TRUE(sim.RequestTimesUs().empty());
    sim.Stop();
    sim.Stop();  // idempotent
}

TEST(SimPty, TurnaroundAndPacing) {
    SimOptions o;
    o.TurnaroundMs = 20;
    {
        Simulator sim(o);
        Port port(sim.Start());
        port.Send(kClockRead);
        EXPECT_TRUE(ValidReadReply(port.Receive(12), 8));
        const auto gap = sim.ReplyTimesUs()[0] - sim.RequestTimesUs()[0];
        EXPECT_GE(gap, 20000);
        EXPECT_LT(gap, 500000);
    }
    o.TurnaroundMs = 0;
    o.Pacing = true;
    Simulator sim(o);
    Port port(sim.Start());
    port.Send(Frame({0xFF, 0x21, 0, 128}));
    EXPECT_TRUE(ValidReadReply(port.Receive(132, 1000), 128));
    // 132 characters at 9600 Bd take at least 131 character times.
    const auto gap = sim.ReplyTimesUs()[0] - sim.RequestTimesUs()[0];
    EXPECT_GE(gap, 131 * 1042);
    EXPECT_LT(gap, 2000000);
}

TEST(SimPty, FaultKinds) {
    SimOptions o;
    o.TurnaroundMs = 0;
    Simulator sim(o);
    Port port(sim.Start());
    ASSERT_TRUE(port.Ok());

    FaultRule rule;
    rule.Kind = FaultKind::NoReply;
    rule.Frames = {2};
    sim.SetFault(rule);
    port.Send(kClockRead);
    EXPECT_EQ(port.Receive(12).size(), 12u);
    port.Send(kClockRead);
    EXPECT_TRUE(port.Receive(12, 300).empty());
    port.Send(kClockRead);
    EXPECT_EQ(port.Receive(12).size(), 12u);

    rule.Kind = FaultKind::ShortReply;
    rule.Frames = {1};
    sim.SetFault(rule);  // restarts the frame count
    port.Send(kClockRead);
    Bytes r = port.Receive(12, 300);
    ASSERT_EQ(r.size(), 11u);
    port.Send(Hex("5A 0A FF 89 00 04 10 20 00 00 20"));
    EXPECT_EQ(port.Receive(1), Bytes{0x06});

    rule.Kind = FaultKind::BadFcs;
    sim.SetFault(rule);
    port.Send(kClockRead);
    r = port.Receive(12);
    ASSERT_EQ(r.size(), 12u);
    EXPECT_NE(r.back(), Sum(r, 11));

    rule.Kind = FaultKind::ExtraBytes;
    rule.ExtraBytes = 3;
    sim.SetFault(rule);
    port.Send(kClockRead);
    r = port.Receive(15);
    ASSERT_EQ(r.size(), 15u);
    EXPECT_EQ(r[11], Sum(r, 11));  // the reply itself is intact

    rule.Kind = FaultKind::LateReply;
    rule.LateMs = 300;
    sim.SetFault(rule);
    sim.ClearReceivedFrames();
    port.Send(kClockRead);
    EXPECT_TRUE(ValidReadReply(port.Receive(12, 800), 8));
    EXPECT_GE(sim.ReplyTimesUs()[0] - sim.RequestTimesUs()[0], 300000);

    // Every second frame.
    rule = FaultRule{};
    rule.Kind = FaultKind::NoReply;
    rule.Every = 2;
    sim.SetFault(rule);
    int answered = 0;
    for (int i = 0; i < 4; ++i) {
        port.Send(kClockRead);
        answered += port.Receive(12, 400).size() == 12u ? 1 : 0;
    }
    EXPECT_EQ(answered, 2);
    const auto rep = sim.ReplyTimesUs();
    EXPECT_EQ(rep[rep.size() - 1], -1);  // no reply recorded as -1
    EXPECT_GT(rep[rep.size() - 2], 0);

    sim.ClearFault();
    port.Send(kClockRead);
    EXPECT_EQ(port.Receive(12).size(), 12u);
}
