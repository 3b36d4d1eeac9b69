// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ParameterFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "archive/FileOps.h"
#include "logger/Conversion.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {

constexpr std::size_t kSerial = 0x008, kMarker = 0x013, kCount = 0x014, kDescriptors = 0x018;
constexpr std::size_t kDescriptorSize = 68;
constexpr std::size_t kPanel = 0x0E8, kLeft = 0x178, kRight = 0x1A0, kFooter = 0x1E4;
constexpr std::size_t kSerialCap = 10, kNameCap = 10, kLabelCap = 16, kUnitCap = 34, kFooterCap = 33;

double GetF64(const std::uint8_t* p) {
    double v;
    std::memcpy(&v, p, 8);
    return v;
}
void PutF64(std::uint8_t* p, double v) { std::memcpy(p, &v, 8); }

AxisSettings DecodeAxis(const std::uint8_t* p) {
    AxisSettings a;
    a.Source = GetI32(p);
    a.Automatic = p[4];
    a.Minimum = GetF64(p + 8);
    a.Maximum = GetF64(p + 16);
    a.Colour = GetI32(p + 24);
    a.Marker = GetI32(p + 32);
    return a;
}

void EncodeAxis(std::uint8_t* p, const AxisSettings& a) {
    std::memset(p, 0, 40);
    PutI32(p, a.Source);
    p[4] = a.Automatic;
    PutF64(p + 8, a.Minimum);
    PutF64(p + 16, a.Maximum);
    PutI32(p + 24, a.Colour);
    PutI32(p + 32, a.Marker);
}

// The recording block: "KXRI", the period, per input a flag byte (1 known,
// 2 low limit, 4 high limit, 8 temperature), three zero bytes and the two
// limits as doubles, then the sum of the 48 bytes before it plus 0x5A5A.
constexpr std::uint8_t kRecMark[4] = {'K', 'X', 'R', 'I'};
constexpr std::size_t kRecBody = 48;

std::int32_t RecordingSum(const std::uint8_t* p) {
    std::int32_t sum = 0x5A5A;
    for (std::size_t i = 0; i < kRecBody; ++i) sum += p[i];
    return sum;
}

bool RecordingValid(const std::uint8_t* p) {
    return std::memcmp(p, kRecMark, 4) == 0 && GetI32(p + kRecBody) == RecordingSum(p);
}

// Clamps the length byte and zeroes the unused bytes, keeping the text bytes.
void NormaliseCounted(std::uint8_t* p, std::size_t capacity) {
    if (p[0] > capacity) p[0] = static_cast<std::uint8_t>(capacity);
    std::memset(p + 1 + p[0], 0, capacity - p[0]);
}

}  // namespace

std::string ArchiveParameterRecord::SerialNumber() const { return ReadCountedString(Bytes.data() + kSerial, kSerialCap); }
void ArchiveParameterRecord::SetSerialNumber(const std::string& t) { WriteCountedString(Bytes.data() + kSerial, kSerialCap, t); }
std::int32_t ArchiveParameterRecord::FieldCount() const { return GetI32(Bytes.data() + kCount); }
void ArchiveParameterRecord::SetFieldCount(std::int32_t n) { PutI32(Bytes.data() + kCount, n); }

FieldDescriptor ArchiveParameterRecord::Descriptor(int i) const {
    FieldDescriptor d;
    if (i < 0 || i >= kMaxDescriptors) return d;
    const std::uint8_t* p = Bytes.data() + kDescriptors + kDescriptorSize * static_cast<std::size_t>(i);
    d.Type = p[0];
    d.Name = ReadCountedString(p + 1, kNameCap);
    d.Label = ReadCountedString(p + 12, kLabelCap);
    d.Unit = ReadCountedString(p + 29, kUnitCap);
    d.Decimals = GetI32(p + 64);
    return d;
}

