// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "link/SimFixture.h"
#include "base/Errors.h"
#include "link/Frames.h"
#include "base/Language.h"
#include "logger/ArchiveParamsModel.h"
#include "logger/Conversion.h"

using namespace kolvex;

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A logger with an internal Pt100 on input 1 and a 4-20 mA current loop on
// input 2 (unipolar converter 0..25 mA), both configurable.
LoggerImage TwoInputImage(std::uint16_t type = 4) {
    LoggerImage im;
    im.LoggerType = type;
    im.InputInfo.InputType[0] = 0x17;
    im.InputInfo.InputType[1] = 0x01;
    im.InputInfo.InputCaps[0] = 0x41;
    im.InputInfo.InputCaps[1] = 0x45;
    im.InputInfo.CalibrationFactor[0] = static_cast<float>(400.0 / 65536.0);
    im.InputInfo.CalibrationFactor[1] = static_cast<float>(25.0 / 65536.0);
    InputParameters& t = im.Parameters.Input[0];
    t.SetName("Teplota");
    t.SetUnit("\xC2\xB0" "C");
    t.RecordOffset = 50;
    t.RecordScale = static_cast<float>(64255.0 / 200.0);
    t.AlarmLowRaw = RawFromTemperature(im, 0, 0.0);
    t.AlarmHighRaw = RawFromTemperature(im, 0, 100.0);
    InputParameters& c = im.Parameters.Input[1];
    c.SetName("Proud");
    c.SetUnit("%");
    c.SignalLow = 4;
    c.SignalHigh = 20;
    c.RangeLow = 0;
    c.RangeHigh = 10;
    c.RecordOffset = -4;
    c.RecordScale = static_cast<float>(64255.0 / 16.0);
    c.AlarmLowRaw = CurrentAlarmToRaw(im, 1, 1.0);
    c.AlarmHighRaw = CurrentAlarmToRaw(im, 1, 9.0);
    im.Parameters.SetLogger("QUENDAL");
    im.Parameters.SetFile("Q1");
    im.Parameters.PeriodValue = 0x10;
    im.Parameters.PeriodUnit = 2;
    im.Parameters.ArchiveFlags = 0x03;
    return im;
}

// x = 100 + 10 i, y = i * 100 / 15: humidity from a frequency-like quantity.
InputTable HumidityTable() {
    InputTable t;
    for (int i = 0; i < 16; ++i) {
        t.X[i] = static_cast<float>(100 + 10 * i);
        t.Y[i] = static_cast<float>(i * 100.0 / 15.0);
    }
    return t;
}

// The entry the dialog would collect from the pages as they were set up.
ArchiveParamsEntry EntryAsShown(LoggerImage& im, const InputTable tables[2]) {
    ArchiveParamsEntry e;
    const ArchiveSettingsView a = ViewArchiveSettings(im);
    e.LoggerName = a.LoggerName;
    e.FileName = a.FileName;
    e.PeriodValueBcd = im.Parameters.PeriodValue;
    e.PeriodUnit = im.Parameters.PeriodUnit;
    e.Record1 = a.Record1Checked;
    e.Record2 = a.Record2Checked;
    e.IncreasedAccuracy = a.IncreasedAccuracy;
    e.Cyclic = a.CyclicChecked;
    for (int n = 0; n < 2; ++n) {
        InputEntry& in = e.Input[n];
        in.Page = PageForInputType(im.InputInfo.InputType[n]);
        in.AlarmChecked = ViewAlarmSwitch(im, n).Checked;
        if (in.Page == InputPage::Temperature) {
            const LimitsPageView v = SetUpTemperaturePage(im, n, tables[n]);
            in.Temperature = {v.Name, v.Unit, v.RecordLow, v.RecordHigh, v.AlarmLow, v.AlarmHigh};
        } else if (in.Page == InputPage::Current) {
            const CurrentPageView v = SetUpCurrentPage(im, n);
            in.Current = {v.Name,        v.Unit,       v.SignalLow, v.SignalHigh, v.RangeLow,
                          v.RangeHigh,   v.RecordLow,  v.RecordHigh, v.AlarmLow,  v.AlarmHigh};
        } else if (in.Page == InputPage::Humidity) {
            const LimitsPageView v = SetUpHumidityPage(im, n, tables[n]);
            in.Humidity = {v.Name, v.RecordLow, v.RecordHigh, v.AlarmLow, v.AlarmHigh};
        }
    }
    return e;
}

