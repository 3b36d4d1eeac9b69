// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "base/Errors.h"
#include "logger/Conversion.h"

using namespace kolvex;

namespace {

LoggerImage TemperatureImage() {
    LoggerImage img;
    img.LoggerType = 4;
    img.InputInfo.InputType[0] = 0x15;  // external Pt100
    img.InputInfo.CalibrationFactor[0] = 0.005f;
    img.Parameters.Input[0].RecordOffset = 50.0f;
    img.Parameters.Input[0].RecordScale = static_cast<float>(64255.0 / 200.0);
    return img;
}

// 4..20 mA mapped onto 0..10, record limits 4..20 mA, converter 0..20 mA.
LoggerImage CurrentImage() {
    LoggerImage img;
    img.LoggerType = 4;
    img.InputInfo.InputType[1] = 0x01;
    img.InputInfo.InputCaps[1] = kCapUnipolar;
    img.InputInfo.CalibrationFactor[1] = 20.0f / 65536.0f;
    InputParameters& p = img.Parameters.Input[1];
    p.SignalLow = 4;
    p.SignalHigh = 20;
    p.RangeLow = 0;
    p.RangeHigh = 10;
    p.RecordOffset = -4;
    p.RecordScale = static_cast<float>(64255.0 / 16.0);
    return img;
}

InputTable LinearTable(float (*y)(float)) {
    InputTable t;
    for (int i = 0; i < 16; ++i) {
        t.X[i] = static_cast<float>(i);
        t.Y[i] = y(static_cast<float>(i));
    }
    return t;
}

}  // namespace

TEST(Rounding, HalfToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(1.5), 2.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
    EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
    EXPECT_EQ(RoundHalfEven(2.5001), 3.0);
    EXPECT_EQ(RoundHalfEven(-0.7), -1.0);
    EXPECT_EQ(RoundHalfEven(65535.5), 65536.0);
}

TEST(InputTypes, Names) {
    EXPECT_EQ(InputTypeName(0x00, Lang::Czech), "Nepoužito");
    EXPECT_EQ(InputTypeName(0x00, Lang::English), "Unused");
    EXPECT_EQ(InputTypeName(0x01, Lang::Czech), "Proud 0-20 mA");
    EXPECT_EQ(InputTypeName(0x01, Lang::English), "Current 4-20 mA");
    EXPECT_EQ(InputTypeName(0x09, Lang::Czech), "Napětí");
    EXPECT_EQ(InputTypeName(0x15, Lang::Czech), "Teplota externí Pt100");
    EXPECT_EQ(InputTypeName(0x57, Lang::English), "Temperature internal Pt200");
    EXPECT_EQ(InputTypeName(0xD5, Lang::Czech), "Teplota externí Pt1000");
    EXPECT_EQ(InputTypeName(0xB7, Lang::Czech), "Teplota interní Ni500");
    EXPECT_EQ(InputTypeName(0xF5, Lang::English), "Temperature external Ni1000");
    EXPECT_EQ(InputTypeName(0x2F, Lang::Czech), "Teplota Pt10000");
    EXPECT_EQ(InputTypeName(0x3F, Lang::Czech), "Vlhkost");
    EXPECT_EQ(InputTypeName(0x3F, Lang::English), "Humidity");
    EXPECT_EQ(InputTypeName(0x05, Lang::Czech), "Nezmámý vstup nebo chyba");
    EXPECT_EQ(InputTypeName(0xFF, Lang::English), "Unknown input or error");
    // All 21 codes in use have their own name.
    const std::uint8_t used[] = {0x00, 0x01, 0x09, 0x15, 0x17, 0x55, 0x57, 0x95, 0x97, 0xD5, 0xD7,
                                 0x35, 0x37, 0x75, 0x77, 0xB5, 0xB7, 0xF5, 0xF7, 0x2F, 0x3F};
    for (auto c : used) EXPECT_NE(InputTypeName(c, Lang::English), "Unknown input or error");
}