void ArchiveParameterRecord::SetDescriptor(int i, const FieldDescriptor& d) {
    if (i < 0 || i >= kMaxDescriptors) return;
    std::uint8_t* p = Bytes.data() + kDescriptors + kDescriptorSize * static_cast<std::size_t>(i);
    p[0] = d.Type;
    WriteCountedString(p + 1, kNameCap, d.Name);
    WriteCountedString(p + 12, kLabelCap, d.Label);
    WriteCountedString(p + 29, kUnitCap, d.Unit);
    PutI32(p + 64, d.Decimals);
}

std::int32_t ArchiveParameterRecord::PanelWidth() const { return GetI32(Bytes.data() + kPanel); }
void ArchiveParameterRecord::SetPanelWidth(std::int32_t w) { PutI32(Bytes.data() + kPanel, w); }
AxisSettings ArchiveParameterRecord::LeftAxis() const { return DecodeAxis(Bytes.data() + kLeft); }
void ArchiveParameterRecord::SetLeftAxis(const AxisSettings& a) { EncodeAxis(Bytes.data() + kLeft, a); }
AxisSettings ArchiveParameterRecord::RightAxis() const { return DecodeAxis(Bytes.data() + kRight); }
void ArchiveParameterRecord::SetRightAxis(const AxisSettings& a) { EncodeAxis(Bytes.data() + kRight, a); }
std::optional<RecordingInfo> ArchiveParameterRecord::Recording() const {
    const std::uint8_t* p = Bytes.data() + kRecordingInfoOffset;
    if (!RecordingValid(p)) return std::nullopt;
    RecordingInfo info;
    info.PeriodSeconds = std::max<std::int32_t>(GetI32(p + 4), 0);
    for (int n = 0; n < 2; ++n) {
        const std::uint8_t* q = p + 8 + 20 * static_cast<std::size_t>(n);
        InputRecording& in = info.Input[n];
        in.Known = (q[0] & 1) != 0;
        in.Temperature = (q[0] & 8) != 0;
        const double lo = GetF64(q + 4), hi = GetF64(q + 12);
        if ((q[0] & 2) && std::isfinite(lo)) in.Low = lo;
        if ((q[0] & 4) && std::isfinite(hi)) in.High = hi;
    }
    return info;
}

void ArchiveParameterRecord::SetRecording(const RecordingInfo& info) {
    std::uint8_t* p = Bytes.data() + kRecordingInfoOffset;
    std::memset(p, 0, kRecordingInfoSize);
    std::memcpy(p, kRecMark, 4);
    PutI32(p + 4, info.PeriodSeconds);
    for (int n = 0; n < 2; ++n) {
        std::uint8_t* q = p + 8 + 20 * static_cast<std::size_t>(n);
        const InputRecording& in = info.Input[n];
        q[0] = static_cast<std::uint8_t>((in.Known ? 1 : 0) | (in.Low ? 2 : 0) | (in.High ? 4 : 0) |
                                         (in.Temperature ? 8 : 0));
        PutF64(q + 4, in.Low.value_or(0));
        PutF64(q + 12, in.High.value_or(0));
    }
    PutI32(p + kRecBody, RecordingSum(p));
}

std::string ArchiveParameterRecord::Footer() const { return ReadCountedString(Bytes.data() + kFooter, kFooterCap); }
void ArchiveParameterRecord::SetFooter(const std::string& t) { WriteCountedString(Bytes.data() + kFooter, kFooterCap, t); }
std::int32_t ArchiveParameterRecord::StoredChecksum() const { return GetI32(Bytes.data() + kParameterChecksumOffset); }
bool ArchiveParameterRecord::ChecksumOk() const { return StoredChecksum() == ParameterChecksum(*this); }