// The editor opened on `im`: the block as read (before the page set-ups
// repair the shared copy) and every field as the pages show it.
ArchiveParamsBaseline Opened(LoggerImage& im, const InputTable tables[2]) {
    const ParameterBlock read = im.Parameters;
    return {read, EntryAsShown(im, tables)};
}

}  // namespace

TEST(ArchiveParamsPeriod, SpinnerOverTheTable) {
    // 10 seconds: Down keeps it, Up goes to 15 seconds.
    PeriodSelection p10(0x10, 2);
    EXPECT_EQ(p10.Text(Lang::Czech), "10 sec");
    p10.StepDown();
    EXPECT_EQ(p10.Text(Lang::Czech), "10 sec");
    p10.StepUp();
    EXPECT_EQ(p10.Text(Lang::English), "15 sec");
    EXPECT_EQ(p10.ValueBcd(), 0x15);
    EXPECT_EQ(p10.Unit(), 2);

    // 1 second: shown and kept without a click; either button jumps to 10 s.
    PeriodSelection p1(0x01, 2);
    EXPECT_EQ(p1.Text(Lang::Czech), "1 sec");
    EXPECT_EQ(p1.ValueBcd(), 0x01);
    EXPECT_EQ(p1.Unit(), 2);
    PeriodSelection up1 = p1, down1 = p1;
    up1.StepUp();
    down1.StepDown();
    EXPECT_EQ(up1.Position(), 5);
    EXPECT_EQ(down1.Position(), 5);
    EXPECT_EQ(up1.Text(Lang::English), "10 sec");

    // Off: Up stays, Down gives 24 hours with the table's texts.
    PeriodSelection off(0x00, 0);
    EXPECT_EQ(off.Text(Lang::Czech), "vyp");
    EXPECT_EQ(off.Text(Lang::English), "off");
    off.StepUp();
    EXPECT_EQ(off.Position(), 26);
    EXPECT_EQ(off.Text(Lang::English), "off   ");
    off.StepDown();
    EXPECT_EQ(off.Text(Lang::Czech), "24 hod");
    EXPECT_EQ(off.Text(Lang::English), "24 hou");
    EXPECT_EQ(off.ValueBcd(), 0x24);
    EXPECT_EQ(off.Unit(), 4);

    // 8 hours in English: first the number and "hour", after stepping the table text.
    PeriodSelection p8(0x08, 4);
    EXPECT_EQ(p8.Text(Lang::English), "8 hour");
    p8.StepUp();
    p8.StepDown();
    EXPECT_EQ(p8.Text(Lang::English), " 8 hou");
    EXPECT_EQ(p8.ValueBcd(), 0x08);
}

TEST(ArchiveParamsPeriod, PeriodOutsideTheTableIsHeld) {
    PeriodSelection p7(0x07, 2);  // 7 seconds: no row
    EXPECT_EQ(p7.Position(), -1);
    EXPECT_EQ(p7.Text(Lang::English), "7 sec");
    EXPECT_EQ(p7.ValueBcd(), 0x07);
    EXPECT_EQ(p7.Unit(), 2);
    p7.StepDown();
    EXPECT_EQ(p7.Position(), 5);
    EXPECT_EQ(p7.ValueBcd(), 0x10);

    PeriodSelection odd(0x10, 5);  // unit 5 reads as off but is kept as it is
    EXPECT_EQ(odd.Text(Lang::Czech), "vyp");
    EXPECT_EQ(odd.ValueBcd(), 0x10);
    EXPECT_EQ(odd.Unit(), 5);
    PeriodSelection up = odd;
    up.StepUp();
    EXPECT_EQ(up.Position(), 5);
}