TEST(ConvertRawValue, RecordScaling) {
    LoggerImage t = TemperatureImage();
    const auto [lo, hi] = RecordRange(t, 0);
    EXPECT_FLOAT_EQ(lo, -50.0f);
    EXPECT_FLOAT_EQ(hi, 150.0f);
    EXPECT_NEAR(ConvertRawValue(t, 0, 32127.5), 50.0f, 1e-4);
    // Nickel, Pt10000 and humidity use the same scaling.
    for (std::uint8_t code : {0x35, 0xF7, 0x2F, 0x3F}) {
        t.InputInfo.InputType[0] = code;
        EXPECT_FLOAT_EQ(ConvertRawValue(t, 0, 64255), 150.0f);
    }

    const LoggerImage c = CurrentImage();
    EXPECT_NEAR(ConvertRawValue(c, 1, 0), 0.0f, 1e-5);
    EXPECT_NEAR(ConvertRawValue(c, 1, 64255), 10.0f, 1e-5);
    EXPECT_NEAR(ConvertRawValue(c, 1, 32127.5), 5.0f, 1e-5);

    // Voltage, and a record range wider than the signal range.
    LoggerImage v = CurrentImage();
    v.InputInfo.InputType[1] = 0x09;
    v.Parameters.Input[1].RecordOffset = 0;
    v.Parameters.Input[1].RecordScale = static_cast<float>(64255.0 / 20.0);
    EXPECT_NEAR(ConvertRawValue(v, 1, 0), -2.5f, 1e-5);
    EXPECT_NEAR(ConvertRawValue(v, 1, 64255), 10.0f, 1e-5);
}

TEST(ConvertRawValue, FailuresGiveZeroOrMinusOne) {
    LoggerImage t = TemperatureImage();
    t.Parameters.Input[0].RecordScale = 0;
    EXPECT_EQ(ConvertRawValue(t, 0, 100), 0.0f);
    EXPECT_EQ(ConvertRawValue(t, 0, 0), 0.0f);  // 0 / 0

    LoggerImage c = CurrentImage();
    c.Parameters.Input[1].SignalHigh = c.Parameters.Input[1].SignalLow;
    EXPECT_EQ(ConvertRawValue(c, 1, 1000), 0.0f);
    c = CurrentImage();
    c.Parameters.Input[1].RecordScale = 0;
    EXPECT_EQ(ConvertRawValue(c, 1, 0), 0.0f);

    // Overflow of the single-precision result.
    t = TemperatureImage();
    t.Parameters.Input[0].RecordScale = 1e-40f;
    EXPECT_EQ(ConvertRawValue(t, 0, 64255), 0.0f);
    t.Parameters.Input[0].RecordScale = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(ConvertRawValue(t, 0, 64255), 0.0f);

    // Codes outside the conversion rules.
    t = TemperatureImage();
    t.InputInfo.InputType[0] = 0x00;
    EXPECT_EQ(ConvertRawValue(t, 0, 1000), -1.0f);
    t.InputInfo.InputType[0] = 0x0D;  // AND 0x3D = 13: no rule
    EXPECT_EQ(ConvertRawValue(t, 0, 1000), -1.0f);
    EXPECT_EQ(ConvertRawValue(t, 2, 1000), -1.0f);  // no such input
}

TEST(FormatInputValue, DecimalsFollowSpan) {
    EXPECT_EQ(DecimalsForSpan(150), 1);
    EXPECT_EQ(DecimalsForSpan(64.255), 2);
    EXPECT_EQ(DecimalsForSpan(1000), 1);  // log10 - 0.5 = 2.5 rounds to 2
    EXPECT_EQ(DecimalsForSpan(1001), 0);
    EXPECT_EQ(DecimalsForSpan(10000), 0);
    EXPECT_EQ(DecimalsForSpan(1e6), 0);
    EXPECT_EQ(DecimalsForSpan(0.05), 5);
    EXPECT_EQ(DecimalsForSpan(10), 3);   // 0.5 rounds to 0
    EXPECT_THROW(DecimalsForSpan(0), EMath);
    EXPECT_THROW(DecimalsForSpan(-5), EMath);
    EXPECT_THROW(DecimalsForSpan(std::numeric_limits<double>::quiet_NaN()), EMath);
    EXPECT_THROW(DecimalsForSpan(std::numeric_limits<double>::infinity()), EMath);
}

