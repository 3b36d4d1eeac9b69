// SPDX-License-Identifier: GPL-3.0-or-later
// The device model driven with hand-built request frames.

#include <gtest/gtest.h>

#include <cstring>

#include "SimTestUtil.h"
#include "sim/LoggerDevice.h"

using kolvex::sim::FrameParser;
using kolvex::sim::LoggerDevice;
using kolvex::sim::SimOptions;
using namespace simtest;

namespace {

SimOptions Type(int type) {
    SimOptions o;
    o.LoggerType = type;
    return o;
}

float F(const Bytes& b, std::size_t off) {
    float f;
    std::memcpy(&f, b.data() + off, 4);
    return f;
}

}  // namespace

TEST(SimFrames, ExampleFramesGiveRepliesOfTheExpectedLength) {
    FakeTime clock;
    LoggerDevice dev(Type(4), clock.Source());

    Bytes r = dev.HandleFrame(Hex("5A 06 FF 10 04 04 77"));
    ASSERT_TRUE(ValidReadReply(r, 4));
    EXPECT_EQ(r[0], 0x5A);
    EXPECT_EQ(Data(r)[0] | (Data(r)[1] << 8), dev.CurrentRaw(0));
    EXPECT_EQ(Data(r)[2] | (Data(r)[3] << 8), dev.CurrentRaw(1));
    EXPECT_LE(dev.CurrentRaw(0), 64255);

    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Hex("5A 04 FF 08 65")), 8));

    r = dev.HandleFrame(Hex("5A 06 FF 00 20 02 81"));
    ASSERT_TRUE(ValidReadReply(r, 2));
    EXPECT_EQ(Data(r), (Bytes{4, 7}));  // version major = logger type, minor

    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Hex("5A 09 FF 23 00 01 00 00 20 A6")), 32));

    EXPECT_EQ(dev.HandleFrame(Hex("5A 0A FF 89 00 04 10 20 00 00 20")), Bytes{0x06});
    EXPECT_EQ(dev.ArchiveRead(), 0x2010);

    EXPECT_EQ(dev.HandleFrame(Hex("5A 05 FF 81 FF DE")), Bytes{0x06});
    EXPECT_EQ(dev.BusAddress(), 0xFF);
}

TEST(SimFrames, ParserResynchronisesAndDropsBadFrames) {
    FrameParser p;
    Bytes stream = Hex("00 13 5A 02 5A 06 FF 10 04 04 78 5A 04 FF 08 65 5A 06 FF");
    p.Feed(stream.data(), stream.size());
    auto f = p.Next();
    ASSERT_TRUE(f.has_value());  // garbage, a short LEN and a bad check sum skipped
    EXPECT_EQ(*f, Hex("5A 04 FF 08 65"));
    EXPECT_FALSE(p.Next().has_value());
    EXPECT_TRUE(p.Pending());  // the started frame waits for its rest
    Bytes rest = Hex("10 04 04 77");
    p.Feed(rest.data(), rest.size());
    f = p.Next();
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(*f, Hex("5A 06 FF 10 04 04 77"));

    // A stale partial frame is given up and the next frame still parses.
    Bytes partial = Hex("5A 20 FF");
    p.Feed(partial.data(), partial.size());
    EXPECT_FALSE(p.Next().has_value());
    p.DropStale();
    Bytes clockRead = Hex("5A 04 FF 08 65");
    p.Feed(clockRead.data(), clockRead.size());
    f = p.Next();
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(*f, clockRead);
}