void ArchiveParameterRecord::NormaliseForWriting() {
    std::array<std::uint8_t, kParameterRecordSize> out{};
    PutF32(out.data(), kParameterVersion);
    PutI32(out.data() + 4, kParameterModel);
    std::memcpy(out.data() + kSerial, Bytes.data() + kSerial, kSerialCap + 1);
    NormaliseCounted(out.data() + kSerial, kSerialCap);
    out[kMarker] = 1;
    std::memcpy(out.data() + kCount, Bytes.data() + kCount, 4);
    const std::int32_t n = FieldCount();
    for (int i = 0; i < kMaxDescriptors && i < n; ++i) {
        const std::size_t at = kDescriptors + kDescriptorSize * static_cast<std::size_t>(i);
        std::uint8_t* p = out.data() + at;
        std::memcpy(p, Bytes.data() + at, kDescriptorSize);
        NormaliseCounted(p + 1, kNameCap);
        NormaliseCounted(p + 12, kLabelCap);
        NormaliseCounted(p + 29, kUnitCap);
    }
    std::memcpy(out.data() + kPanel, Bytes.data() + kPanel, 4);
    if (RecordingValid(Bytes.data() + kRecordingInfoOffset))
        std::memcpy(out.data() + kRecordingInfoOffset, Bytes.data() + kRecordingInfoOffset, kRecordingInfoSize);
    EncodeAxis(out.data() + kLeft, LeftAxis());
    EncodeAxis(out.data() + kRight, RightAxis());
    std::memcpy(out.data() + kFooter, Bytes.data() + kFooter, kFooterCap + 1);
    NormaliseCounted(out.data() + kFooter, kFooterCap);
    Bytes = out;
    PutI32(Bytes.data() + kParameterChecksumOffset, ParameterChecksum(*this));
}

std::int32_t ParameterChecksum(const ArchiveParameterRecord& r) {
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < kParameterChecksumOffset; ++i) sum += r.Bytes[i];
    return sum;
}

std::int32_t LoggingPeriodSeconds(const ParameterBlock& parameters) {
    const int value = BcdToByte(parameters.PeriodValue);
    switch (parameters.PeriodUnit) {
        case 2: return value;
        case 3: return value * 60;
        case 4: return value * 3600;
        default: return 0;
    }
}

RecordingInfo RecordingInfoOf(const LoggerImage& image, const InputTable* const tables[2]) {
    RecordingInfo info;
    info.PeriodSeconds = LoggingPeriodSeconds(image.Parameters);
    auto finite = [](double v) -> std::optional<double> {
        if (std::isfinite(v)) return v;
        return std::nullopt;
    };
    for (int n = 0; n < 2; ++n) {
        InputRecording& in = info.Input[n];
        const InputParameters& p = image.Parameters.Input[n];
        const std::uint8_t code = image.InputInfo.InputType[n];
        in.Known = true;
        try {
            switch (code & 0x0F) {
                case 1:
                case 9:
                    in.Low = finite(CurrentAlarmFromRaw(image, n, p.AlarmLowRaw));
                    in.High = finite(CurrentAlarmFromRaw(image, n, p.AlarmHighRaw));
                    break;
                case 5:
                case 7:
                    in.Temperature = true;
                    in.Low = finite(TemperatureFromRaw(image, n, p.AlarmLowRaw));
                    in.High = finite(TemperatureFromRaw(image, n, p.AlarmHighRaw));
                    break;
                case 15:
                    in.Temperature = code == 47;
                    if (tables && tables[n] && (code == 47 || code == 63)) {
                        in.Low = finite(TableAlarmFromRaw(*tables[n], p.AlarmLowRaw));
                        in.High = finite(TableAlarmFromRaw(*tables[n], p.AlarmHighRaw));
                    }
                    break;
                default:
                    break;
            }
        } catch (const std::exception&) {
            // A limit that cannot be computed is left out.
            in.Low.reset();
            in.High.reset();
        }
        if (in.Low && in.High && *in.Low > *in.High) std::swap(in.Low, in.High);
    }
    return info;
}

