// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ArchiveParamsModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/AuditTrail.h"
#include "base/Errors.h"
#include "logger/LoggerAudit.h"
#include "logger/LoggerOps.h"
#include "logger/Conversion.h"
#include "logger/Periods.h"
#include "logger/ServiceViews.h"

namespace kolvex {

namespace {

constexpr float kTinyScale = 0.000001f;
constexpr std::size_t kInputParametersBase = 32;  // Input[0] in the block

double Divide(double num, double den) {
    if (den == 0.0) throw EMath(Tr("Dělení nulou", "Division by zero"));
    return num / den;
}

// Narrowing to the logger's single precision; a result outside its range is
// an arithmetic failure like a division by zero.
float Single(double v) {
    const float f = static_cast<float>(v);
    if (!std::isfinite(v) || !std::isfinite(f))
        throw EMath(Tr("Neplatná operace s čísly", "Invalid floating point operation"));
    return f;
}

// One decimal; a tiny negative value gives 0, not -0.
double RoundTenth(double v) { return RoundHalfEven(v * 10.0) / 10.0 + 0.0; }

double ToShownUnit(TempUnit unit, double celsius) {
    switch (unit) {
        case TempUnit::Fahrenheit: return CelsiusToFahrenheit(celsius);
        case TempUnit::Kelvin: return CelsiusToKelvin(celsius);
        default: return celsius;
    }
}

double ToCelsius(TempUnit unit, double shown) {
    switch (unit) {
        case TempUnit::Fahrenheit: return FahrenheitToCelsius(shown);
        case TempUnit::Kelvin: return KelvinToCelsius(shown);
        default: return static_cast<float>(shown);
    }
}

// Record limits of the shared block: [-RecordOffset, 64255 / RecordScale - RecordOffset].
void RecordLimits(const InputParameters& p, double& low, double& high) {
    low = -static_cast<double>(p.RecordOffset);
    high = Divide(kRecordFullScale, p.RecordScale) - p.RecordOffset;
}

void ReplaceZeroScale(InputParameters& p) {
    if (p.RecordScale == 0.0f) p.RecordScale = kTinyScale;
}

void ReplaceZeroAlarms(InputParameters& p) {
    if (p.AlarmLowRaw == 0) p.AlarmLowRaw = 1;
    if (p.AlarmHighRaw == 0) p.AlarmHighRaw = 1;
}

double TableAlarm(const InputTable& table, std::uint16_t raw) {
    return TableLookup(table, Divide(1'000'000.0, raw));
}

// What a field is called in a refusal, in the current language.
std::string FieldText(ParamField f) {
    switch (f) {
        case ParamField::InputName: return Tr("jméno vstupu", "the input name");
        case ParamField::Unit: return Tr("jednotku", "the unit");
        case ParamField::SignalLow: return Tr("dolní mez signálu", "the lower signal limit");
        case ParamField::SignalHigh: return Tr("horní mez signálu", "the upper signal limit");
        case ParamField::RangeLow: return Tr("dolní mez rozsahu", "the lower range limit");
        case ParamField::RangeHigh: return Tr("horní mez rozsahu", "the upper range limit");
        case ParamField::RecordLow: return Tr("dolní mez záznamu", "the lower record limit");
        case ParamField::RecordHigh: return Tr("horní mez záznamu", "the upper record limit");
        case ParamField::AlarmLow: return Tr("dolní mez alarmu", "the lower alarm limit");
        case ParamField::AlarmHigh: return Tr("horní mez alarmu", "the upper alarm limit");
        default: return Tr("hodnotu", "the value");
    }
}

std::string InputPrefix(int n) { return Tr("Vstup ", "Input ") + std::to_string(n + 1) + ": "; }

[[noreturn]] void Refuse(int n, ParamField f, std::string_view cs, std::string_view en) {
    throw EAParamField(InputPrefix(n) + Tr(cs, en), {n, f});
}

// Runs one computation of a changed field; an arithmetic failure becomes a
// refusal that names the input, the field and the reason.
template <typename Fn>
auto Guard(int n, ParamField f, Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const EAParamA&) {
        throw;
    } catch (const std::exception& e) {
        throw EAParamField(InputPrefix(n) + FieldText(f) + Tr(" nelze uložit: ", " cannot be stored: ") + e.what(),
                           {n, f});
    }
}

// raw = round(1 000 000 / TableLookupInverse(table, a)); a value whose raw
// number does not fit the logger's field 1..65535 is refused.
std::uint16_t TableAlarmRaw(const InputTable& table, double value, int input, bool high) {
    const ParamField field = high ? ParamField::AlarmHigh : ParamField::AlarmLow;
    const double x = Guard(input, field, [&] { return static_cast<double>(TableLookupInverse(table, value)); });
    const double raw = x > 0.0 ? RoundHalfEven(1'000'000.0 / x) : -1.0;
    if (!(raw >= 1.0 && raw <= 65535.0)) {
        const std::string v = FormatGeneral(value);
        const std::string n = std::to_string(input + 1);
        throw EAParamField(high ? Tr("Vstup " + n + ": horní mez alarmu " + v +
                                         " nelze nastavit, hodnota pro přístroj leží mimo rozsah 1 - 65535",
                                     "Input " + n + ": the upper alarm limit " + v +
                                         " cannot be set, its logger value lies outside 1 - 65535")
                                : Tr("Vstup " + n + ": dolní mez alarmu " + v +
                                         " nelze nastavit, hodnota pro přístroj leží mimo rozsah 1 - 65535",
                                     "Input " + n + ": the lower alarm limit " + v +
                                         " cannot be set, its logger value lies outside 1 - 65535"),
                           {input, field});
    }
    return static_cast<std::uint16_t>(raw);
}

// RecordOffset and RecordScale from record limits in the record quantity.
// Only a changed lower limit rewrites RecordOffset; the scale follows either.
void SetRecordScaling(InputParameters& in, int n, bool lowChanged, bool highChanged, double low, double high) {
    if (!(high > low))
        Refuse(n, highChanged ? ParamField::RecordHigh : ParamField::RecordLow,
               "dolní mez záznamu musí být menší než horní", "the lower record limit must lie below the upper one");
    const ParamField f = highChanged ? ParamField::RecordHigh : ParamField::RecordLow;
    if (lowChanged) in.RecordOffset = Guard(n, ParamField::RecordLow, [&] { return Single(-low); });
    in.RecordScale = Guard(n, f, [&] { return Single(kRecordFullScale / (high - low)); });
}

void StoreTemperature(InputParameters& in, const LoggerImage& image, int n, const InputTable& table,
                      const TemperatureEntry& t, const TemperatureEntry& shown) {
    if (t.Name != shown.Name) in.SetName(t.Name);
    if (t.Unit != shown.Unit) {
        if (t.Unit == TempUnit::None)
            in.UnitText[0] = 0;
        else
            in.SetUnit(TempUnitText(t.Unit));
    }
    const bool lowChanged = t.RecordLow != shown.RecordLow;
    const bool highChanged = t.RecordHigh != shown.RecordHigh;
    if (lowChanged || highChanged) {
        // Degrees Celsius; an untouched limit at the logger's own precision.
        double low = 0, high = 0;
        Guard(n, lowChanged ? ParamField::RecordLow : ParamField::RecordHigh,
              [&] { RecordLimits(image.Parameters.Input[n], low, high); });
        if (lowChanged) low = ToCelsius(t.Unit, t.RecordLow);
        if (highChanged) high = ToCelsius(t.Unit, t.RecordHigh);
        SetRecordScaling(in, n, lowChanged, highChanged, low, high);
    }
    const bool table47 = TableTemperature(image.InputInfo.InputType[n]);
    if (t.AlarmLow != shown.AlarmLow) {
        const double c = ToCelsius(t.Unit, t.AlarmLow);
        in.AlarmLowRaw = table47 ? TableAlarmRaw(table, c, n, false)
                                 : Guard(n, ParamField::AlarmLow, [&] { return RawFromTemperature(image, n, c); });
    }
    if (t.AlarmHigh != shown.AlarmHigh) {
        const double c = ToCelsius(t.Unit, t.AlarmHigh);
        in.AlarmHighRaw = table47 ? TableAlarmRaw(table, c, n, true)
                                  : Guard(n, ParamField::AlarmHigh, [&] { return RawFromTemperature(image, n, c); });
    }
}

void StoreCurrent(InputParameters& in, const LoggerImage& image, const ParameterBlock& edit, int n,
                  const CurrentEntry& c, const CurrentEntry& shown) {
    const InputParameters& old = image.Parameters.Input[n];
    if (c.Name != shown.Name) in.SetName(c.Name);
    if (c.Unit != shown.Unit) in.SetUnit(c.Unit);
    const bool sigLowChanged = c.SignalLow != shown.SignalLow;
    const bool sigHighChanged = c.SignalHigh != shown.SignalHigh;
    const bool rangeLowChanged = c.RangeLow != shown.RangeLow;
    const bool rangeHighChanged = c.RangeHigh != shown.RangeHigh;
    if (sigLowChanged) in.SignalLow = static_cast<float>(c.SignalLow);
    if (sigHighChanged) in.SignalHigh = static_cast<float>(c.SignalHigh);
    if (rangeLowChanged) in.RangeLow = static_cast<float>(c.RangeLow);
    if (rangeHighChanged) in.RangeHigh = static_cast<float>(c.RangeHigh);
    const bool scalingChanged = sigLowChanged || sigHighChanged || rangeLowChanged || rangeHighChanged;
    if (scalingChanged) {
        if (in.SignalHigh == in.SignalLow)
            Refuse(n, sigHighChanged ? ParamField::SignalHigh : ParamField::SignalLow,
                   "meze signálu se nesmějí rovnat", "the two signal limits must differ");
        if (in.RangeHigh == in.RangeLow)
            Refuse(n, rangeHighChanged ? ParamField::RangeHigh : ParamField::RangeLow,
                   "meze rozsahu se nesmějí rovnat", "the two range limits must differ");
    }

    const bool recLowChanged = c.RecordLow != shown.RecordLow;
    const bool recHighChanged = c.RecordHigh != shown.RecordHigh;
    if (scalingChanged || recLowChanged || recHighChanged) {
        // The record limits in engineering units; an untouched one as the
        // logger's own values give it.
        double recLow = 0, recHigh = 0;
        if (!recLowChanged || !recHighChanged) {
            Guard(n, recLowChanged ? ParamField::RecordHigh : ParamField::RecordLow, [&] {
                const double slope = Divide(static_cast<double>(old.RangeHigh) - old.RangeLow,
                                            static_cast<double>(old.SignalHigh) - old.SignalLow);
                double sigLow, sigHigh;
                RecordLimits(old, sigLow, sigHigh);
                recLow = old.RangeLow + (sigLow - old.SignalLow) * slope;
                recHigh = old.RangeLow + (sigHigh - old.SignalLow) * slope;
            });
        }
        if (recLowChanged) recLow = static_cast<float>(c.RecordLow);
        if (recHighChanged) recHigh = static_cast<float>(c.RecordHigh);
        const double k = (static_cast<double>(in.SignalHigh) - in.SignalLow) /
                         (static_cast<double>(in.RangeHigh) - in.RangeLow);
        const double recordSignalLow = (recLow - static_cast<double>(in.RangeLow)) * k + in.SignalLow;
        const double recordSignalHigh = (recHigh - static_cast<double>(in.RangeLow)) * k + in.SignalLow;
        if (!(recordSignalHigh > recordSignalLow))
            Refuse(n, recHighChanged ? ParamField::RecordHigh : ParamField::RecordLow,
                   "horní mez záznamu musí odpovídat vyššímu signálu než dolní",
                   "the upper record limit must correspond to a higher signal than the lower one");
        SetRecordScaling(in, n, recLowChanged || scalingChanged, recHighChanged, recordSignalLow, recordSignalHigh);
    }

    const bool alarmLowChanged = c.AlarmLow != shown.AlarmLow;
    const bool alarmHighChanged = c.AlarmHigh != shown.AlarmHigh;
    if (scalingChanged || alarmLowChanged || alarmHighChanged) {
        // The alarm encoding works on the new signal and range values; an
        // untouched alarm keeps the engineering value the logger's number meant.
        LoggerImage edited = image;
        edited.Parameters = edit;
        edited.Parameters.Input[n] = in;
        if (scalingChanged || alarmLowChanged)
            in.AlarmLowRaw = Guard(n, ParamField::AlarmLow, [&] {
                const double a = alarmLowChanged ? static_cast<double>(static_cast<float>(c.AlarmLow))
                                                 : CurrentAlarmFromRaw(image, n, old.AlarmLowRaw);
                return CurrentAlarmToRaw(edited, n, a);
            });
        if (scalingChanged || alarmHighChanged)
            in.AlarmHighRaw = Guard(n, ParamField::AlarmHigh, [&] {
                const double a = alarmHighChanged ? static_cast<double>(static_cast<float>(c.AlarmHigh))
                                                  : CurrentAlarmFromRaw(image, n, old.AlarmHighRaw);
                return CurrentAlarmToRaw(edited, n, a);
            });
    }
}

void StoreHumidity(InputParameters& in, const LoggerImage& image, int n, const InputTable& table,
                   const HumidityEntry& h, const HumidityEntry& shown) {
    // The unit is the logger's: the page shows it read-only.
    if (h.Name != shown.Name) in.SetName(h.Name);
    const bool lowChanged = h.RecordLow != shown.RecordLow;
    const bool highChanged = h.RecordHigh != shown.RecordHigh;
    if (lowChanged || highChanged) {
        double low = 0, high = 0;
        Guard(n, lowChanged ? ParamField::RecordLow : ParamField::RecordHigh,
              [&] { RecordLimits(image.Parameters.Input[n], low, high); });
        if (lowChanged) low = static_cast<float>(h.RecordLow);
        if (highChanged) high = static_cast<float>(h.RecordHigh);
        SetRecordScaling(in, n, lowChanged, highChanged, low, high);
    }
    if (h.AlarmLow != shown.AlarmLow) in.AlarmLowRaw = TableAlarmRaw(table, static_cast<float>(h.AlarmLow), n, false);
    if (h.AlarmHigh != shown.AlarmHigh)
        in.AlarmHighRaw = TableAlarmRaw(table, static_cast<float>(h.AlarmHigh), n, true);
}

// A switch the user changed sets or clears its bit; an untouched one keeps
// the logger's bit.
void ApplySwitch(std::uint8_t& flags, std::uint8_t bit, bool now, bool shown) {
    if (now == shown) return;
    flags = static_cast<std::uint8_t>(now ? flags | bit : flags & ~bit);
}

}  // namespace