TEST(SimFrames, AddressingRefusalsAndUnknownCommands) {
    FakeTime clock;
    LoggerDevice dev(Type(4), clock.Source());
    const std::uint8_t own = dev.BusAddress();
    ASSERT_NE(own, 0x22);
    // Own address and 255 are answered, any other address is not.
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({own, 0x08})), 8));
    EXPECT_TRUE(dev.HandleFrame(Frame({0x22, 0x08})).empty());
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x81, 0x22})), Bytes{0x06});
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0x22, 0x08})), 8));
    EXPECT_EQ(dev.HandleFrame(Frame({0x22, 0x08}))[2], 0x22);
    EXPECT_TRUE(dev.HandleFrame(Frame({own, 0x08})).empty());

    // Unknown command: silence. Known code without an area: refusal.
    EXPECT_TRUE(dev.HandleFrame(Frame({0xFF, 0x02, 0x00, 0x01})).empty());
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x01})), Bytes{0x15});
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x20, 0x00, 0x00, 0x04})), Bytes{0x15});
    // Out of range reads of the identification and current values.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x00, 36, 4})), Bytes{0x15});
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0xFF, 0x00, 34, 4})), 4));
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x10, 6, 4})), Bytes{0x15});
    // Count byte that does not match the data carried.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x9A, 0x00, 0x03, 0x41})), Bytes{0x15});
    // Tables exist only for table inputs (defaults are Pt100 and current).
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x28, 0x00, 0x20})), Bytes{0x15});
    // The write pointer and status byte cannot be written.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 0x04, 0x01, 0x00})), Bytes{0x15});
}

TEST(SimFrames, BlockLimitFollowsLoggerType) {
    FakeTime clock;
    for (int type : {1, 3}) {
        LoggerDevice dev(Type(type), clock.Source());
        EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0xFF, 0x21, 0, 32})), 32)) << type;
        EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x21, 0, 33})), Bytes{0x15}) << type;
        Bytes write{0xFF, 0x9A, 0, 33};
        write.insert(write.end(), 33, 0x41);
        EXPECT_EQ(dev.HandleFrame(Frame(write)), Bytes{0x15}) << type;
    }
    LoggerDevice dev(Type(4), clock.Source());
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0xFF, 0x21, 0, 128})), 128));
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x21, 0, 129})), Bytes{0x15});
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0xFF, 0x21, 128, 32})), 32));  // bytes 128..159
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x21, 129, 32})), Bytes{0x15});
    EXPECT_TRUE(ValidReadReply(dev.HandleFrame(Frame({0xFF, 0x23, 0, 1, 0, 0, 128})), 128));

    // Input information: 48 bytes from type 3 on, 32 below.
    LoggerDevice t2(Type(2), clock.Source());
    EXPECT_TRUE(ValidReadReply(t2.HandleFrame(Frame({0xFF, 0x18, 0, 32})), 32));
    EXPECT_EQ(t2.HandleFrame(Frame({0xFF, 0x18, 32, 16})), Bytes{0x15});
    LoggerDevice t3(Type(3), clock.Source());
    EXPECT_TRUE(ValidReadReply(t3.HandleFrame(Frame({0xFF, 0x18, 32, 16})), 16));
}

