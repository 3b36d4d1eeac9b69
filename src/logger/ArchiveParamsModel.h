// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logic of the archiving parameters editor, without any toolkit: the
// reads that open it, what each input page shows, the period spinner, the
// edit block that the store builds from the entered values, the rule that
// decides when storing requires emptying the archive, and the store's writes.
// The dialog only moves values between its controls and these functions.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/Errors.h"
#include "base/Language.h"
#include "logger/Records.h"

namespace kolvex {

class LoggerOps;

// ---- pages ------------------------------------------------------------------

// Page of an input's page book; the numbers are the page indices.
enum class InputPage { Unused = 0, Temperature = 1, Current = 2, Humidity = 3 };

// The page for a type code: low nibble 1 or 9 current/voltage, 5 or 7
// temperature, code 47 temperature (through its table), code 63 humidity;
// anything else, including the other codes with low nibble 15, the unused page.
InputPage PageForInputType(std::uint8_t code);
// Codes 47 and 63 carry a characteristic table.
bool HasInputTable(std::uint8_t code);
// Code 47: the temperature page encodes its alarm limits through the table.
bool TableTemperature(std::uint8_t code);

// The open sequence's logger reads: logger type, parameter block, input
// information, the fixed section of every input whose parameters the logger
// fixes, then the table of every table input (input 1 first). Fills the
// shared blocks and returns the parameter block as read, before any page
// set-up touches the shared copy; throws the failed operation's error.
ParameterBlock ReadArchiveParams(LoggerOps& ops, InputTable tables[2]);

// ---- period spinner ---------------------------------------------------------

// The period position in the 27-row table. A logger period that matches no row
// is held as the logger has it: it is shown as the logger's number and unit and
// stored unchanged until the user steps, when it behaves like positions 0 to 4.
class PeriodSelection {
public:
    PeriodSelection(std::uint8_t periodValueBcd, std::uint8_t periodUnit);