ArchiveParameterRecord BuildParameterRecord(const LoggerImage& image, Lang language,
                                            const InputTable* const tables[2]) {
    ArchiveParameterRecord r;
    PutF32(r.Bytes.data(), kParameterVersion);
    PutI32(r.Bytes.data() + 4, kParameterModel);
    char serial[32];
    std::snprintf(serial, sizeof serial, "%8.8d", static_cast<int>(image.SerialNumber));
    r.SetSerialNumber(serial);
    r.Bytes[kMarker] = 1;

    FieldDescriptor time;
    time.Type = kFieldTypeDateTime;
    time.Name = "DATETIME";
    time.Label = Tr(language, "Datum a čas", "Date time");
    time.Unit = "dd/mm/yyyy  hh:nn:ss";
    time.Decimals = 0;
    r.SetDescriptor(0, time);

    std::int32_t width = 150;
    int k = 1;
    const bool in1 = (image.Parameters.ArchiveFlags & kFlagRecordInput1) != 0;
    const bool in2 = (image.Parameters.ArchiveFlags & kFlagRecordInput2) != 0;
    AxisSettings left, right;
    auto input = [&](int n, const char* name, std::int32_t colour, AxisSettings& axis) {
        FieldDescriptor d;
        d.Type = kFieldTypeFloat;
        d.Name = name;
        d.Label = image.Parameters.Input[n].Name();
        d.Unit = image.Parameters.Input[n].Unit();
        d.Decimals = 1;
        r.SetDescriptor(k, d);
        width += 65;
        const auto range = RecordRange(image, n);
        axis.Source = k;
        axis.Automatic = 0;
        axis.Minimum = range.first;
        axis.Maximum = range.second;
        axis.Colour = colour;
        axis.Marker = 1;
        ++k;
    };
    if (in1) input(0, "VSTUP1", 0x0000FF, left);
    if (in2) input(1, "VSTUP2", 0x008000, right);
    if (!in1) left = right;
    if (!in2) right = left;
    r.SetLeftAxis(left);
    r.SetRightAxis(right);
    r.SetPanelWidth(width);
    r.SetFieldCount(k);
    r.SetRecording(RecordingInfoOf(image, tables));
    return r;
}

// ---- legacy image -----------------------------------------------------------

LegacyParameterImage LegacyParameterImage::Decode(const std::uint8_t* p) {
    LegacyParameterImage l;
    l.Image = LoggerImage::Decode(p);
    l.Checksum = GetU16(p + 184);
    l.Reserved186 = {p[186], p[187]};
    return l;
}

std::array<std::uint8_t, kLegacyParameterSize> LegacyParameterImage::Encode() const {
    std::array<std::uint8_t, kLegacyParameterSize> b{};
    Image.Encode(b.data());
    PutU16(b.data() + 184, ComputeChecksum(b.data()));
    b[186] = Reserved186[0];
    b[187] = Reserved186[1];
    return b;
}

std::uint16_t LegacyParameterImage::ComputeChecksum(const std::uint8_t* p) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 184; ++i) sum += p[i];
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

// ---- weeks and file names -----------------------------------------------------

// WeekOfYear and WeekStart come from base/DateTime.h.

std::string PeriodSuffix(SplitPeriod period, double dateTime) {
    const DateTimeParts p = DecodeDateTime(dateTime);
    char buf[40];
    switch (period) {
        case SplitPeriod::Year: std::snprintf(buf, sizeof buf, "-%4.4d", p.Year); break;
        case SplitPeriod::Month: std::snprintf(buf, sizeof buf, "-%4.4d-%2.2d", p.Year, p.Month); break;
        case SplitPeriod::Week: std::snprintf(buf, sizeof buf, "-%4.4d-w%2.2d", p.Year, WeekOfYear(dateTime)); break;
        case SplitPeriod::Day: std::snprintf(buf, sizeof buf, "-%4.4d-%2.2d-%2.2d", p.Year, p.Month, p.Day); break;
    }
    return buf;
}

std::string PeriodFilePath(const std::string& basePath, SplitPeriod period, double dateTime) {
    const std::string ext = ExtractFileExt(basePath);
    return ReplaceExtension(basePath, "") + PeriodSuffix(period, dateTime) + ext;
}

}  // namespace kolvex