// ---- pages ------------------------------------------------------------------

InputPage PageForInputType(std::uint8_t code) {
    switch (code & 0x0F) {
        case 1:
        case 9: return InputPage::Current;
        case 5:
        case 7: return InputPage::Temperature;
        case 15:
            if (code == 47) return InputPage::Temperature;
            if (code == 63) return InputPage::Humidity;
            return InputPage::Unused;
        default: return InputPage::Unused;
    }
}

bool HasInputTable(std::uint8_t code) { return code == 47 || code == 63; }

bool TableTemperature(std::uint8_t code) { return (code & 0x0C) == 0x0C; }

ParameterBlock ReadArchiveParams(LoggerOps& ops, InputTable tables[2]) {
    ops.ReadLoggerType();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();
    const InputInfoBlock& info = ops.Data().Image.InputInfo;
    for (int n = 0; n < 2; ++n)
        if ((info.InputCaps[n] & kCapConfigurable) == 0) ops.ReadInputSection(n);
    for (int n = 0; n < 2; ++n)
        if (HasInputTable(info.InputType[n])) tables[n] = ops.ReadInputTable(n);
    return ops.Data().Image.Parameters;
}

// ---- period -----------------------------------------------------------------

PeriodSelection::PeriodSelection(std::uint8_t periodValueBcd, std::uint8_t periodUnit)
    : position_(FindPeriodPosition(periodValueBcd, periodUnit)), heldValue_(periodValueBcd), heldUnit_(periodUnit) {}