    // -1 while the logger's own period is held.
    int Position() const { return position_; }
    void StepUp();
    void StepDown();
    // Before any step: the logger's period as number and unit word; after a
    // step: the table text of the position.
    std::string Text(Lang lang) const;
    // PeriodValue (BCD) and PeriodUnit to store.
    std::uint8_t ValueBcd() const;
    std::uint8_t Unit() const;

private:
    int position_;
    bool stepped_ = false;
    std::uint8_t heldValue_, heldUnit_;
};

// ---- archiving tab ----------------------------------------------------------

struct ArchiveSettingsView {
    std::string LoggerName, FileName;
    bool Record1Enabled = false, Record1Checked = false;
    bool Record2Enabled = false, Record2Checked = false;
    bool IncreasedAccuracy = false;
    bool CyclicEnabled = false, CyclicChecked = false;
};
ArchiveSettingsView ViewArchiveSettings(const LoggerImage& image);

// Alarm indication switch of input n: offered from logger type 3 on when the
// input has the capability; checked by ArchiveFlags bit 6 (input 1) / 7 (input 2).
struct AlarmSwitchView {
    bool Visible = false, Checked = false;
};
AlarmSwitchView ViewAlarmSwitch(const LoggerImage& image, int input);

// The input's unit, signal, range and record limits may be changed (InputCaps bit 0).
bool InputConfigurable(const LoggerImage& image, int input);

// ---- temperature and humidity pages -----------------------------------------

enum class TempUnit { None = -1, Celsius = 0, Fahrenheit = 1, Kelvin = 2 };
// "°C", "°F", "K" (empty for None); the combo box items in this order.
std::string TempUnitText(TempUnit unit);
// "°F" and "K" select those units, any other text degrees Celsius.
TempUnit TempUnitFromText(const std::string& text);

// What a temperature or humidity page shows. A failed computation leaves
// ValuesOk false: the page then keeps whatever its value controls held and
// only the name (and the greying of fixed inputs) is applied.
struct LimitsPageView {
    std::string Name;
    std::string UnitText;            // humidity: the logger's unit text
    TempUnit Unit = TempUnit::Celsius;
    bool ValuesOk = false;
    double RangeLow = 0, RangeHigh = 0;  // temperature: rounded, in the shown unit
    std::string RangeLowText, RangeHighText;
    // In the shown unit, rounded to one decimal; the spin edits' limits are
    // RangeLow and RangeHigh.
    double RecordLow = 0, RecordHigh = 0, AlarmLow = 0, AlarmHigh = 0;
    bool Configurable = true;
};

// Both replace a RecordScale of 0 in the shared block by 0.000001; table
// inputs also replace an alarm raw of 0 by 1 there.
LimitsPageView SetUpTemperaturePage(LoggerImage& image, int input, const InputTable& table);
LimitsPageView SetUpHumidityPage(LoggerImage& image, int input, const InputTable& table);

// Writes the unit chosen on a temperature page into the shared UnitText.
void SetTemperatureUnit(LoggerImage& image, int input, TempUnit unit);

// The range text: general format with up to 15 significant digits and the
// regional decimal separator.
std::string FormatGeneral(double value);

// ---- current/voltage page ---------------------------------------------------

// Limits of the current/voltage page's spin edits from the four signal and
// range values: the signal edits span the converter's signal range (truncated
// to integers), the record and alarm edits its engineering range.
struct CurrentLimits {
    double SignalMin = 0, SignalMax = 0;
    double ConvLow = 0, ConvHigh = 0;
};
// Throws EMath when the signal span is zero.
CurrentLimits CurrentPageLimits(const LoggerImage& image, int input, double signalLow, double signalHigh,
                                double rangeLow, double rangeHigh);

struct CurrentPageView {
    std::string Name, Unit;
    bool Voltage = false;  // the signal label reads "V" instead of "mA"
    double SignalLow = 0, SignalHigh = 0, RangeLow = 0, RangeHigh = 0;
    bool ValuesOk = false;  // record and alarm values computed
    double RecordLow = 0, RecordHigh = 0, AlarmLow = 0, AlarmHigh = 0;
    bool LimitsOk = false;
    CurrentLimits Limits;
    bool Configurable = true;
};
CurrentPageView SetUpCurrentPage(const LoggerImage& image, int input);

// The value a spin edit with `digits` decimals shows for v, read back.
double ShownValue(double v, int digits);

// ---- store ------------------------------------------------------------------

struct TemperatureEntry {
    std::string Name;
    TempUnit Unit = TempUnit::Celsius;
    double RecordLow = 0, RecordHigh = 0, AlarmLow = 0, AlarmHigh = 0;  // shown unit
};
struct CurrentEntry {
    std::string Name, Unit;
    double SignalLow = 0, SignalHigh = 0, RangeLow = 0, RangeHigh = 0;
    double RecordLow = 0, RecordHigh = 0, AlarmLow = 0, AlarmHigh = 0;
};
struct HumidityEntry {
    std::string Name;
    double RecordLow = 0, RecordHigh = 0, AlarmLow = 0, AlarmHigh = 0;
};
struct InputEntry {
    InputPage Page = InputPage::Unused;
    bool AlarmChecked = false;
    TemperatureEntry Temperature;
    CurrentEntry Current;
    HumidityEntry Humidity;
};
struct ArchiveParamsEntry {
    std::string LoggerName, FileName;
    std::uint8_t PeriodValueBcd = 0, PeriodUnit = 0;
    bool Record1 = false, Record2 = false, IncreasedAccuracy = false, Cyclic = true;
    InputEntry Input[2];
};

// What the editor opened with: the logger's block as the open sequence read
// it, and every field as the pages showed it. A field whose entry equals what
// was shown counts as untouched. After a unit change on a temperature page the
// page's values are shown anew in the new unit and their shown values follow;
// the shown unit stays the one the logger held.
struct ArchiveParamsBaseline {
    ParameterBlock Read;
    ArchiveParamsEntry Shown;
};

// The field of the editor a refusal or a question is about, so that the
// dialog can show it. Input -1 is the archiving tab.
enum class ParamField {
    None, LoggerName, FileName, InputName, Unit, SignalLow, SignalHigh, RangeLow, RangeHigh,
    RecordLow, RecordHigh, AlarmLow, AlarmHigh
};
struct ParamFieldRef {
    int Input = -1;
    ParamField Field = ParamField::None;
};

// A value the editor cannot store, naming the field it concerns.
class EAParamField : public EAParamA {
public:
    EAParamField(const std::string& message, ParamFieldRef field) : EAParamA(message), Field(field) {}
    ParamFieldRef Field;
};

// The edit block: the logger's block as read, with the fields the user
// changed. An untouched field keeps the logger's own bytes; a value computed
// from several fields (the record scaling, the alarm numbers of a current
// input) is computed again only when one of them changed, and then takes the
// untouched ones at the logger's full precision. The whole block is checked
// before anything is written: a changed value that cannot be stored (equal or
// inverted record limits, equal signal or range ends, a table alarm whose
// logger number falls outside 1..65535, a value that no conversion can
// reach) throws EAParamField naming the input and the field.
ParameterBlock BuildEditBlock(const LoggerImage& image, const InputTable tables[2], const ArchiveParamsBaseline& base,
                              const ArchiveParamsEntry& entry);

// Bytes 48..79 or 96..127 differ: storing requires emptying the archive.
bool EditNeedsErase(const ParameterBlock& edited, const ParameterBlock& current);
// The first field whose bytes in that range differ (for the dialog to show).
ParamFieldRef FirstEraseField(const ParameterBlock& edited, const ParameterBlock& current);
std::string EraseQuestion(Lang lang);
// The question followed by what the emptying loses: the bytes of records not
// yet read into the PC (nothing added when they are not known).
std::string EraseQuestion(std::optional<std::uint32_t> unreadBytes, Lang lang);
std::string NotStoredMessage();  // "Parametry archivace nenastaveny"

enum class StoreResult { Written, WrittenAndEmptied };
// Compares the edit block with the block as read: asks `confirmErase` only
// when the erase rule requires it (after reading the archive pointers, for
// the figure the question names); on No throws EAParamField naming the first
// changed field and writes nothing. Otherwise the shared block takes the edit
// block, WriteArchiveControl and WriteParameterBlock follow, and after a Yes
// the archive is emptied. Write errors propagate.
StoreResult StoreArchiveParams(LoggerOps& ops, const ParameterBlock& read, const ParameterBlock& edited,
                               const std::function<bool(const std::string&)>& confirmErase);

}  // namespace kolvex