TEST(ArchiveParamsView, SwitchesByLoggerTypeAndCodes) {
    LoggerImage im = TwoInputImage(2);
    im.Parameters.ArchiveFlags = 0x10 | 0x40 | 0x80 | 0x04;
    ArchiveSettingsView a = ViewArchiveSettings(im);
    EXPECT_FALSE(a.CyclicEnabled);
    EXPECT_TRUE(a.CyclicChecked);
    EXPECT_TRUE(a.IncreasedAccuracy);
    EXPECT_TRUE(a.Record1Enabled);
    EXPECT_FALSE(a.Record1Checked);
    // The alarm switches are invisible up to type 2 whatever the capabilities say.
    for (std::uint16_t type : {0, 1, 2}) {
        im.LoggerType = type;
        EXPECT_FALSE(ViewAlarmSwitch(im, 0).Visible);
        EXPECT_FALSE(ViewAlarmSwitch(im, 1).Visible);
        EXPECT_FALSE(ViewAlarmSwitch(im, 0).Checked);
    }
    im.LoggerType = 3;
    EXPECT_TRUE(ViewAlarmSwitch(im, 0).Visible);
    EXPECT_TRUE(ViewAlarmSwitch(im, 1).Checked);
    im.InputInfo.InputCaps[1] = 0x05;
    EXPECT_FALSE(ViewAlarmSwitch(im, 1).Visible);

    im.LoggerType = 4;
    a = ViewArchiveSettings(im);
    EXPECT_TRUE(a.CyclicEnabled);
    EXPECT_FALSE(a.CyclicChecked);
    im.Parameters.ArchiveFlags = 0x03;
    EXPECT_TRUE(ViewArchiveSettings(im).CyclicChecked);

    // An input whose code has bit 0 clear cannot record.
    im.InputInfo.InputType[1] = 0x00;
    a = ViewArchiveSettings(im);
    EXPECT_FALSE(a.Record2Enabled);
    EXPECT_FALSE(a.Record2Checked);
    EXPECT_TRUE(a.Record1Checked);

    EXPECT_EQ(PageForInputType(0x01), InputPage::Current);
    EXPECT_EQ(PageForInputType(0x09), InputPage::Current);
    EXPECT_EQ(PageForInputType(0xD7), InputPage::Temperature);
    EXPECT_EQ(PageForInputType(0x35), InputPage::Temperature);
    EXPECT_EQ(PageForInputType(47), InputPage::Temperature);
    EXPECT_EQ(PageForInputType(63), InputPage::Humidity);
    EXPECT_EQ(PageForInputType(0x1F), InputPage::Unused);
    EXPECT_EQ(PageForInputType(0x00), InputPage::Unused);
    EXPECT_TRUE(TableTemperature(47));
    EXPECT_FALSE(TableTemperature(0xF7));
}