TEST(SimFrames, IdentificationAndDefaults) {
    FakeTime clock;
    SimOptions o = Type(3);
    o.VersionMinor = 2;
    o.SerialNumber = 1234567;
    o.ArchiveSize = 8192;
    LoggerDevice dev(o, clock.Source());
    Bytes id = Data(dev.HandleFrame(Frame({0xFF, 0x00, 0, 32})));
    Bytes tail = Data(dev.HandleFrame(Frame({0xFF, 0x00, 32, 6})));
    id.insert(id.end(), tail.begin(), tail.end());
    ASSERT_EQ(id.size(), 38u);
    EXPECT_STREQ(reinterpret_cast<const char*>(id.data()), "KOLVEX SIM");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data() + 16)), "QUENDAL 730");
    EXPECT_EQ(id[32], 3);
    EXPECT_EQ(id[33], 2);
    EXPECT_EQ(id[34] | (id[35] << 8) | (id[36] << 16) | (id[37] << 24), 1234567);

    const Bytes info = dev.InputInfoBytes();
    EXPECT_EQ(info[0], 0x17);
    EXPECT_EQ(info[1], 0x01);
    EXPECT_EQ(info[2] & 0x01, 0);      // temperature: fixed by the logger
    EXPECT_EQ(info[3] & 0x05, 0x05);   // current: user range, unipolar
    EXPECT_EQ(info[8] | (info[9] << 8) | (info[10] << 16) | (info[11] << 24), 8192);
    EXPECT_NEAR(F(info, 20), 400.0 / 65536, 1e-7);
    EXPECT_NEAR(F(info, 24), 25.0 / 65536, 1e-7);

    const Bytes pb = dev.ParameterBlockBytes();
    EXPECT_EQ(pb[1], 0x10);  // 10 s, BCD
    EXPECT_EQ(pb[2], 2);
    EXPECT_EQ(pb[3], 0x07);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pb.data() + 32)), "Teplota");
    EXPECT_EQ(pb[44], 0xB0);
    EXPECT_EQ(pb[45], 0x43);
    EXPECT_FLOAT_EQ(F(pb, 64), 50.0f);
    EXPECT_FLOAT_EQ(F(pb, 68), 64255.0f / 200);
    EXPECT_EQ(pb[72] | (pb[73] << 8), 16384);  // 100 ohm = 0 degC
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pb.data() + 80)), "Proud");
    EXPECT_FLOAT_EQ(F(pb, 96), 4.0f);
    EXPECT_FLOAT_EQ(F(pb, 100), 20.0f);
    EXPECT_FLOAT_EQ(F(pb, 108), 100.0f);
    EXPECT_FLOAT_EQ(F(pb, 112), -4.0f);
    EXPECT_FLOAT_EQ(F(pb, 116), 64255.0f / 16);

    // The fixed section of input 1 matches the factory description.
    Bytes sec = Data(dev.HandleFrame(Frame({0xFF, 0x1B, 12, 28})));
    EXPECT_TRUE(std::equal(sec.begin(), sec.end(), pb.begin() + 44));
}

TEST(SimFrames, FloatLayoutOnTypeFourOnly) {
    FakeTime clock;
    SimOptions o = Type(4);
    o.InputType[1] = 63;  // humidity with a table
    LoggerDevice dev(o, clock.Source());
    // RecordOffset of input 1 is 50.0: IEEE 00 00 48 42, logger layout 00 00 48 84.
    Bytes r = Data(dev.HandleFrame(Frame({0xFF, 0x21, 64, 4})));
    EXPECT_EQ(r, Hex("00 00 48 84"));
    // Same field in the fixed section.
    EXPECT_EQ(Data(dev.HandleFrame(Frame({0xFF, 0x1B, 32, 4}))), Hex("00 00 48 84"));
    // The test accessor gives IEEE.
    EXPECT_FLOAT_EQ(F(dev.ParameterBlockBytes(), 64), 50.0f);
    // Alarm raw values are plain integers.
    EXPECT_EQ(Data(dev.HandleFrame(Frame({0xFF, 0x21, 72, 2}))), Hex("00 40"));
    // Humidity table: ascending in both columns after conversion back.
    Bytes table = Data(dev.HandleFrame(Frame({0xFF, 0x29, 0, 128})));
    ASSERT_EQ(table.size(), 128u);
    kolvex::sim::LoggerToIeee(table.data(), 32);
    for (int i = 1; i < 16; ++i) {
        EXPECT_GT(F(table, 8 * i), F(table, 8 * i - 8));
        EXPECT_GT(F(table, 8 * i + 4), F(table, 8 * i - 4));
    }
    EXPECT_FLOAT_EQ(F(table, 4), 0.0f);
    EXPECT_FLOAT_EQ(F(table, 124), 100.0f);

    // A parameter write in the logger layout lands as IEEE 1.0 / -1.0.
    Bytes w{0xFF, 0x9A, 44, 8};  // block offsets 48..55 (SignalLow, SignalHigh of input 1)
    Bytes payload = Hex("00 00 00 7F 00 00 80 7F");
    w.insert(w.end(), payload.begin(), payload.end());
    EXPECT_EQ(dev.HandleFrame(Frame(w)), Bytes{0x06});
    const Bytes pb = dev.ParameterBlockBytes();
    EXPECT_FLOAT_EQ(F(pb, 48), 1.0f);
    EXPECT_FLOAT_EQ(F(pb, 52), -1.0f);
    EXPECT_EQ(Data(dev.HandleFrame(Frame({0xFF, 0x21, 48, 8}))), payload);
    // Input info factors travel in the logger layout too.
    Bytes info = Data(dev.HandleFrame(Frame({0xFF, 0x18, 20, 4})));
    kolvex::sim::LoggerToIeee(info.data(), 1);
    EXPECT_NEAR(F(info, 0), 400.0 / 65536, 1e-7);

    // Type 3 sends IEEE.
    LoggerDevice t3(Type(3), clock.Source());
    EXPECT_EQ(Data(t3.HandleFrame(Frame({0xFF, 0x21, 64, 4}))), Hex("00 00 48 42"));
}