void PeriodSelection::StepUp() {
    position_ = position_ >= kPeriodOff ? kPeriodOff : position_ + 1;
    if (position_ < kPeriodFirstSelectable) position_ = kPeriodFirstSelectable;
    stepped_ = true;
}

void PeriodSelection::StepDown() {
    position_ = position_ <= kPeriodFirstSelectable ? kPeriodFirstSelectable : position_ - 1;
    stepped_ = true;
}

std::string PeriodSelection::Text(Lang lang) const {
    if (!stepped_) return PeriodDisplayText(heldValue_, heldUnit_, lang);
    const PeriodRow& row = kPeriodTable[static_cast<std::size_t>(position_)];
    return lang == Lang::English ? row.English : row.Czech;
}

std::uint8_t PeriodSelection::ValueBcd() const {
    if (position_ < 0) return heldValue_;
    return ByteToBcd(kPeriodTable[static_cast<std::size_t>(position_)].Value);
}

std::uint8_t PeriodSelection::Unit() const {
    if (position_ < 0) return heldUnit_;
    return kPeriodTable[static_cast<std::size_t>(position_)].Unit;
}

// ---- archiving tab ----------------------------------------------------------

ArchiveSettingsView ViewArchiveSettings(const LoggerImage& image) {
    const ParameterBlock& p = image.Parameters;
    const InputInfoBlock& info = image.InputInfo;
    ArchiveSettingsView v;
    v.LoggerName = p.Logger();
    v.FileName = p.File();
    v.Record1Enabled = (info.InputType[0] & 0x01) != 0;
    v.Record1Checked = v.Record1Enabled && (p.ArchiveFlags & kFlagRecordInput1) != 0;
    v.Record2Enabled = (info.InputType[1] & 0x01) != 0;
    v.Record2Checked = v.Record2Enabled && (p.ArchiveFlags & kFlagRecordInput2) != 0;
    v.IncreasedAccuracy = (p.ArchiveFlags & kFlagAccuracy) != 0;
    if (image.TypeByte() <= 3) {
        v.CyclicEnabled = false;
        v.CyclicChecked = true;
    } else {
        v.CyclicEnabled = true;
        v.CyclicChecked = (p.ArchiveFlags & kFlagNotCyclic) == 0;
    }
    return v;
}