TEST(ArchiveParamsTemperature, UnitsRangeAndStore) {
    LoggerImage im = TwoInputImage();
    InputTable tables[2];
    // Record limits -10..100 degrees Celsius, shown in degrees Fahrenheit.
    im.Parameters.Input[0].RecordOffset = 10;
    im.Parameters.Input[0].RecordScale = static_cast<float>(64255.0 / 110.0);
    SetTemperatureUnit(im, 0, TempUnit::Fahrenheit);
    EXPECT_EQ(im.Parameters.Input[0].UnitText[0], 0xB0);
    EXPECT_EQ(im.Parameters.Input[0].UnitText[1], 'F');
    EXPECT_EQ(im.Parameters.Input[0].UnitText[2], 0);

    const LimitsPageView f = SetUpTemperaturePage(im, 0, tables[0]);
    ASSERT_TRUE(f.ValuesOk);
    EXPECT_EQ(f.Unit, TempUnit::Fahrenheit);
    EXPECT_EQ(f.Name, "Teplota");
    EXPECT_DOUBLE_EQ(f.RecordLow, 14.0);
    EXPECT_DOUBLE_EQ(f.RecordHigh, 212.0);
    EXPECT_DOUBLE_EQ(f.RangeLow, -58.0);  // -50 C
    EXPECT_DOUBLE_EQ(f.AlarmLow, 32.0);
    EXPECT_NEAR(f.AlarmHigh, 212.0, 0.1);
    EXPECT_EQ(f.RangeLowText, "-58");

    // The logger held -50..150 degrees Celsius; the user enters 14..212 F.
    LoggerImage opened = im;
    opened.Parameters.Input[0].RecordOffset = 50;
    opened.Parameters.Input[0].RecordScale = static_cast<float>(64255.0 / 200.0);
    const ArchiveParamsBaseline base = Opened(opened, tables);
    ArchiveParamsEntry e = base.Shown;
    e.Input[0].Temperature.RecordLow = 14;
    e.Input[0].Temperature.RecordHigh = 212;
    const ParameterBlock b = BuildEditBlock(opened, tables, base, e);
    EXPECT_EQ(b.Input[0].RecordOffset, 10.0f);
    EXPECT_EQ(Bits(b.Input[0].RecordScale), Bits(static_cast<float>(64255.0 / 110.0)));
    EXPECT_EQ(b.Input[0].Unit(), "\xC2\xB0" "F");

    // Kelvin with the 273.16 offset; range low rounded after subtracting 0.5.
    SetTemperatureUnit(im, 0, TempUnit::Kelvin);
    const LimitsPageView k = SetUpTemperaturePage(im, 0, tables[0]);
    EXPECT_EQ(k.Unit, TempUnit::Kelvin);
    EXPECT_DOUBLE_EQ(k.RangeLow, 223.0);  // 223.16 - 0.5 -> 223
    EXPECT_DOUBLE_EQ(k.RecordLow, 263.2);
    e.Input[0].Temperature.Unit = TempUnit::Kelvin;
    e.Input[0].Temperature.RecordLow = 273.16;
    e.Input[0].Temperature.RecordHigh = 373.16;
    const ParameterBlock kb = BuildEditBlock(im, tables, base, e);
    EXPECT_NEAR(kb.Input[0].RecordOffset, 0.0, 1e-4);
    EXPECT_NEAR(kb.Input[0].RecordScale, 642.55, 1e-3);

    // A record low of exactly 0 is stored as -0.0, which differs byte-wise
    // from a stored +0.0 and so asks for the erase.
    SetTemperatureUnit(im, 0, TempUnit::Celsius);
    im.Parameters.Input[0].RecordOffset = 0.0f;
    e.Input[0].Temperature.Unit = TempUnit::Celsius;
    e.Input[0].Temperature.RecordLow = 0;
    e.Input[0].Temperature.RecordHigh = 100;
    im.Parameters.Input[0].RecordScale = 642.55f;
    const ParameterBlock zb = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(Bits(zb.Input[0].RecordOffset), 0x80000000u);
    EXPECT_TRUE(EditNeedsErase(zb, im.Parameters));
}

TEST(ArchiveParamsTemperature, SetUpRepairsTheSharedBlockAndSurvivesErrors) {
    LoggerImage im = TwoInputImage();
    InputTable tables[2];
    // A RecordScale of 0 becomes 0.000001 in the shared block.
    im.Parameters.Input[0].RecordScale = 0;
    const LimitsPageView v = SetUpTemperaturePage(im, 0, tables[0]);
    EXPECT_EQ(im.Parameters.Input[0].RecordScale, 0.000001f);
    EXPECT_TRUE(v.ValuesOk);
    // An alarm just below 0 degrees shows as 0, never as -0.
    EXPECT_EQ(v.AlarmLow, 0.0);
    EXPECT_FALSE(std::signbit(v.AlarmLow));

    // Code 47 through a table whose keys are all equal: the lookup fails, the
    // page keeps its values; the zero alarm raws were replaced by 1 first.
    im.InputInfo.InputType[0] = 47;
    im.InputInfo.InputCaps[0] = 0x40;
    im.Parameters.Input[0].AlarmLowRaw = 0;
    im.Parameters.Input[0].AlarmHighRaw = 0;
    const LimitsPageView bad = SetUpTemperaturePage(im, 0, tables[0]);
    EXPECT_FALSE(bad.ValuesOk);
    EXPECT_FALSE(bad.Configurable);
    EXPECT_EQ(bad.Name, "Teplota");
    EXPECT_EQ(im.Parameters.Input[0].AlarmLowRaw, 1);
    EXPECT_EQ(im.Parameters.Input[0].AlarmHighRaw, 1);
}

