// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "logger/Records.h"

using namespace kolvex;

namespace {
std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n) {
    std::uniform_int_distribution<int> d(0, 255);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(d(rng));
    return v;
}
}  // namespace

TEST(LittleEndian, FieldsUseLowByteFirst) {
    std::uint8_t b[4] = {};
    PutU16(b, 0x1234);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x12);
    EXPECT_EQ(GetU16(b), 0x1234);
    PutI16(b, -2);
    EXPECT_EQ(b[0], 0xFE);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(GetI16(b), -2);
    PutU32(b, 0xA1B2C3D4u);
    EXPECT_EQ(b[0], 0xD4);
    EXPECT_EQ(b[3], 0xA1);
    EXPECT_EQ(GetU32(b), 0xA1B2C3D4u);
    PutI32(b, -100000);
    EXPECT_EQ(GetI32(b), -100000);
    PutF32(b, 1.0f);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(b[2], 0x80);
    EXPECT_EQ(b[3], 0x3F);
    // A signalling NaN keeps its exact bits.
    const std::uint8_t snan[4] = {0x01, 0x00, 0x80, 0x7F};
    PutF32(b, GetF32(snan));
    EXPECT_EQ(std::memcmp(b, snan, 4), 0);
}

TEST(LoggerFloatLayout, KnownValuesAndRoundTrip) {
    struct Case {
        std::uint8_t ieee[4];
        std::uint8_t logger[4];
    } cases[] = {
        {{0x00, 0x00, 0x80, 0x3F}, {0x00, 0x00, 0x00, 0x7F}},  // 1.0
        {{0x00, 0x00, 0x80, 0xBF}, {0x00, 0x00, 0x80, 0x7F}},  // -1.0
        {{0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}},  // 0.0
        {{0x00, 0x00, 0x00, 0x40}, {0x00, 0x00, 0x00, 0x80}},  // 2.0
        {{0x00, 0x00, 0x40, 0xC0}, {0x00, 0x00, 0xC0, 0x80}},  // -3.0
    };
    for (const auto& c : cases) {
        std::uint8_t b[4];
        std::memcpy(b, c.ieee, 4);
        IeeeToLoggerFloat(b, 1);
        EXPECT_EQ(std::memcmp(b, c.logger, 4), 0);
        LoggerFloatToIeee(b, 1);
        EXPECT_EQ(std::memcmp(b, c.ieee, 4), 0);
    }

    // Several floats at once, and every tried bit pattern survives both ways.
    std::mt19937 rng(12345);
    std::vector<std::uint8_t> buf = RandomBytes(rng, 4 * 4096);
    // Include the corner patterns as well.
    const std::uint32_t corners[] = {0x00000000u, 0xFFFFFFFFu, 0x80000000u, 0x7F800000u,
                                     0xFF800000u, 0x7FC00000u, 0x00800000u, 0x00000001u};
    for (std::size_t i = 0; i < std::size(corners); ++i) PutU32(buf.data() + 4 * i, corners[i]);
    const auto original = buf;
    IeeeToLoggerFloat(buf.data(), buf.size() / 4);
    LoggerFloatToIeee(buf.data(), buf.size() / 4);
    EXPECT_EQ(buf, original);
    LoggerFloatToIeee(buf.data(), buf.size() / 4);
    IeeeToLoggerFloat(buf.data(), buf.size() / 4);
    EXPECT_EQ(buf, original);

    // The count limits the conversion: the next float is untouched.
    std::uint8_t two[8] = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F};
    IeeeToLoggerFloat(two, 1);
    EXPECT_EQ(two[3], 0x7F);
    EXPECT_EQ(two[7], 0x3F);
}