AlarmSwitchView ViewAlarmSwitch(const LoggerImage& image, int input) {
    AlarmSwitchView v;
    v.Visible = image.TypeByte() >= 3 && (image.InputInfo.InputCaps[input] & kCapAlarmIndication) != 0;
    if (v.Visible)
        v.Checked = (image.Parameters.ArchiveFlags & (input == 0 ? kFlagAlarm1 : kFlagAlarm2)) != 0;
    return v;
}

bool InputConfigurable(const LoggerImage& image, int input) {
    return (image.InputInfo.InputCaps[input] & kCapConfigurable) != 0;
}

// ---- temperature and humidity -----------------------------------------------

std::string TempUnitText(TempUnit unit) {
    switch (unit) {
        case TempUnit::Celsius: return "\xC2\xB0" "C";
        case TempUnit::Fahrenheit: return "\xC2\xB0" "F";
        case TempUnit::Kelvin: return "K";
        default: return {};
    }
}

TempUnit TempUnitFromText(const std::string& text) {
    if (text == TempUnitText(TempUnit::Fahrenheit)) return TempUnit::Fahrenheit;
    if (text == TempUnitText(TempUnit::Kelvin)) return TempUnit::Kelvin;
    return TempUnit::Celsius;
}

std::string FormatGeneral(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    const char sep = DecimalSeparator();
    for (char& c : s)
        if (c == '.') c = sep;
    return s;
}