TEST(ArchiveParamsCurrent, PageLimitsAndStore) {
    LoggerImage im = TwoInputImage();
    InputTable tables[2];
    const CurrentPageView v = SetUpCurrentPage(im, 1);
    ASSERT_TRUE(v.ValuesOk);
    ASSERT_TRUE(v.LimitsOk);
    EXPECT_FALSE(v.Voltage);
    EXPECT_EQ(v.Unit, "%");
    EXPECT_NEAR(v.RecordLow, 0.0, 1e-5);
    EXPECT_NEAR(v.RecordHigh, 10.0, 1e-4);
    EXPECT_NEAR(v.AlarmLow, 1.0, 1e-3);
    EXPECT_NEAR(v.AlarmHigh, 9.0, 1e-3);
    // Unipolar 0..25 mA: signal limits 0..25, engineering -2.5..13.125.
    EXPECT_EQ(v.Limits.SignalMin, 0.0);
    EXPECT_EQ(v.Limits.SignalMax, 25.0);
    EXPECT_NEAR(v.Limits.ConvLow, -2.5, 1e-5);
    EXPECT_NEAR(v.Limits.ConvHigh, 13.125, 1e-4);

    // Bipolar converter (capability bit 2 clear, type above 1): -12.5..12.5 mA, truncated to -12..12.
    im.InputInfo.InputCaps[1] = 0x41;
    const CurrentLimits bip = CurrentPageLimits(im, 1, 4, 20, 0, 10);
    EXPECT_EQ(bip.SignalMin, -12.0);
    EXPECT_EQ(bip.SignalMax, 12.0);
    EXPECT_THROW(CurrentPageLimits(im, 1, 4, 4, 0, 10), EMath);
    im.InputInfo.InputCaps[1] = 0x45;

    // Signal 4-20 mA, range 0-10, record 0-10: RecordOffset -4, RecordScale 4015.9375.
    const ArchiveParamsBaseline base = Opened(im, tables);
    ArchiveParamsEntry e = base.Shown;
    e.Input[1].Current.RecordLow = 0;
    e.Input[1].Current.RecordHigh = 10;
    e.Input[1].Current.AlarmLow = 2;
    ParameterBlock b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.Input[1].RecordOffset, -4.0f);
    EXPECT_EQ(b.Input[1].RecordScale, 4015.9375f);
    EXPECT_EQ(b.Input[1].AlarmLowRaw, CurrentAlarmToRaw(im, 1, 2.0));
    EXPECT_TRUE(EditNeedsErase(b, im.Parameters));

    // Alarm values beyond the converter's ends are limited to 0 and 65535.
    e.Input[1].Current.AlarmLow = -100;
    e.Input[1].Current.AlarmHigh = 100;
    b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.Input[1].AlarmLowRaw, 0);
    EXPECT_EQ(b.Input[1].AlarmHighRaw, 65535);

    // Equal record limits or equal range ends: refused, naming the input and
    // the field; no half-built block comes out.
    e.Input[1].Current.RecordHigh = 0;
    e.Input[1].Current.Name = "Tlak";
    for (const auto& [rangeHigh, field] : {std::pair{10.0, ParamField::RecordHigh}, {0.0, ParamField::RangeHigh}}) {
        e.Input[1].Current.RangeHigh = rangeHigh;
        try {
            BuildEditBlock(im, tables, base, e);
            ADD_FAILURE() << "no refusal";
        } catch (const EAParamField& err) {
            EXPECT_EQ(err.Field.Input, 1);
            EXPECT_EQ(err.Field.Field, field) << err.what();
            EXPECT_EQ(std::string(err.what()).rfind("Input 2: ", 0), 0u) << err.what();
        }
    }

    // Voltage code: "V" signal label.
    im.InputInfo.InputType[1] = 0x09;
    EXPECT_TRUE(SetUpCurrentPage(im, 1).Voltage);
    EXPECT_DOUBLE_EQ(ShownValue(4.5, 0), 4.0);
    EXPECT_DOUBLE_EQ(ShownValue(2.25, 1), 2.2);
}

