#include "logger/ArchiveParamsModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Errors.h"
#include "link/LoggerOps.h"
#include "logger/Conversion.h"
#include "logger/Periods.h"

namespace kolvex {

namespace {

constexpr float kTinyScale = 0.000001f;

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

// raw = round(1 000 000 / TableLookupInverse(table, a)); a value whose raw
// number does not fit the logger's field 1..65535 is refused.
std::uint16_t TableAlarmRaw(const InputTable& table, double value, int input, bool high) {
    const double x = TableLookupInverse(table, value);
    const double raw = x > 0.0 ? RoundHalfEven(1'000'000.0 / x) : -1.0;
    if (!(raw >= 1.0 && raw <= 65535.0)) {
        const std::string v = FormatGeneral(value);
        const std::string n = std::to_string(input + 1);
        throw EAParamA(high ? Tr("Vstup " + n + ": horní mez alarmu " + v +
                                     " nelze nastavit, hodnota pro přístroj leží mimo rozsah 1 - 65535",
                                 "Input " + n + ": the upper alarm limit " + v +
                                     " cannot be set, its logger value lies outside 1 - 65535")
                            : Tr("Vstup " + n + ": dolní mez alarmu " + v +
                                     " nelze nastavit, hodnota pro přístroj leží mimo rozsah 1 - 65535",
                                 "Input " + n + ": the lower alarm limit " + v +
                                     " cannot be set, its logger value lies outside 1 - 65535"));
    }
    return static_cast<std::uint16_t>(raw);
}

void StoreTemperature(InputParameters& in, const LoggerImage& image, int n, const InputTable& table,
                      const TemperatureEntry& t) {
    in.SetName(t.Name);
    if (t.Unit == TempUnit::None)
        in.UnitText[0] = 0;
    else
        in.SetUnit(TempUnitText(t.Unit));
    const double recLow = ToCelsius(t.Unit, t.RecordLow);
    const double recHigh = ToCelsius(t.Unit, t.RecordHigh);
    const double alarmLow = ToCelsius(t.Unit, t.AlarmLow);
    const double alarmHigh = ToCelsius(t.Unit, t.AlarmHigh);
    in.RecordOffset = static_cast<float>(-recLow);
    in.RecordScale = Single(Divide(kRecordFullScale, recHigh - recLow));
    if (TableTemperature(image.InputInfo.InputType[n])) {
        in.AlarmLowRaw = TableAlarmRaw(table, alarmLow, n, false);
        in.AlarmHighRaw = TableAlarmRaw(table, alarmHigh, n, true);
    } else {
        in.AlarmLowRaw = RawFromTemperature(image, n, alarmLow);
        in.AlarmHighRaw = RawFromTemperature(image, n, alarmHigh);
    }
}

void StoreCurrent(InputParameters& in, const LoggerImage& image, const ParameterBlock& edit, int n,
                  const CurrentEntry& c) {
    in.SetName(c.Name);
    in.SetUnit(c.Unit);
    in.SignalLow = static_cast<float>(c.SignalLow);
    in.SignalHigh = static_cast<float>(c.SignalHigh);
    in.RangeLow = static_cast<float>(c.RangeLow);
    in.RangeHigh = static_cast<float>(c.RangeHigh);
    const double k = Divide(static_cast<double>(in.SignalHigh) - in.SignalLow,
                            static_cast<double>(in.RangeHigh) - in.RangeLow);
    const double recordSignalLow = (static_cast<float>(c.RecordLow) - static_cast<double>(in.RangeLow)) * k + in.SignalLow;
    const double recordSignalHigh = (static_cast<float>(c.RecordHigh) - static_cast<double>(in.RangeLow)) * k + in.SignalLow;
    in.RecordOffset = Single(-recordSignalLow);
    in.RecordScale = Single(Divide(kRecordFullScale, recordSignalHigh - recordSignalLow));
    // The alarm encoding works on the new signal and range values.
    LoggerImage edited = image;
    edited.Parameters = edit;
    edited.Parameters.Input[n] = in;
    in.AlarmLowRaw = CurrentAlarmToRaw(edited, n, static_cast<float>(c.AlarmLow));
    in.AlarmHighRaw = CurrentAlarmToRaw(edited, n, static_cast<float>(c.AlarmHigh));
}

void StoreHumidity(InputParameters& in, int n, const InputTable& table, const HumidityEntry& h) {
    in.SetName(h.Name);
    in.SetUnit("% rv");
    const double recLow = static_cast<float>(h.RecordLow);
    const double recHigh = static_cast<float>(h.RecordHigh);
    in.RecordOffset = static_cast<float>(-recLow);
    in.RecordScale = Single(Divide(kRecordFullScale, recHigh - recLow));
    in.AlarmLowRaw = TableAlarmRaw(table, static_cast<float>(h.AlarmLow), n, false);
    in.AlarmHighRaw = TableAlarmRaw(table, static_cast<float>(h.AlarmHigh), n, true);
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

void ReadArchiveParams(LoggerOps& ops, InputTable tables[2]) {
    ops.ReadLoggerType();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();
    const InputInfoBlock& info = ops.Data().Image.InputInfo;
    for (int n = 0; n < 2; ++n)
        if ((info.InputCaps[n] & kCapConfigurable) == 0) ops.ReadInputSection(n);
    for (int n = 0; n < 2; ++n)
        if (HasInputTable(info.InputType[n])) tables[n] = ops.ReadInputTable(n);
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

ParameterBlock BuildEditBlock(const LoggerImage& image, const InputTable tables[2], const ArchiveParamsEntry& entry) {
    ParameterBlock e = image.Parameters;
    e.SetLogger(entry.LoggerName);
    e.SetFile(entry.FileName);
    e.PeriodValue = entry.PeriodValueBcd;
    e.PeriodUnit = entry.PeriodUnit;
    std::uint8_t flags = 0;
    if (entry.Record1) flags |= kFlagRecordInput1;
    if (entry.Record2) flags |= kFlagRecordInput2;
    if (entry.IncreasedAccuracy) flags |= kFlagAccuracy;
    if (!entry.Cyclic) flags |= kFlagNotCyclic;

    for (int n = 0; n < 2; ++n) {
        const InputEntry& in = entry.Input[n];
        if (in.Page == InputPage::Unused) continue;
        InputParameters& target = e.Input[n];
        try {
            switch (in.Page) {
                case InputPage::Temperature: StoreTemperature(target, image, n, tables[n], in.Temperature); break;
                case InputPage::Current: StoreCurrent(target, image, e, n, in.Current); break;
                case InputPage::Humidity: StoreHumidity(target, n, tables[n], in.Humidity); break;
                default: break;
            }
        } catch (const EAParamA&) {
            throw;
        } catch (const std::exception&) {
            // A computation failure ends this input's part; the fields not
            // yet written keep the copy's values.
        }
        if (in.AlarmChecked) flags |= n == 0 ? kFlagAlarm1 : kFlagAlarm2;
    }
    e.ArchiveFlags = flags;
    return e;
}

bool EditNeedsErase(const ParameterBlock& edited, const ParameterBlock& current) {
    const auto a = edited.Bytes();
    const auto b = current.Bytes();
    return std::memcmp(a.data() + 48, b.data() + 48, 32) != 0 || std::memcmp(a.data() + 96, b.data() + 96, 32) != 0;
}

std::string EraseQuestion(Lang lang) {
    return Tr(lang, "Změna rozsahu archivace vyžaduje vymazání paměti\r\n\r\nNastavit nové parametry a vymazat paměť?",
              "All records in the logger must be deleted.\r\n\r\nDelete all records in the logger?");
}

std::string NotStoredMessage() { return "Parametry archivace nenastaveny"; }

StoreResult StoreArchiveParams(LoggerOps& ops, const ParameterBlock& edited,
                               const std::function<bool(const std::string&)>& confirmErase) {
    const bool erase = EditNeedsErase(edited, ops.Data().Image.Parameters);
    if (erase && !(confirmErase && confirmErase(EraseQuestion(CurrentLanguage())))) throw EAParamA(NotStoredMessage());
    ops.Data().Image.Parameters = edited;
    ops.WriteArchiveControl(edited);
    ops.WriteParameterBlock(edited);
    if (!erase) return StoreResult::Written;
    ops.EmptyArchive();
    return StoreResult::WrittenAndEmptied;
}

}  // namespace kolvex