LimitsPageView SetUpTemperaturePage(LoggerImage& image, int input, const InputTable& table) {
    InputParameters& p = image.Parameters.Input[input];
    LimitsPageView v;
    v.Configurable = InputConfigurable(image, input);
    ReplaceZeroScale(p);
    v.Name = p.Name();
    try {
        double rangeLow, rangeHigh, alarmLow, alarmHigh;
        if (HasInputTable(image.InputInfo.InputType[input])) {
            ReplaceZeroAlarms(p);
            rangeLow = image.InputInfo.SensorLow[input];
            rangeHigh = image.InputInfo.SensorHigh[input];
            alarmLow = TableAlarm(table, p.AlarmLowRaw);
            alarmHigh = TableAlarm(table, p.AlarmHighRaw);
        } else {
            rangeLow = -50.0;
            rangeHigh = TemperatureFromRaw(image, input, kRecordFullScale);
            alarmLow = TemperatureFromRaw(image, input, p.AlarmLowRaw);
            alarmHigh = TemperatureFromRaw(image, input, p.AlarmHighRaw);
        }
        double recordLow, recordHigh;
        RecordLimits(p, recordLow, recordHigh);

        v.Unit = TempUnitFromText(p.Unit());
        v.RangeLow = RoundHalfEven(ToShownUnit(v.Unit, rangeLow) - 0.5);
        v.RangeHigh = RoundHalfEven(ToShownUnit(v.Unit, rangeHigh) - 0.5);
        v.RangeLowText = FormatGeneral(v.RangeLow);
        v.RangeHighText = FormatGeneral(v.RangeHigh);
        v.RecordLow = RoundTenth(ToShownUnit(v.Unit, recordLow));
        v.RecordHigh = RoundTenth(ToShownUnit(v.Unit, recordHigh));
        v.AlarmLow = RoundTenth(ToShownUnit(v.Unit, alarmLow));
        v.AlarmHigh = RoundTenth(ToShownUnit(v.Unit, alarmHigh));
        v.ValuesOk = true;
    } catch (const std::exception&) {
        // The page keeps what it showed before.
    }
    return v;
}