TEST(ArchiveParamsHumidity, SetUpAndTableAlarms) {
    LoggerImage im = TwoInputImage();
    InputTable tables[2];
    im.InputInfo.InputType[1] = 63;
    im.InputInfo.InputCaps[1] = 0x41;
    im.InputInfo.SensorLow[1] = 0.0f;
    im.InputInfo.SensorHigh[1] = 98.6f;
    tables[1] = HumidityTable();
    InputParameters& h = im.Parameters.Input[1];
    h.SetUnit("% rv");
    h.RecordOffset = 0;
    h.RecordScale = 0;
    h.AlarmLowRaw = 0;
    h.AlarmHighRaw = static_cast<std::uint16_t>(RoundHalfEven(1e6 / 220.0));  // 80 % rv

    const LimitsPageView v = SetUpHumidityPage(im, 1, tables[1]);
    ASSERT_TRUE(v.ValuesOk);
    EXPECT_EQ(v.UnitText, "% rv");
    EXPECT_EQ(v.RangeHighText, "98.5999984741211");
    EXPECT_EQ(im.Parameters.Input[1].RecordScale, 0.000001f);
    EXPECT_EQ(im.Parameters.Input[1].AlarmLowRaw, 1);
    EXPECT_NEAR(v.AlarmHigh, 80.0, 0.05);
    EXPECT_DOUBLE_EQ(v.RangeHigh, static_cast<double>(98.6f));
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatGeneral(98.6f), "98,5999984741211");
    SetDecimalSeparator('.');

    const ArchiveParamsBaseline base = Opened(im, tables);
    ArchiveParamsEntry e = base.Shown;
    e.Input[1].Humidity = {"Vlhkost", 0, 100, 20, 80};
    ParameterBlock b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.Input[1].Unit(), "% rv");
    // The record low was left at the shown 0: the logger's +0.0 stays.
    EXPECT_EQ(Bits(b.Input[1].RecordOffset), 0u);
    EXPECT_EQ(b.Input[1].RecordScale, 642.55f);
    EXPECT_EQ(b.Input[1].AlarmLowRaw, static_cast<std::uint16_t>(RoundHalfEven(1e6 / 130.0)));
    EXPECT_EQ(b.Input[1].AlarmHighRaw, static_cast<std::uint16_t>(RoundHalfEven(1e6 / 220.0)));

    // 1 000 000 / x outside 1..65535 (here x even negative) is refused with the input and limit named.
    tables[1].X[0] = 10.0f;
    e.Input[1].Humidity.AlarmLow = -50;  // extrapolates below x = 10
    SetLanguage(1);
    try {
        BuildEditBlock(im, tables, base, e);
        FAIL() << "no error";
    } catch (const EAParamA& err) {
        const std::string m = err.what();
        EXPECT_NE(m.find("Input 2"), std::string::npos) << m;
        EXPECT_NE(m.find("lower alarm limit"), std::string::npos) << m;
        EXPECT_NE(m.find("1 - 65535"), std::string::npos) << m;
    }
    tables[1] = HumidityTable();
    e.Input[1].Humidity.AlarmLow = 20;
    e.Input[1].Humidity.AlarmHigh = -5000;  // x negative: no raw number at all
    SetLanguage(0);
    try {
        BuildEditBlock(im, tables, base, e);
        FAIL() << "no error";
    } catch (const EAParamA& err) {
        EXPECT_NE(std::string(err.what()).find("Vstup 2: horní mez alarmu"), std::string::npos) << err.what();
    }
    SetLanguage(1);
}

TEST(ArchiveParamsStore, EditBlockFlagsAndEraseRule) {
    LoggerImage im = TwoInputImage();
    InputTable tables[2];
    const ArchiveParamsBaseline base = Opened(im, tables);
    ArchiveParamsEntry e = base.Shown;

    ParameterBlock b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.ArchiveFlags, 0x03);

    // Name, file name, period and flags alone never ask.
    e.LoggerName = "SKLAD 12";
    e.FileName = "SKLAD12";
    e.PeriodValueBcd = 0x15;
    e.Cyclic = false;
    e.IncreasedAccuracy = true;
    e.Record2 = false;
    e.Input[0].AlarmChecked = true;
    e.Input[1].AlarmChecked = true;
    b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.Logger(), "SKLAD 12");
    EXPECT_EQ(b.File(), "SKLAD12");
    EXPECT_EQ(b.PeriodValue, 0x15);
    EXPECT_EQ(b.ArchiveFlags, 0x01 | 0x04 | 0x10 | 0x40 | 0x80);
    // Only the erase comparison ranges matter: bytes 48..79 and 96..127.
    ParameterBlock same = im.Parameters;
    same.SetLogger("X");
    same.Input[0].SetName("Y");
    same.Input[1].SetUnit("bar");
    EXPECT_FALSE(EditNeedsErase(same, im.Parameters));
    same.Input[1].Reserved44[3] = 1;
    EXPECT_TRUE(EditNeedsErase(same, im.Parameters));
    same = im.Parameters;
    same.Input[0].AlarmHighRaw ^= 1;
    EXPECT_TRUE(EditNeedsErase(same, im.Parameters));

    // The unused page leaves its record as read; no alarm flag from it.
    im.InputInfo.InputType[1] = 0x00;
    e.Input[1].Page = InputPage::Unused;
    e.Input[1].Current.Name = "changed";
    b = BuildEditBlock(im, tables, base, e);
    EXPECT_EQ(b.Input[1].Name(), "Proud");
    EXPECT_EQ(b.ArchiveFlags & 0x80, 0);

    EXPECT_EQ(EraseQuestion(Lang::English),
              "All records in the logger must be deleted.\r\n\r\nDelete all records in the logger?");
    EXPECT_EQ(EraseQuestion(Lang::Czech),
              "Změna rozsahu archivace vyžaduje vymazání paměti\r\n\r\nNastavit nové parametry a vymazat paměť?");
}