TEST(FixedText, ReadWriteAndCut) {
    ParameterBlock pb;
    pb.SetLogger("ABCDEFGHIJKLMNOP");  // exactly 16 characters
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(pb.LoggerName[i], 'A' + i);
    EXPECT_EQ(pb.Logger(), "ABCDEFGHIJKLMNOP");
    pb.SetFile("12345678");
    EXPECT_EQ(pb.File(), "12345678");
    // Encoded neighbours: FileName at 8 is followed directly by LoggerName.
    const auto bytes = pb.Bytes();
    EXPECT_EQ(bytes[15], '8');
    EXPECT_EQ(bytes[16], 'A');
    EXPECT_EQ(bytes[31], 'P');

    pb.SetFile("toolongname");
    EXPECT_EQ(pb.File(), "toolongn");
    pb.SetFile("ab");
    EXPECT_EQ(pb.FileName[1], 'b');
    for (std::size_t i = 2; i < 8; ++i) EXPECT_EQ(pb.FileName[i], 0);

    // A field starting with NUL is empty, whatever follows.
    std::uint8_t f[6] = {0, 'x', 'y', 'z', 0, 0};
    EXPECT_EQ(ReadFixedText(f, 6), "");
    // Reading stops at the length given even without a terminator.
    std::uint8_t g[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    EXPECT_EQ(ReadFixedText(g, 4), "abcd");
    std::uint8_t h[6] = {'a', 'b', 0, 'd', 'e', 'f'};
    EXPECT_EQ(ReadFixedText(h, 6), "ab");

    // Unit "°C" is stored in code page 1250 as B0 43.
    InputParameters ip;
    ip.SetUnit("°C");
    EXPECT_EQ(ip.UnitText[0], 0xB0);
    EXPECT_EQ(ip.UnitText[1], 0x43);
    EXPECT_EQ(ip.UnitText[2], 0x00);
    EXPECT_EQ(ip.Unit(), "°C");

    // Czech text is cut at whole characters of its one-byte form.
    ip.SetName("Teplota čidla ř");  // 15 characters
    EXPECT_EQ(ip.Name(), "Teplota čidl");
    ip.SetName("žluťoučký");
    EXPECT_EQ(ip.Name(), "žluťoučký");
}

TEST(Bcd, BothDirections) {
    EXPECT_EQ(BcdToByte(0x10), 10);
    EXPECT_EQ(BcdToByte(0x24), 24);
    EXPECT_EQ(BcdToByte(0x99), 99);
    EXPECT_EQ(BcdToByte(0x00), 0);
    for (int v = 0; v < 100; ++v) EXPECT_EQ(BcdToByte(ByteToBcd(static_cast<std::uint8_t>(v))), v);
    EXPECT_EQ(ByteToBcd(30), 0x30);
}

TEST(Records, FieldOffsets) {
    std::uint8_t b[kParameterBlockSize] = {};
    b[1] = 0x10;
    b[2] = 0x02;
    b[3] = 0x13;
    PutF32(b + 48, 4.0f);      // input 1 SignalLow
    PutF32(b + 68, 321.5f);    // input 1 RecordScale
    PutU16(b + 72, 0x1234);    // input 1 AlarmLowRaw
    PutU16(b + 122, 0xBEEF);   // input 2 AlarmHighRaw
    PutF32(b + 96, -7.25f);    // input 2 SignalLow
    b[92] = 'K';               // input 2 UnitText
    const ParameterBlock pb = ParameterBlock::Decode(b);
    EXPECT_EQ(pb.PeriodValue, 0x10);
    EXPECT_EQ(pb.PeriodUnit, 2);
    EXPECT_EQ(pb.ArchiveFlags, 0x13);
    EXPECT_EQ(pb.Input[0].SignalLow, 4.0f);
    EXPECT_EQ(pb.Input[0].RecordScale, 321.5f);
    EXPECT_EQ(pb.Input[0].AlarmLowRaw, 0x1234);
    EXPECT_EQ(pb.Input[1].AlarmHighRaw, 0xBEEF);
    EXPECT_EQ(pb.Input[1].SignalLow, -7.25f);
    EXPECT_EQ(pb.Input[1].Unit(), "K");

    // AlarmLowRaw 0x1234 travels as 34 12.
    const auto out = pb.Bytes();
    EXPECT_EQ(out[72], 0x34);
    EXPECT_EQ(out[73], 0x12);

    std::uint8_t ib[kInputInfoSize] = {};
    ib[0] = 0x15;
    ib[1] = 0x01;
    ib[3] = 0x45;
    PutU32(ib + 8, 0x20000);
    PutI16(ib + 18, -123);
    PutF32(ib + 24, 0.5f);
    PutF32(ib + 44, 99.0f);
    const InputInfoBlock info = InputInfoBlock::Decode(ib);
    EXPECT_EQ(info.InputType[0], 0x15);
    EXPECT_EQ(info.InputType[1], 0x01);
    EXPECT_EQ(info.InputCaps[1], 0x45);
    EXPECT_EQ(info.ArchiveSize, 0x20000u);
    EXPECT_EQ(info.CalibrationTrim[1], -123);
    EXPECT_EQ(info.CalibrationFactor[1], 0.5f);
    EXPECT_EQ(info.SensorHigh[1], 99.0f);

    std::uint8_t id[kIdentificationSize] = {};
    std::memcpy(id, "QUENDAL", 7);
    std::memcpy(id + 16, "730", 3);
    id[32] = 4;
    id[33] = 2;
    PutU32(id + 34, 730123);
    const IdentificationBlock ident = IdentificationBlock::Decode(id);
    EXPECT_EQ(ident.ManufacturerText(), "QUENDAL");
    EXPECT_EQ(ident.TypeText(), "730");
    EXPECT_EQ(ident.VersionMajor, 4);
    EXPECT_EQ(ident.VersionMinor, 2);
    EXPECT_EQ(ident.SerialNumber, 730123u);

    std::uint8_t tb[kInputTableSize] = {};
    PutF32(tb + 0, 1.0f);   // x[0]
    PutF32(tb + 4, 2.0f);   // y[0]
    PutF32(tb + 120, 3.0f); // x[15]
    PutF32(tb + 124, 4.0f); // y[15]
    const InputTable table = InputTable::Decode(tb);
    EXPECT_EQ(table.X[0], 1.0f);
    EXPECT_EQ(table.Y[0], 2.0f);
    EXPECT_EQ(table.X[15], 3.0f);
    EXPECT_EQ(table.Y[15], 4.0f);

    const std::uint8_t clk[kClockSize] = {59, 30, 23, 6, 31, 12, 99, 0};
    const LoggerClock c = LoggerClock::Decode(clk);
    EXPECT_EQ(c.Seconds, 59);
    EXPECT_EQ(c.Minutes, 30);
    EXPECT_EQ(c.Hours, 23);
    EXPECT_EQ(c.DayOfWeek, 6);
    EXPECT_EQ(c.Day, 31);
    EXPECT_EQ(c.Month, 12);
    EXPECT_EQ(c.Year, 99);

    const std::uint8_t dg[kDiagnosticSize] = {0x11, 0x21, 0x12, 36, 31};
    const DiagnosticState d = DiagnosticState::Decode(dg);
    EXPECT_EQ(d.BatteryFlags, 0x11);
    EXPECT_EQ(d.Alarm1Flags, 0x21);
    EXPECT_EQ(d.Alarm2Flags, 0x12);
    EXPECT_EQ(d.BatteryVoltageNow, 36);
    EXPECT_EQ(d.BatteryVoltageHistory, 31);
}

TEST(Records, ArchivePointersLength) {
    std::uint8_t b[kArchivePointersSize] = {};
    PutI32(b, 0x1000);
    PutI32(b + 4, 0x7FF0);
    b[8] = 0x10;
    const ArchivePointers full = ArchivePointers::Decode(b, 9);
    EXPECT_EQ(full.ArchiveRead, 0x1000);
    EXPECT_EQ(full.ArchiveWrite, 0x7FF0);
    EXPECT_EQ(full.ArchiveStatus, 0x10);
    EXPECT_TRUE(full.Full());
    const ArchivePointers eight = ArchivePointers::Decode(b, 8);
    EXPECT_EQ(eight.ArchiveRead, 0x1000);
    EXPECT_EQ(eight.ArchiveWrite, 0x7FF0);
    EXPECT_EQ(eight.ArchiveStatus, 0);
    EXPECT_FALSE(eight.Full());
    std::uint8_t out[kArchivePointersSize];
    full.Encode(out);
    EXPECT_EQ(std::memcmp(out, b, sizeof b), 0);
}

TEST(Records, RandomBytesRoundTrip) {
    std::mt19937 rng(2004);
    for (int iter = 0; iter < 200; ++iter) {
        {
            const auto in = RandomBytes(rng, kParameterBlockSize);
            const auto out = ParameterBlock::Decode(in.data()).Bytes();
            EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
        }
        {
            const auto in = RandomBytes(rng, kInputInfoSize);
            const auto out = InputInfoBlock::Decode(in.data()).Bytes();
            EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
        }
        {
            const auto in = RandomBytes(rng, kInputTableSize);
            std::vector<std::uint8_t> out(kInputTableSize);
            InputTable::Decode(in.data()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
        {
            const auto in = RandomBytes(rng, kIdentificationSize);
            std::vector<std::uint8_t> out(kIdentificationSize);
            IdentificationBlock::Decode(in.data()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
        {
            const auto in = RandomBytes(rng, kClockSize);
            std::vector<std::uint8_t> out(kClockSize);
            LoggerClock::Decode(in.data()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
        {
            const auto in = RandomBytes(rng, kArchivePointersSize);
            std::vector<std::uint8_t> out(kArchivePointersSize);
            ArchivePointers::Decode(in.data(), in.size()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
        {
            const auto in = RandomBytes(rng, kDiagnosticSize);
            std::vector<std::uint8_t> out(kDiagnosticSize);
            DiagnosticState::Decode(in.data()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
        {
            const auto in = RandomBytes(rng, 184);
            std::vector<std::uint8_t> out(184);
            LoggerImage::Decode(in.data()).Encode(out.data());
            EXPECT_EQ(in, out);
        }
    }
}

TEST(Records, LoggerImageLayout) {
    LoggerImage img;
    img.LoggerType = 0x0204;
    img.SerialNumber = 123456;
    img.Parameters.PeriodValue = 0x15;
    img.Parameters.Input[1].AlarmHighRaw = 0xCAFE;
    img.InputInfo.InputType[0] = 0x2F;
    img.InputInfo.SensorHigh[1] = 2.0f;
    std::vector<std::uint8_t> b(184, 0xEE);
    img.Encode(b.data());
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(b[1], 0x02);
    EXPECT_EQ(GetI32(b.data() + 4), 123456);
    EXPECT_EQ(b[8 + 1], 0x15);
    EXPECT_EQ(GetU16(b.data() + 8 + 122), 0xCAFE);
    EXPECT_EQ(b[136], 0x2F);
    EXPECT_EQ(GetF32(b.data() + 136 + 44), 2.0f);
    EXPECT_EQ(img.TypeByte(), 4);
    const LoggerImage back = LoggerImage::Decode(b.data());
    EXPECT_EQ(back.LoggerType, 0x0204);
    EXPECT_EQ(back.Parameters.Input[1].AlarmHighRaw, 0xCAFE);
}