TEST(FormatInputValue, Text) {
    const LoggerImage t = TemperatureImage();  // span 200: one decimal
    // 32127 loses its six lowest bits (32064) before conversion.
    EXPECT_EQ(FormatInputValue(t, 0, 32127), "49.8");
    EXPECT_EQ(FormatInputValue(t, 0, 32127, ','), "49,8");
    EXPECT_EQ(FormatInputValue(t, 0, 0), "-50.0");
    EXPECT_EQ(FormatInputValue(t, 0, 63), "-50.0");

    const LoggerImage c = CurrentImage();  // span 10: three decimals
    EXPECT_EQ(FormatInputValue(c, 1, 64255), "9.990");
    EXPECT_EQ(FormatInputValue(c, 1, 0), "0.000");

    LoggerImage wide = TemperatureImage();  // span 10000: no decimals
    wide.Parameters.Input[0].RecordOffset = 0;
    wide.Parameters.Input[0].RecordScale = static_cast<float>(64255.0 / 10000.0);
    EXPECT_EQ(FormatInputValue(wide, 0, 32128), "5000");

    // Zero span (an unknown code converts both ends to -1), negative span.
    LoggerImage u = TemperatureImage();
    u.InputInfo.InputType[0] = 0x00;
    EXPECT_THROW(FormatInputValue(u, 0, 100), EMath);
    LoggerImage n = TemperatureImage();
    n.Parameters.Input[0].RecordScale = -321.275f;
    EXPECT_THROW(FormatInputValue(n, 0, 100), EMath);
    EXPECT_THROW(FormatInputValue(t, 0, -1), EMath);
}

TEST(ResistanceThermometer, Characteristic) {
    EXPECT_NEAR(ResistanceFromTemperature(0, 0), 100.0f, 1e-5);
    EXPECT_NEAR(ResistanceFromTemperature(100, 0), 138.5055f, 1e-4);
    EXPECT_NEAR(ResistanceFromTemperature(-200, 0), 18.52008f, 1e-4);
    EXPECT_NEAR(ResistanceFromTemperature(100, 3), 1385.055f, 1e-3);
    EXPECT_NEAR(ResistanceFromTemperature(100, 1), 277.011f, 1e-3);
    EXPECT_NEAR(ResistanceFromTemperature(100, 2), 692.5275f, 1e-3);

    EXPECT_NEAR(TemperatureFromResistance(138.5055, 0), 100.0f, 1e-3);
    EXPECT_NEAR(TemperatureFromResistance(18.52008, 0), -200.0f, 1e-3);
    EXPECT_NEAR(TemperatureFromResistance(80.306, 0), -50.0f, 1e-3);
    EXPECT_NEAR(TemperatureFromResistance(1000, 3), 0.0f, 1e-3);
    EXPECT_NEAR(TemperatureFromResistance(100, 0), 0.0f, 1e-4);
    EXPECT_FLOAT_EQ(TemperatureFromResistance(9000, 3), 3236.8554f);  // m = 900 > 760
    EXPECT_NEAR(TemperatureFromResistance(760, 0), 3236.8554f, 0.01);  // continuous at the cap

    // Both directions agree across the whole range of the quartic and the root.
    for (double t = -240; t <= 850; t += 10) {
        for (int idx = 0; idx < 4; ++idx) {
            const float r = ResistanceFromTemperature(t, idx);
            EXPECT_NEAR(TemperatureFromResistance(r, idx), t, 2e-3) << t << " " << idx;
        }
    }
    EXPECT_THROW(TemperatureFromResistance(std::numeric_limits<double>::quiet_NaN(), 0), EMath);
}