LimitsPageView SetUpHumidityPage(LoggerImage& image, int input, const InputTable& table) {
    InputParameters& p = image.Parameters.Input[input];
    LimitsPageView v;
    v.Configurable = InputConfigurable(image, input);
    ReplaceZeroScale(p);
    v.Name = p.Name();
    v.UnitText = p.Unit();
    try {
        ReplaceZeroAlarms(p);
        const double rangeLow = image.InputInfo.SensorLow[input];
        const double rangeHigh = image.InputInfo.SensorHigh[input];
        double recordLow, recordHigh;
        RecordLimits(p, recordLow, recordHigh);
        const double alarmLow = TableAlarm(table, p.AlarmLowRaw);
        const double alarmHigh = TableAlarm(table, p.AlarmHighRaw);
        v.RangeLow = rangeLow;
        v.RangeHigh = rangeHigh;
        v.RangeLowText = FormatGeneral(rangeLow);
        v.RangeHighText = FormatGeneral(rangeHigh);
        v.RecordLow = RoundTenth(recordLow);
        v.RecordHigh = RoundTenth(recordHigh);
        v.AlarmLow = RoundTenth(alarmLow);
        v.AlarmHigh = RoundTenth(alarmHigh);
        v.ValuesOk = true;
    } catch (const std::exception&) {
    }
    return v;
}

void SetTemperatureUnit(LoggerImage& image, int input, TempUnit unit) {
    InputParameters& p = image.Parameters.Input[input];
    if (unit == TempUnit::None)
        p.UnitText[0] = 0;
    else
        p.SetUnit(TempUnitText(unit));
}

// ---- current/voltage ----------------------------------------------------------

double ShownValue(double v, int digits) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return std::strtod(buf, nullptr);
}

CurrentLimits CurrentPageLimits(const LoggerImage& image, int input, double signalLow, double signalHigh,
                                double rangeLow, double rangeHigh) {
    const double slope = Divide(rangeHigh - rangeLow, signalHigh - signalLow);
    const auto [sigLo, sigHi] = SignalConverterRange(image, input);
    CurrentLimits l;
    l.ConvLow = rangeLow - (signalLow - sigLo) * slope;
    l.ConvHigh = rangeLow + (sigHi - signalLow) * slope;
    l.SignalMin = std::trunc(static_cast<double>(sigLo));
    l.SignalMax = std::trunc(static_cast<double>(sigHi));
    return l;
}