// ---- storing against the simulated logger -----------------------------------

namespace {

using WireBytes = std::array<std::uint8_t, kParameterBlockSize>;

// What the store's write frames did: the parameter block they leave (IEEE
// layout) when applied to `before`, and which kinds of write were sent.
struct Replayed {
    WireBytes Block{};
    int ControlWrites = 0, BlockWrites = 0, PointerWrites = 0;
};

Replayed Replay(const std::vector<std::vector<std::uint8_t>>& frames, const ParameterBlock& before, bool loggerFloats) {
    Replayed r;
    r.Block = before.Bytes();
    if (loggerFloats) {
        IeeeToLoggerFloat(r.Block.data() + 48, 6);
        IeeeToLoggerFloat(r.Block.data() + 96, 6);
    }
    for (const auto& f : frames) {
        const std::uint8_t cmd = f[3];
        if ((cmd & 0x80) == 0) continue;
        const int a = AddressLength(cmd);
        std::uint32_t address = 0;
        for (int i = 0; i < a; ++i) address |= static_cast<std::uint32_t>(f[4 + i]) << (8 * i);
        const std::uint8_t* data = f.data() + 5 + a;
        const std::size_t n = f[4 + a];
        if (cmd == 0x99) {
            ++r.ControlWrites;
            std::copy_n(data, n, r.Block.begin() + 1 + address);
        } else if (cmd == 0x9A) {
            ++r.BlockWrites;
            std::copy_n(data, n, r.Block.begin() + 4 + address);
        } else if (cmd == 0x89) {
            ++r.PointerWrites;
        }
    }
    if (loggerFloats) {
        LoggerFloatToIeee(r.Block.data() + 48, 6);
        LoggerFloatToIeee(r.Block.data() + 96, 6);
    }
    return r;
}

// A simulated logger whose values lie beyond the editor's ranges and between
// its steps: the Pt100 alarm limits -232.2 and 449.614 degrees; a current input
// with signal 3.8..20.2 mA, range -0.04..99.97 and record limits off the
// decimal steps; reserved bytes set and bytes behind a name's terminator.
class ArchiveParamsOnLogger : public test::SimPort {
protected:
    void Prepare() {
        if (sim_) {
            port_.Close();
            sim_->Stop();
        }
        Open(sim::SimOptions{});
        ops_.ReadLoggerType();
        ops_.ReadParameterBlock();
        ops_.ReadInputInfo();
        LoggerImage& im = data_.Image;
        ParameterBlock& p = im.Parameters;
        p.Reserved4 = {1, 2, 3, 4};
        p.Input[0].AlarmLowRaw = RawFromTemperature(im, 0, -232.2);
        p.Input[0].AlarmHighRaw = RawFromTemperature(im, 0, 449.614);
        InputParameters& c = p.Input[1];
        c.InputName = {'P', 'r', 'o', 'u', 'd', 0, 'x', 'y'};
        c.SignalLow = 3.8f;
        c.SignalHigh = 20.2f;
        c.RangeLow = -0.04f;
        c.RangeHigh = 99.97f;
        c.RecordOffset = -3.9f;
        c.RecordScale = static_cast<float>(64255.0 / 16.3);
        c.AlarmLowRaw = 1234;
        c.AlarmHighRaw = 64000;
        c.Reserved44 = {5, 6, 7, 8};
        ops_.WriteArchiveControl(p);
        ops_.WriteParameterBlock(p);
        sim_->ClearReceivedFrames();
    }
};

}  // namespace