TEST(ResistanceThermometer, RawCounts) {
    LoggerImage img = TemperatureImage();  // 0.005 ohm per count, no trim
    EXPECT_EQ(RawFromTemperature(img, 0, 0), 20000);
    EXPECT_NEAR(TemperatureFromRaw(img, 0, 20000), 0.0f, 1e-3);
    EXPECT_EQ(RawFromTemperature(img, 0, 1000), 65535);  // above the converter's reach
    EXPECT_EQ(RawFromTemperature(img, 0, -300), 0);      // below it
    img.InputInfo.CalibrationTrim[0] = 655;
    for (double t : {-50.0, 0.0, 25.0, 150.0, 400.0}) {
        const auto k = RawFromTemperature(img, 0, t);
        EXPECT_NEAR(TemperatureFromRaw(img, 0, k), t, 0.02) << t;
    }
    // Pt1000 (multiplier index 3) with ten times the factor gives the same counts.
    img.InputInfo.CalibrationTrim[0] = 0;
    img.InputInfo.InputType[0] = 0xD5;
    img.InputInfo.CalibrationFactor[0] = 0.05f;
    EXPECT_EQ(RawFromTemperature(img, 0, 0), 20000);
    EXPECT_NEAR(TemperatureFromRaw(img, 0, 20000), 0.0f, 1e-3);
    img.InputInfo.CalibrationFactor[0] = 0;
    EXPECT_THROW(RawFromTemperature(img, 0, 20), EMath);
}

TEST(SignalConverter, RangeAndCurrentAlarms) {
    LoggerImage img = CurrentImage();
    img.InputInfo.CalibrationFactor[1] = 0.001f;
    auto r = SignalConverterRange(img, 1);  // unipolar by capability bit 2
    EXPECT_NEAR(r.first, 0.0f, 1e-6);
    EXPECT_NEAR(r.second, 65.536f, 1e-4);
    img.InputInfo.InputCaps[1] = 0;  // bipolar on logger type 4
    r = SignalConverterRange(img, 1);
    EXPECT_NEAR(r.first, -32.768f, 1e-4);
    EXPECT_NEAR(r.second, 32.768f, 1e-4);
    img.InputInfo.CalibrationTrim[1] = 100;
    r = SignalConverterRange(img, 1);
    EXPECT_NEAR(r.first, -32.668f, 1e-4);
    EXPECT_NEAR(r.second, 32.868f, 1e-4);
    img.LoggerType = 0x0301;  // low byte 1: always unipolar
    r = SignalConverterRange(img, 1);
    EXPECT_NEAR(r.first, 0.1f, 1e-5);
    EXPECT_NEAR(r.second, 65.636f, 1e-4);
    img.InputInfo.CalibrationFactor[1] = FLT_MAX;  // overflow
    r = SignalConverterRange(img, 1);
    EXPECT_EQ(r.first, 0.0f);
    EXPECT_EQ(r.second, 0.0f);

    // Converter 0..20 mA: the range 4..20 mA -> 0..10 gives -2.5..10 at its ends.
    const LoggerImage c = CurrentImage();
    EXPECT_EQ(CurrentAlarmToRaw(c, 1, 3.75), 32768);
    EXPECT_NEAR(CurrentAlarmFromRaw(c, 1, 32768), 3.75f, 1e-5);
    EXPECT_NEAR(CurrentAlarmFromRaw(c, 1, 0), -2.5f, 1e-5);
    EXPECT_EQ(CurrentAlarmToRaw(c, 1, 10.0), 65535);   // the upper end itself
    EXPECT_EQ(CurrentAlarmToRaw(c, 1, 50.0), 65535);   // above the converter
    EXPECT_EQ(CurrentAlarmToRaw(c, 1, -10.0), 0);      // below it
    for (std::uint16_t raw : {1, 1000, 40000, 65535}) {
        EXPECT_EQ(CurrentAlarmToRaw(c, 1, CurrentAlarmFromRaw(c, 1, raw)), raw);
    }
    LoggerImage bad = CurrentImage();
    bad.Parameters.Input[1].SignalHigh = 4;
    EXPECT_THROW(CurrentAlarmToRaw(bad, 1, 1.0), EMath);
}