TEST(SimFrames, ClockRunsAndCanBeSet) {
    FakeTime clock;
    LoggerDevice dev(Type(4), clock.Source());
    // 2024-02-29 23:59:58, a Thursday.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x88, 58, 59, 23, 4, 29, 2, 24, 0})), Bytes{0x06});
    EXPECT_EQ(dev.ClockText(), "2024-02-29 23:59:58");
    clock.Advance(3);
    EXPECT_EQ(dev.ClockText(), "2024-03-01 00:00:01");
    Bytes c = Data(dev.HandleFrame(Hex("5A 04 FF 08 65")));
    EXPECT_EQ(c, (Bytes{1, 0, 0, 5, 1, 3, 24, 0}));  // Friday
    // Impossible dates are refused and leave the clock alone.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x88, 0, 0, 0, 0, 29, 2, 23, 0})), Bytes{0x15});
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x88, 60, 0, 0, 0, 1, 1, 23, 0})), Bytes{0x15});
    EXPECT_EQ(dev.ClockText(), "2024-03-01 00:00:01");
}

TEST(SimFrames, PointerAndDiagnosticWrites) {
    FakeTime clock;
    SimOptions o = Type(4);
    o.Samples = 10;
    LoggerDevice dev(o, clock.Source());
    Bytes p = Data(dev.HandleFrame(Frame({0xFF, 0x09, 0, 9})));
    ASSERT_EQ(p.size(), 9u);
    EXPECT_EQ(p[0] | (p[1] << 8), dev.ArchiveRead());
    EXPECT_EQ(p[4] | (p[5] << 8), dev.ArchiveWrite());
    EXPECT_EQ(dev.ArchiveWrite(), 8 + 10 * 4);

    // Emptying: the write pointer becomes the read pointer.
    Bytes w{0xFF, 0x89, 0, 4};
    w.insert(w.end(), p.begin() + 4, p.begin() + 8);
    EXPECT_EQ(dev.HandleFrame(Frame(w)), Bytes{0x06});
    EXPECT_EQ(dev.ArchiveRead(), dev.ArchiveWrite());
    // Pointers are kept inside the ring.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 0, 4, 0x10, 0x80, 0x01, 0x00})), Bytes{0x06});
    EXPECT_EQ(dev.ArchiveRead(), 0x0010);

    dev.SetDiagnosticBytes({0x11, 0x33, 0x21, 30, 28});
    EXPECT_EQ(Data(dev.HandleFrame(Frame({0xFF, 0x09, 9, 5}))), (Bytes{0x11, 0x33, 0x21, 30, 28}));
    Bytes clear{0xFF, 0x89, 9, 17, 0, 0, 0};
    clear.insert(clear.end(), 14, 0xFF);
    EXPECT_EQ(dev.HandleFrame(Frame(clear)), Bytes{0x06});
    Bytes d = dev.DiagnosticBytes();
    ASSERT_EQ(d.size(), 17u);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[2], 0);
    EXPECT_EQ(d[3], 0xFF);
    EXPECT_EQ(d[16], 0xFF);
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 20, 7, 1, 2, 3, 4, 5, 6, 7})), Bytes{0x15});
}