CurrentPageView SetUpCurrentPage(const LoggerImage& image, int input) {
    const InputParameters& p = image.Parameters.Input[input];
    CurrentPageView v;
    v.Configurable = InputConfigurable(image, input);
    v.Name = p.Name();
    v.Unit = p.Unit();
    v.Voltage = (image.InputInfo.InputType[input] & 0x09) == 0x09;
    v.SignalLow = p.SignalLow;
    v.SignalHigh = p.SignalHigh;
    v.RangeLow = p.RangeLow;
    v.RangeHigh = p.RangeHigh;
    // The signal edits show no decimals, the range edits one; the later steps
    // work with what they show.
    const double shownSignalLow = ShownValue(v.SignalLow, 0);
    const double shownSignalHigh = ShownValue(v.SignalHigh, 0);
    const double shownRangeLow = ShownValue(v.RangeLow, 1);
    const double shownRangeHigh = ShownValue(v.RangeHigh, 1);
    try {
        const double slope = Divide(static_cast<double>(p.RangeHigh) - p.RangeLow,
                                    static_cast<double>(p.SignalHigh) - p.SignalLow);
        double recordSignalLow, recordSignalHigh;
        RecordLimits(p, recordSignalLow, recordSignalHigh);
        const auto [sigLo, sigHi] = SignalConverterRange(image, input);
        const double convLow = shownRangeLow - (shownSignalLow - sigLo) * slope;
        const double convHigh = shownRangeLow + (sigHi - shownSignalLow) * slope;
        v.RecordLow = p.RangeLow + (recordSignalLow - p.SignalLow) * slope;
        v.RecordHigh = p.RangeLow + (recordSignalHigh - p.SignalLow) * slope;
        v.AlarmLow = convLow + (convHigh - convLow) * p.AlarmLowRaw / kConverterFullScale;
        v.AlarmHigh = convLow + (convHigh - convLow) * p.AlarmHighRaw / kConverterFullScale;
        v.ValuesOk = true;
        v.Limits = CurrentPageLimits(image, input, shownSignalLow, shownSignalHigh, shownRangeLow, shownRangeHigh);
        v.LimitsOk = true;
    } catch (const std::exception&) {
    }
    return v;
}

// ---- store --------------------------------------------------------------------

ParameterBlock BuildEditBlock(const LoggerImage& image, const InputTable tables[2], const ArchiveParamsBaseline& base,
                              const ArchiveParamsEntry& entry) {
    const ArchiveParamsEntry& shown = base.Shown;
    ParameterBlock e = base.Read;
    if (entry.LoggerName != shown.LoggerName) e.SetLogger(entry.LoggerName);
    if (entry.FileName != shown.FileName) e.SetFile(entry.FileName);
    if (entry.PeriodValueBcd != shown.PeriodValueBcd || entry.PeriodUnit != shown.PeriodUnit) {
        e.PeriodValue = entry.PeriodValueBcd;
        e.PeriodUnit = entry.PeriodUnit;
    }
    std::uint8_t flags = base.Read.ArchiveFlags;
    ApplySwitch(flags, kFlagRecordInput1, entry.Record1, shown.Record1);
    ApplySwitch(flags, kFlagRecordInput2, entry.Record2, shown.Record2);
    ApplySwitch(flags, kFlagAccuracy, entry.IncreasedAccuracy, shown.IncreasedAccuracy);
    ApplySwitch(flags, kFlagNotCyclic, !entry.Cyclic, !shown.Cyclic);

    for (int n = 0; n < 2; ++n) {
        const InputEntry& in = entry.Input[n];
        const InputEntry& was = shown.Input[n];
        InputParameters& target = e.Input[n];
        switch (in.Page) {
            case InputPage::Temperature:
                StoreTemperature(target, image, n, tables[n], in.Temperature, was.Temperature);
                break;
            case InputPage::Current: StoreCurrent(target, image, e, n, in.Current, was.Current); break;
            case InputPage::Humidity: StoreHumidity(target, image, n, tables[n], in.Humidity, was.Humidity); break;
            default: continue;  // the unused page leaves its record and its alarm bit as read
        }
        ApplySwitch(flags, n == 0 ? kFlagAlarm1 : kFlagAlarm2, in.AlarmChecked, was.AlarmChecked);
    }
    e.ArchiveFlags = flags;
    return e;
}

bool EditNeedsErase(const ParameterBlock& edited, const ParameterBlock& current) {
    const auto a = edited.Bytes();
    const auto b = current.Bytes();
    return std::memcmp(a.data() + 48, b.data() + 48, 32) != 0 || std::memcmp(a.data() + 96, b.data() + 96, 32) != 0;
}