TEST(TableInput, LookupBothWays) {
    const InputTable lin = LinearTable([](float x) { return 10 * x; });
    EXPECT_FLOAT_EQ(TableLookup(lin, 2.5), 25.0f);
    EXPECT_FLOAT_EQ(TableLookup(lin, 1.5), 15.0f);
    EXPECT_FLOAT_EQ(TableLookup(lin, 0), 0.0f);
    EXPECT_FLOAT_EQ(TableLookup(lin, 15), 150.0f);
    EXPECT_FLOAT_EQ(TableLookup(lin, 20), 200.0f);   // extrapolated above
    EXPECT_FLOAT_EQ(TableLookup(lin, -1), -10.0f);   // and below
    EXPECT_FLOAT_EQ(TableLookupInverse(lin, 25), 2.5f);
    EXPECT_FLOAT_EQ(TableLookupInverse(lin, 137), 13.7f);

    // The search lands on segment (2, 3) for 1.5, where y = x^2 extrapolates.
    const InputTable sq = LinearTable([](float x) { return x * x; });
    EXPECT_FLOAT_EQ(TableLookup(sq, 1.5), 1.5f);
    EXPECT_FLOAT_EQ(TableLookup(sq, 2.5), 6.5f);
    EXPECT_FLOAT_EQ(TableLookup(sq, 7.5), 55.5f);  // segment (8, 9), not (7, 8)
    EXPECT_FLOAT_EQ(TableLookupInverse(sq, 6.5), 2.5f);

    // The fraction is rounded to single precision before it is used:
    // -1e9 + 3e9 * float(1/3) is about 29.8, not 0.
    InputTable cancel = LinearTable([](float x) { return 3 * x; });
    for (int i = 0; i < 16; ++i) cancel.X[i] = 3.0f * static_cast<float>(i);
    cancel.Y[0] = -1e9f;
    cancel.Y[1] = 2e9f;
    EXPECT_NEAR(TableLookup(cancel, 1.0), 29.8023f, 1e-3);

    // Equal neighbouring keys.
    InputTable flat;
    EXPECT_THROW(TableLookup(flat, 0), EMath);
    EXPECT_THROW(TableLookupInverse(flat, 1), EMath);
}

TEST(TableInput, AlarmRaw) {
    InputTable t;
    for (int i = 0; i < 16; ++i) {
        t.X[i] = 1000.0f * static_cast<float>(i + 1);
        t.Y[i] = 10.0f * static_cast<float>(i + 1);
    }
    EXPECT_EQ(TableAlarmToRawUnchecked(t, 50), 200.0);  // x = 5000
    EXPECT_FLOAT_EQ(TableAlarmFromRaw(t, 200), 50.0f);
    EXPECT_FLOAT_EQ(TableAlarmFromRaw(t, 0), 10000.0f);  // raw 0 taken as 1
    // A value whose abscissa is below 1000000/65535 gives a raw out of range.
    EXPECT_GT(TableAlarmToRawUnchecked(t, 0.1), 65535.0);
    InputTable zero = t;
    for (int i = 0; i < 16; ++i) zero.X[i] = static_cast<float>(i);  // x = 0 at y = 10
    EXPECT_THROW(TableAlarmToRawUnchecked(zero, 10), EMath);
}

TEST(Units, TemperatureConversions) {
    EXPECT_FLOAT_EQ(CelsiusToKelvin(0), 273.16f);
    EXPECT_NEAR(KelvinToCelsius(273.16), 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(CelsiusToFahrenheit(100), 212.0f);
    EXPECT_FLOAT_EQ(CelsiusToFahrenheit(-40), -40.0f);
    EXPECT_FLOAT_EQ(FahrenheitToCelsius(212), 100.0f);
    EXPECT_FLOAT_EQ(FahrenheitToCelsius(32), 0.0f);
}

TEST(IntPower, Exponents) {
    EXPECT_EQ(IntPower(2, 10), 1024.0);
    EXPECT_EQ(IntPower(2, -2), 0.25);
    EXPECT_EQ(IntPower(5, 0), 1.0);
    EXPECT_EQ(IntPower(-2, 3), -8.0);
    EXPECT_EQ(IntPower(-2, -3), -0.125);
    EXPECT_EQ(IntPower(10, -400), 0.0);
    EXPECT_EQ(IntPower(-1e200, 3), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(IntPower(-1e200, 4), std::numeric_limits<double>::infinity());
    EXPECT_EQ(IntPower(0, -1), std::numeric_limits<double>::infinity());
}