TEST_F(ArchiveParamsOnLogger, StoreWritesOnlyWhatTheUserChanged) {
    struct Case {
        const char* What;
        std::function<void(ArchiveParamsEntry&)> Edit;
        bool Answer;                              // to the erase question
        bool Asks;
        ParamFieldRef Refused;                    // Field None: stored
        std::vector<std::pair<int, int>> May;     // byte ranges allowed to change
        bool Emptied;
    };
    using F = ParamField;
    const std::vector<Case> cases = {
        {"untouched", [](ArchiveParamsEntry&) {}, false, false, {}, {}, false},
        {"logger name", [](ArchiveParamsEntry& e) { e.LoggerName = "SKLAD 12"; }, false, false, {}, {{16, 32}}, false},
        {"input name and unit",
         [](ArchiveParamsEntry& e) {
             e.Input[0].Temperature.Name = "Sklad";
             e.Input[1].Current.Unit = "bar";
         },
         false, false, {}, {{32, 44}, {92, 96}}, false},
        {"temperature unit", [](ArchiveParamsEntry& e) { e.Input[0].Temperature.Unit = TempUnit::Kelvin; }, false,
         false, {}, {{44, 48}}, false},
        {"alarm, Yes", [](ArchiveParamsEntry& e) { e.Input[0].Temperature.AlarmHigh = 300; }, true, true, {},
         {{74, 76}}, true},
        {"alarm, No",
         [](ArchiveParamsEntry& e) {
             e.LoggerName = "X";
             e.Input[0].Temperature.AlarmHigh = 300;
         },
         false, true, {0, F::AlarmHigh}, {}, false},
        {"range high, Yes", [](ArchiveParamsEntry& e) { e.Input[1].Current.RangeHigh = 50; }, true, true, {},
         {{104, 124}}, true},
        {"record high below record low",
         [](ArchiveParamsEntry& e) {
             e.LoggerName = "X";
             e.Input[1].Current.RecordHigh = e.Input[1].Current.RecordLow - 1;
         },
         true, false, {1, F::RecordHigh}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Prepare();
        InputTable tables[2];
        const ParameterBlock read = ReadArchiveParams(ops_, tables);
        const ArchiveParamsBaseline base{read, EntryAsShown(data_.Image, tables)};
        ArchiveParamsEntry entry = base.Shown;
        c.Edit(entry);
        sim_->ClearReceivedFrames();
        int questions = 0;
        try {
            const ParameterBlock edited = BuildEditBlock(data_.Image, tables, base, entry);
            StoreArchiveParams(ops_, base.Read, edited, [&](const std::string&) {
                ++questions;
                return c.Answer;
            });
            EXPECT_EQ(c.Refused.Field, F::None);
        } catch (const EAParamField& e) {
            EXPECT_EQ(e.Field.Input, c.Refused.Input) << e.what();
            EXPECT_EQ(e.Field.Field, c.Refused.Field) << e.what();
        }
        EXPECT_EQ(questions, c.Asks ? 1 : 0);
        const auto frames = sim_->ReceivedFrames();
        const Replayed w = Replay(frames, read, true);
        if (c.Refused.Field != F::None) {
            EXPECT_EQ(w.ControlWrites + w.BlockWrites + w.PointerWrites, 0);
            continue;
        }
        EXPECT_EQ(w.ControlWrites, 1);
        EXPECT_EQ(w.BlockWrites, 8);
        EXPECT_EQ(w.PointerWrites, c.Emptied ? 1 : 0);
        // Every byte outside the changed fields is the logger's own.
        const WireBytes before = read.Bytes();
        bool changed = false;
        for (int i = 0; i < int(kParameterBlockSize); ++i) {
            bool may = false;
            for (const auto& [from, to] : c.May) may = may || (i >= from && i < to);
            if (!may) {
                EXPECT_EQ(w.Block[i], before[i]) << "byte " << i;
            }
            changed = changed || w.Block[i] != before[i];
        }
        EXPECT_EQ(changed, !c.May.empty());
        const auto logger = sim_->ParameterBlockBytes();
        EXPECT_TRUE(std::equal(logger.begin(), logger.end(), w.Block.begin()));
    }
}