ParamFieldRef FirstEraseField(const ParameterBlock& edited, const ParameterBlock& current) {
    static constexpr ParamField kByOffset[] = {ParamField::SignalLow,  ParamField::SignalHigh, ParamField::RangeLow,
                                               ParamField::RangeHigh,  ParamField::RecordLow,  ParamField::RecordHigh};
    const auto a = edited.Bytes();
    const auto b = current.Bytes();
    for (int n = 0; n < 2; ++n) {
        const std::size_t base = kInputParametersBase + kInputParametersSize * static_cast<std::size_t>(n);
        for (std::size_t off = 16; off < 48; ++off) {
            if (a[base + off] == b[base + off]) continue;
            if (off < 40) return {n, kByOffset[(off - 16) / 4]};
            if (off < 42) return {n, ParamField::AlarmLow};
            if (off < 44) return {n, ParamField::AlarmHigh};
            return {n, ParamField::None};
        }
    }
    return {};
}

std::string EraseQuestion(Lang lang) {
    return Tr(lang, "Změna rozsahu archivace vyžaduje vymazání paměti\r\n\r\nNastavit nové parametry a vymazat paměť?",
              "All records in the logger must be deleted.\r\n\r\nDelete all records in the logger?");
}

std::string NotStoredMessage() { return "Parametry archivace nenastaveny"; }

std::string EraseQuestion(std::optional<std::uint32_t> unreadBytes, Lang lang) {
    std::string text = EraseQuestion(lang);
    if (!unreadBytes) return text;
    text += "\r\n\r\n";
    if (*unreadBytes == 0)
        return text + Tr(lang, "Všechny záznamy v přístroji již byly přečteny do PC.",
                         "Every record in the logger has already been read into the PC.");
    const std::string n = std::to_string(*unreadBytes);
    return text + Tr(lang, "V přístroji je " + n + " bajtů záznamů, které dosud nebyly přečteny do PC.",
                     "The logger holds " + n + " bytes of records not yet read into the PC.");
}

StoreResult StoreArchiveParams(LoggerOps& ops, const ParameterBlock& read, const ParameterBlock& edited,
                               const std::function<bool(const std::string&)>& confirmErase) {
    const bool erase = EditNeedsErase(edited, read);
    if (erase) {
        // The question names what the emptying would lose; when the pointers
        // cannot be read it asks without the figure.
        std::optional<std::uint32_t> unread;
        try {
            unread = UnreadArchiveBytes(ops.ReadArchivePointers(8), ops.Data().Image.InputInfo.ArchiveSize);
        } catch (const std::exception&) {
        }
        if (!(confirmErase && confirmErase(EraseQuestion(unread, CurrentLanguage()))))
            throw EAParamField(NotStoredMessage(), FirstEraseField(edited, read));
    }
    ops.Data().Image.Parameters = edited;
    try {
        ops.WriteArchiveControl(edited);
        ops.WriteParameterBlock(edited);
    } catch (const std::exception& failure) {
        // The logger may hold part of the new block: that is a change too.
        AuditEvent e;
        e.Action = audit::ParameterStore;
        e.Object = LoggerObject(ops.Data().Image);
        e.Details = {{"changes", ParameterChanges(ops.Data().Image, read, edited)},
                     {"error", failure.what()},
                     {"complete", false}};
        (void)WriteAuditReporting(e);
        throw;
    }
    // Each change is in the audit trail before the store is reported done.
    if (!erase) {
        AuditParameterStore(ops.Data().Image, read, edited);
        return StoreResult::Written;
    }
    std::string auditError;
    try {
        AuditParameterStore(ops.Data().Image, read, edited);
    } catch (const EAudit& e) {
        auditError = e.what();  // reported after the erase, which the user agreed to
    }
    const ArchivePointers before = ops.ReadArchivePointers(8);
    ops.WriteArchiveReadPointer(before.ArchiveWrite);
    AuditArchiveErase(ops.Data().Image, before, before.ArchiveWrite, audit::ParameterStore);
    if (!auditError.empty()) throw EAudit(auditError);
    return StoreResult::WrittenAndEmptied;
}

}  // namespace kolvex
