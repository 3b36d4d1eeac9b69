// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/LoggerDevice.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <stdexcept>

namespace kolvex::sim {

// ---------------------------------------------------------------- framing

void FrameParser::Feed(const std::uint8_t* data, std::size_t count) {
    buffer_.insert(buffer_.end(), data, data + count);
}

std::optional<Bytes> FrameParser::Next() {
    for (;;) {
        // Resynchronise on the start byte.
        auto start = std::find(buffer_.begin(), buffer_.end(), std::uint8_t{0x5A});
        discarded_ += static_cast<std::size_t>(start - buffer_.begin());
        buffer_.erase(buffer_.begin(), start);
        if (buffer_.size() < 2) return std::nullopt;
        const std::size_t len = buffer_[1];
        if (len < 4) {  // shorter than start, LEN, address and command
            buffer_.erase(buffer_.begin());
            ++discarded_;
            continue;
        }
        if (buffer_.size() < len + 1) return std::nullopt;
        if (Checksum(buffer_.data(), len) == buffer_[len]) {
            Bytes frame(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(len + 1));
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(len + 1));
            return frame;
        }
        buffer_.erase(buffer_.begin());  // bad check sum: search the next start byte
        ++discarded_;
    }
}

void FrameParser::DropStale() {
    if (buffer_.empty()) return;
    buffer_.erase(buffer_.begin());
    ++discarded_;
}

// ---------------------------------------------------------------- defaults

namespace {

constexpr double kRecordFull = 64255.0;
constexpr double kPi = 3.14159265358979323846;

// Callendar-Van Dusen characteristic of a platinum sensor of r0 ohms.
double Resistance(double t, double r0) {
    constexpr double A = 3.9083e-3, B = -5.775e-7, C = -4.183e-12;
    double r = 1 + A * t + B * t * t;
    if (t < 0) r += C * (t - 100) * t * t * t;
    return r0 * r;
}

std::uint16_t ClampRaw(double v, double hi = 65535.0) {
    v = std::nearbyint(v);
    if (v < 0) v = 0;
    if (v > hi) v = hi;
    return static_cast<std::uint16_t>(v);
}

enum class Kind { Unused, Resistance, Current, Voltage, Pt10000, Humidity };

Kind KindOf(std::uint8_t code) {
    if (code == 0x2F) return Kind::Pt10000;
    if (code == 0x3F) return Kind::Humidity;
    if ((code & 0x01) == 0) return Kind::Unused;
    switch (code & 0x0F) {
        case 5: case 7: return Kind::Resistance;
        case 1: return Kind::Current;
        case 9: return Kind::Voltage;
        default: return Kind::Unused;
    }
}

struct InputDefaults {
    std::string name, unit;
    float signalLow = 0, signalHigh = 0, rangeLow = 0, rangeHigh = 0;
    float recordOffset = 0, recordScale = 0;
    std::uint16_t alarmLow = 0, alarmHigh = 0;
    float factor = 0, sensorLow = 0, sensorHigh = 0;
    std::uint8_t caps = 0;
    bool table = false;
    float x[16] = {}, y[16] = {};
};

// x for a given y on an ascending table (linear interpolation).
double TableX(const InputDefaults& d, double y) {
    int i = 0;
    while (i < 14 && y > d.y[i + 1]) ++i;
    return d.x[i] + (d.x[i + 1] - d.x[i]) * (y - d.y[i]) / (d.y[i + 1] - d.y[i]);
}

// Factory description of an input by its type code. Current and voltage
// inputs may be set up by the user (capability bit 0) and use the unipolar
// converter range (bit 2); temperature and table inputs are fixed by the
// logger (bit 0 clear), so the PC reads their fixed section. Every input in
// use offers alarm indication (bit 6).
InputDefaults DefaultsFor(std::uint8_t code) {
    InputDefaults d;
    const std::string degC = "\xB0" "C";
    switch (KindOf(code)) {
        case Kind::Unused:
            break;
        case Kind::Resistance: {
            static const double mult[4] = {1, 2, 5, 10};
            const double f = mult[code >> 6];
            d.name = "Teplota";
            d.unit = degC;
            d.rangeLow = -50;
            d.rangeHigh = 150;
            d.recordOffset = 50;
            d.recordScale = static_cast<float>(kRecordFull / 200.0);
            d.factor = static_cast<float>(400.0 * f / 65536.0);
            // Alarm limits in converter counts: resistance / factor.
            d.alarmLow = ClampRaw(Resistance(0, 100 * f) / d.factor);
            d.alarmHigh = ClampRaw(Resistance(100, 100 * f) / d.factor);
            d.sensorLow = -50;
            d.sensorHigh = 150;
            d.caps = 0x40;
            break;
        }
        case Kind::Current: {
            d.name = "Proud";
            d.unit = "%";
            d.signalLow = 4;
            d.signalHigh = 20;
            d.rangeLow = 0;
            d.rangeHigh = 100;
            d.recordOffset = -4;
            d.recordScale = static_cast<float>(kRecordFull / 16.0);
            d.factor = static_cast<float>(25.0 / 65536.0);
            // Unipolar converter 0..25 mA: engineering value at its ends.
            const double slope = 100.0 / 16.0;
            const double convLow = 0 - 4 * slope, convHigh = (25 - 4) * slope;
            d.alarmLow = ClampRaw((10 - convLow) / (convHigh - convLow) * 65536);
            d.alarmHigh = ClampRaw((90 - convLow) / (convHigh - convLow) * 65536);
            d.caps = 0x45;
            break;
        }
        case Kind::Voltage: {
            d.name = "Nap\xECt\xED";
            d.unit = "V";
            d.signalLow = 0;
            d.signalHigh = 10;
            d.rangeLow = 0;
            d.rangeHigh = 10;
            d.recordOffset = 0;
            d.recordScale = static_cast<float>(kRecordFull / 10.0);
            d.factor = static_cast<float>(12.5 / 65536.0);
            d.alarmLow = ClampRaw(1.0 / 12.5 * 65536);
            d.alarmHigh = ClampRaw(9.0 / 12.5 * 65536);
            d.caps = 0x45;
            break;
        }
        case Kind::Pt10000: {
            d.name = "Teplota";
            d.unit = degC;
            d.recordOffset = 50;
            d.recordScale = static_cast<float>(kRecordFull / 200.0);
            d.factor = 1.0f;
            d.sensorLow = -50;
            d.sensorHigh = 150;
            d.caps = 0x40;
            d.table = true;
            for (int i = 0; i < 16; ++i) {
                const double t = -50.0 + i * 200.0 / 15.0;
                d.x[i] = static_cast<float>(Resistance(t, 10000));
                d.y[i] = static_cast<float>(t);
            }
            d.alarmLow = ClampRaw(1e6 / TableX(d, 0));
            d.alarmHigh = ClampRaw(1e6 / TableX(d, 100));
            break;
        }
        case Kind::Humidity: {
            d.name = "Vlhkost";
            d.unit = "% rv";
            d.rangeLow = 0;
            d.rangeHigh = 100;
            d.recordOffset = 0;
            d.recordScale = static_cast<float>(kRecordFull / 100.0);
            d.factor = 1.0f;
            d.sensorLow = 0;
            d.sensorHigh = 100;
            d.caps = 0x40;
            d.table = true;
            for (int i = 0; i < 16; ++i) {
                d.x[i] = static_cast<float>(100 + 10 * i);
                d.y[i] = static_cast<float>(i * 100.0 / 15.0);
            }
            d.alarmLow = ClampRaw(1e6 / TableX(d, 20));
            d.alarmHigh = ClampRaw(1e6 / TableX(d, 80));
            break;
        }
    }
    return d;
}

// Fills one 48-byte InputParameters record.
void PutInputParameters(std::uint8_t* p, const InputDefaults& d) {
    std::fill(p, p + 48, std::uint8_t{0});
    PutText(p, 12, d.name);
    PutText(p + 12, 4, d.unit);
    PutF32(p + 16, d.signalLow);
    PutF32(p + 20, d.signalHigh);
    PutF32(p + 24, d.rangeLow);
    PutF32(p + 28, d.rangeHigh);
    PutF32(p + 32, d.recordOffset);
    PutF32(p + 36, d.recordScale);
    PutU16(p + 40, d.alarmLow);
    PutU16(p + 42, d.alarmHigh);
}

std::int64_t EvenCeil(std::int64_t v) { return (v % 2 != 0) ? v + 1 : v; }
std::int64_t EvenFloor(std::int64_t v) { return (v % 2 != 0) ? v - 1 : v; }

std::tm Broken(std::int64_t wall) {
    std::time_t t = static_cast<std::time_t>(wall);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

}  // namespace

// ---------------------------------------------------------------- device

LoggerDevice::LoggerDevice(const SimOptions& options, TimeSource time)
    : options_(options), time_(std::move(time)) {
    if (options_.LoggerType < 1 || options_.LoggerType > 255)
        throw std::invalid_argument("logger type out of range");
    archiveSize_ = options_.ArchiveSize;
    if (archiveSize_ < 256 || (archiveSize_ & (archiveSize_ - 1)) != 0)
        throw std::invalid_argument("archive size must be a power of two of at least 256");
    if (!time_) time_ = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    BuildDefaults();

    archive_.assign(archiveSize_, 0xFF);
    const int period = PeriodSeconds();
    archiving_ = period > 0;
    if (archiving_) {
        const std::int64_t now = WallNowLocked();
        if (options_.Samples > 0)
            nextSample_ = EvenFloor(now - static_cast<std::int64_t>(options_.Samples - 1) * period);
        else
            nextSample_ = EvenCeil(now + period);
        needHeader_ = true;
        UpdateLocked();
    }
}

void LoggerDevice::BuildDefaults() {
    identification_.assign(38, 0);
    PutText(identification_.data(), 16, "KOLVEX SIM");
    PutText(identification_.data() + 16, 16, "QUENDAL 730");
    identification_[32] = static_cast<std::uint8_t>(options_.LoggerType);
    identification_[33] = static_cast<std::uint8_t>(options_.VersionMinor);
    PutU32(identification_.data() + 34, options_.SerialNumber);

    parameters_.assign(160, 0);
    parameters_[1] = ToBcd(std::clamp(options_.PeriodValue, 0, 99));
    parameters_[2] = static_cast<std::uint8_t>(options_.PeriodUnit);
    parameters_[3] = static_cast<std::uint8_t>((options_.RecordFlags & 0x03) |
                                               (options_.TwoByteSamples ? 0x04 : 0));
    PutText(parameters_.data() + 16, 16, "QUENDAL 730 SIM");

    factorySections_.assign(96, 0);
    inputInfo_.assign(48, 0);
    for (int n = 0; n < 2; ++n) {
        const InputDefaults d = DefaultsFor(options_.InputType[n]);
        PutInputParameters(parameters_.data() + 32 + 48 * n, d);
        PutInputParameters(factorySections_.data() + 48 * n, d);
        inputInfo_[n] = options_.InputType[n];
        inputInfo_[2 + n] = options_.InputCaps[n] == 0xFF ? d.caps : options_.InputCaps[n];
        PutU16(inputInfo_.data() + 16 + 2 * n, 0);
        PutF32(inputInfo_.data() + 20 + 4 * n, d.factor);
        PutF32(inputInfo_.data() + 32 + 8 * n, d.sensorLow);
        PutF32(inputInfo_.data() + 36 + 8 * n, d.sensorHigh);
        tables_[n].assign(128, 0);
        if (d.table) {
            for (int i = 0; i < 16; ++i) {
                PutF32(tables_[n].data() + 8 * i, d.x[i]);
                PutF32(tables_[n].data() + 8 * i + 4, d.y[i]);
            }
        }
    }
    PutU32(inputInfo_.data() + 8, archiveSize_);

    diagnostics_.assign(17, 0);
    diagnostics_[3] = 36;  // battery 3.6 V now
    diagnostics_[4] = 34;  // lowest since clearing 3.4 V

    if (FloatLayout()) {
        IeeeToLogger(parameters_.data() + 48, 6);
        IeeeToLogger(parameters_.data() + 96, 6);
        IeeeToLogger(factorySections_.data() + 16, 6);
        IeeeToLogger(factorySections_.data() + 64, 6);
        IeeeToLogger(inputInfo_.data() + 20, 2);
        IeeeToLogger(inputInfo_.data() + 32, 4);
        IeeeToLogger(tables_[0].data(), 32);
        IeeeToLogger(tables_[1].data(), 32);
    }
}

std::int64_t LoggerDevice::HostWallNow() const {
    std::time_t t = static_cast<std::time_t>(time_());
    std::tm lt{};
    localtime_r(&t, &lt);
    return static_cast<std::int64_t>(t) + lt.tm_gmtoff;
}

std::int64_t LoggerDevice::WallNowLocked() const { return HostWallNow() + clockOffset_; }

int LoggerDevice::PeriodSeconds() const {
    const int value = FromBcd(parameters_[1]);
    switch (parameters_[2] & 0x07) {
        case 2: return value;
        case 3: return value * 60;
        case 4: return value * 3600;
        default: return 0;
    }
}

bool LoggerDevice::Cyclic() const {
    // Only loggers above type 3 know non-cyclic recording.
    return options_.LoggerType <= 3 || (parameters_[3] & 0x10) == 0;
}

std::uint16_t LoggerDevice::RawAt(int input, std::int64_t wall) const {
    if ((options_.InputType[input] & 0x01) == 0) return 0;
    const double cycle = input == 0 ? 600.0 : 900.0;  // slow sine per input
    const double phase = input == 0 ? 0.0 : 1.0;
    const double angle = 2 * kPi * std::fmod(static_cast<double>(wall), cycle) / cycle + phase;
    return ClampRaw(32127.5 + 24000.0 * std::sin(angle), kRecordFull);
}

std::uint16_t LoggerDevice::CurrentRaw(int input) const {
    std::lock_guard lock(mutex_);
    return RawAt(input, WallNowLocked());
}

void LoggerDevice::Update() {
    std::lock_guard lock(mutex_);
    UpdateLocked();
}

void LoggerDevice::Rebase(std::int64_t wall) {
    const int period = PeriodSeconds();
    archiving_ = period > 0;
    if (archiving_) nextSample_ = EvenCeil(wall + period);
    needHeader_ = true;
}

void LoggerDevice::UpdateLocked() {
    if (!archiving_) return;
    const std::int64_t period = PeriodSeconds();
    const std::int64_t now = WallNowLocked();
    if (nextSample_ > now) return;
    std::int64_t due = (now - nextSample_) / period + 1;
    // More samples than the ring can hold: only the newest can survive.
    const std::int64_t most = archiveSize_;
    if (due > most) {
        nextSample_ += (due - most) * period;
        due = most;
        needHeader_ = true;
    }
    for (std::int64_t i = 0; i < due; ++i) {
        ArchiveOneSample(nextSample_);
        nextSample_ += period;
    }
}

std::uint32_t LoggerDevice::Available() const {
    if (full_) return 0;
    if (readPtr_ == writePtr_) return archiveSize_;
    return (readPtr_ - writePtr_) & (archiveSize_ - 1);
}

void LoggerDevice::PutByte(std::uint8_t b) {
    archive_[writePtr_] = b;
    writePtr_ = (writePtr_ + 1) & (archiveSize_ - 1);
}

bool LoggerDevice::ArchiveOneSample(std::int64_t sampleWall) {
    const std::uint8_t flags = parameters_[3];
    if ((flags & 0x03) == 0) return true;  // nothing to record
    const bool twoByte = (flags & 0x04) != 0;
    Bytes sample;
    for (int n = 0; n < 2; ++n) {
        if ((flags & (1 << n)) == 0) continue;
        const std::uint16_t raw = RawAt(n, sampleWall);
        if (twoByte) {
            const std::uint16_t v = std::min<std::uint16_t>(raw, 0xFAFF);
            sample.push_back(static_cast<std::uint8_t>(v >> 8));
            sample.push_back(static_cast<std::uint8_t>(v & 0xFF));
        } else {
            sample.push_back(std::min<std::uint8_t>(static_cast<std::uint8_t>(raw >> 8), 0xFA));
        }
    }

    const std::uint32_t off = writePtr_ & 0xFF;
    const std::uint32_t len = static_cast<std::uint32_t>(sample.size());
    bool header = needHeader_ || off == 0;
    std::uint32_t need = (header ? 8 : 0) + len;
    const bool newBlock = off == 0 || off + need > 256;
    if (newBlock) {
        header = true;
        need = 8 + len;
    }
    const std::uint32_t fill = (newBlock && off != 0) ? 256 - off : 0;
    const std::uint32_t avail = Available();
    const bool empty = !full_ && readPtr_ == writePtr_;
    // Would this record reach the read pointer or erase unread bytes?
    const bool overrun = !empty && (newBlock ? avail < fill + 256 : avail <= need);

    if (!Cyclic()) {
        if (full_ || (overrun && !(avail == need && !newBlock))) {
            full_ = true;
            needHeader_ = true;  // the gap needs a new time base afterwards
            return false;
        }
    }

    for (std::uint32_t i = 0; i < fill; ++i) PutByte(0xFF);
    if (newBlock) std::fill_n(archive_.begin() + writePtr_, 256, std::uint8_t{0xFF});
    if (header) {
        const std::tm tm = Broken(sampleWall);
        const std::uint16_t timeWord =
            static_cast<std::uint16_t>((tm.tm_sec / 2) | (tm.tm_min << 5) | (tm.tm_hour << 11));
        const std::uint16_t dateWord = static_cast<std::uint16_t>(
            tm.tm_mday | ((tm.tm_mon + 1) << 5) | ((tm.tm_year + 1900 - 1980) << 9));
        PutByte(0xFB);
        PutByte(parameters_[1]);
        PutByte(parameters_[2]);
        PutByte(parameters_[3]);
        PutByte(static_cast<std::uint8_t>(timeWord & 0xFF));
        PutByte(static_cast<std::uint8_t>(timeWord >> 8));
        PutByte(static_cast<std::uint8_t>(dateWord & 0xFF));
        PutByte(static_cast<std::uint8_t>(dateWord >> 8));
    }
    for (std::uint8_t b : sample) PutByte(b);
    needHeader_ = false;

    if (overrun) {
        full_ = true;
        // Cyclic recording drags the bookmark along; a non-cyclic logger
        // only gets here when it met the read pointer exactly.
        if (Cyclic()) readPtr_ = writePtr_;
    }
    return true;
}

// ---------------------------------------------------------------- frames

Bytes LoggerDevice::HandleFrame(const Bytes& frame) {
    std::lock_guard lock(mutex_);
    if (frame.size() < 5) return {};
    const std::size_t len = frame[1];
    if (frame.size() != len + 1 || len < 4) return {};
    const std::uint8_t address = frame[2];
    if (address != 0xFF && address != busAddress_) return {};
    const std::uint8_t command = frame[3];
    const int a = AddressLength(command);
    if (a < 0) return {};

    UpdateLocked();
    const Bytes nak{Nak};
    std::uint32_t start = 0;
    for (int i = 0; i < a && 4 + i < static_cast<int>(len); ++i)
        start |= static_cast<std::uint32_t>(frame[4 + i]) << (8 * i);

    if ((command & 0x80) == 0) {
        int count = 0;
        if (a == 0) {
            if (len != 4) return nak;
            count = command == 0x08 ? 8 : 0;
        } else {
            if (len != static_cast<std::size_t>(5 + a)) return nak;
            count = frame[4 + a];
        }
        if (count > BlockLimit()) return nak;
        bool ok = false;
        Bytes data = ReadArea(command, start, count, ok);
        if (!ok) return nak;
        Bytes reply{0x5A, static_cast<std::uint8_t>(data.size() + 3), busAddress_};
        reply.insert(reply.end(), data.begin(), data.end());
        reply.push_back(Checksum(reply.data(), reply.size()));
        return reply;
    }

    Bytes data;
    if (a == 0) {
        data.assign(frame.begin() + 4, frame.begin() + static_cast<std::ptrdiff_t>(len));
    } else {
        if (len < static_cast<std::size_t>(5 + a)) return nak;
        const std::size_t n = frame[4 + a];
        if (len != 5 + a + n) return nak;
        data.assign(frame.begin() + 5 + a, frame.begin() + static_cast<std::ptrdiff_t>(len));
    }
    if (static_cast<int>(data.size()) > BlockLimit()) return nak;
    return WriteArea(command, start, data) ? Bytes{Ack} : nak;
}

Bytes LoggerDevice::AreaImage(std::uint8_t command) const {
    switch (command) {
        case 0x00:
            return identification_;
        case 0x08: {
            const std::tm tm = Broken(WallNowLocked());
            return Bytes{static_cast<std::uint8_t>(tm.tm_sec), static_cast<std::uint8_t>(tm.tm_min),
                         static_cast<std::uint8_t>(tm.tm_hour), static_cast<std::uint8_t>(tm.tm_wday),
                         static_cast<std::uint8_t>(tm.tm_mday), static_cast<std::uint8_t>(tm.tm_mon + 1),
                         static_cast<std::uint8_t>(std::clamp(tm.tm_year - 100, 0, 255)), 0};
        }
        case 0x09: {
            Bytes b(26, 0);
            PutU32(b.data(), readPtr_);
            PutU32(b.data() + 4, writePtr_);
            b[8] = full_ ? 0x10 : 0x00;
            std::copy(diagnostics_.begin(), diagnostics_.end(), b.begin() + 9);
            return b;
        }
        case 0x10: {
            Bytes b(8, 0);
            const std::int64_t now = WallNowLocked();
            PutU16(b.data() + 4, RawAt(0, now));
            PutU16(b.data() + 6, RawAt(1, now));
            return b;
        }
        case 0x18:
            return options_.LoggerType < 3 ? Bytes(inputInfo_.begin(), inputInfo_.begin() + 32)
                                           : inputInfo_;
        case 0x1B:
            return factorySections_;
        case 0x21:
            return parameters_;
        case 0x28:
        case 0x29: {
            const int n = command - 0x28;
            const std::uint8_t code = options_.InputType[n];
            if (code != 0x2F && code != 0x3F) return {};  // no table for this input
            return tables_[n];
        }
        default:
            return {};
    }
}

Bytes LoggerDevice::ReadArea(std::uint8_t command, std::uint32_t address, int count, bool& ok) {
    ok = false;
    if (command == 0x23) {
        Bytes b(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            b[static_cast<std::size_t>(i)] = archive_[(address + static_cast<std::uint32_t>(i)) & (archiveSize_ - 1)];
        ok = true;
        return b;
    }
    const Bytes image = AreaImage(command);
    if (image.empty()) return {};
    if (address > image.size() || address + static_cast<std::uint32_t>(count) > image.size()) return {};
    ok = true;
    return Bytes(image.begin() + address, image.begin() + address + count);
}

bool LoggerDevice::WriteArea(std::uint8_t command, std::uint32_t address, const Bytes& data) {
    const std::uint32_t n = static_cast<std::uint32_t>(data.size());
    switch (command) {
        case 0x88: {
            if (n != 8) return false;
            const int sec = data[0], min = data[1], hour = data[2], day = data[4], month = data[5];
            const int year = 2000 + data[6];
            static const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            if (sec > 59 || min > 59 || hour > 23 || month < 1 || month > 12 || day < 1 ||
                day > days[month - 1] || data[6] > 99)
                return false;
            const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
            if (month == 2 && day == 29 && !leap) return false;
            std::tm tm{};
            tm.tm_sec = sec;
            tm.tm_min = min;
            tm.tm_hour = hour;
            tm.tm_mday = day;
            tm.tm_mon = month - 1;
            tm.tm_year = year - 1900;
            const std::int64_t wall = static_cast<std::int64_t>(timegm(&tm));
            clockOffset_ = wall - HostWallNow();
            // The archive continues from the new time with a new time base.
            Rebase(wall);
            return true;
        }
        case 0x81:
            if (n != 1) return false;
            busAddress_ = data[0];
            return true;
        case 0x89: {
            if (address + n > 26) return false;
            if (n == 0) return true;
            // The write pointer and the status byte are the logger's own.
            if (address < 9 && address + n > 4) return false;
            if (address < 4) {
                std::uint8_t ptr[4];
                PutU32(ptr, readPtr_);
                for (std::uint32_t i = 0; i < n && address + i < 4; ++i) ptr[address + i] = data[i];
                readPtr_ = GetU32(ptr) & (archiveSize_ - 1);
                if (full_) needHeader_ = true;  // a stopped archive resumes with a new time base
                full_ = false;
            } else {
                std::copy(data.begin(), data.end(), diagnostics_.begin() + (address - 9));
            }
            return true;
        }
        case 0x99: {
            if (address + n > 3) return false;
            std::copy(data.begin(), data.end(), parameters_.begin() + 1 + address);
            // New settings: the archive continues under a new header.
            Rebase(WallNowLocked());
            return true;
        }
        case 0x9A: {
            if (address + n > 124) return false;
            std::copy(data.begin(), data.end(), parameters_.begin() + 4 + address);
            return true;
        }
        default:
            return false;
    }
}

// ---------------------------------------------------------------- snapshots

Bytes LoggerDevice::ParameterBlockBytes() const {
    std::lock_guard lock(mutex_);
    Bytes b(parameters_.begin(), parameters_.begin() + 128);
    if (FloatLayout()) {
        LoggerToIeee(b.data() + 48, 6);
        LoggerToIeee(b.data() + 96, 6);
    }
    return b;
}

Bytes LoggerDevice::InputInfoBytes() const {
    std::lock_guard lock(mutex_);
    Bytes b = inputInfo_;
    if (FloatLayout()) {
        LoggerToIeee(b.data() + 20, 2);
        LoggerToIeee(b.data() + 32, 4);
    }
    return b;
}

std::int32_t LoggerDevice::ArchiveRead() const {
    std::lock_guard lock(mutex_);
    const_cast<LoggerDevice*>(this)->UpdateLocked();
    return static_cast<std::int32_t>(readPtr_);
}

std::int32_t LoggerDevice::ArchiveWrite() const {
    std::lock_guard lock(mutex_);
    const_cast<LoggerDevice*>(this)->UpdateLocked();
    return static_cast<std::int32_t>(writePtr_);
}

std::uint8_t LoggerDevice::ArchiveStatus() const {
    std::lock_guard lock(mutex_);
    const_cast<LoggerDevice*>(this)->UpdateLocked();
    return full_ ? 0x10 : 0x00;
}

Bytes LoggerDevice::DiagnosticBytes() const {
    std::lock_guard lock(mutex_);
    return diagnostics_;
}

void LoggerDevice::SetDiagnosticBytes(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    std::copy_n(bytes.begin(), std::min(bytes.size(), diagnostics_.size()), diagnostics_.begin());
}

std::uint8_t LoggerDevice::BusAddress() const {
    std::lock_guard lock(mutex_);
    return busAddress_;
}

std::int64_t LoggerDevice::LoggerWallNow() const {
    std::lock_guard lock(mutex_);
    return WallNowLocked();
}

std::int64_t LoggerDevice::NextSampleWall() const {
    std::lock_guard lock(mutex_);
    return nextSample_;
}

std::string LoggerDevice::ClockText() const {
    std::lock_guard lock(mutex_);
    const std::tm tm = Broken(WallNowLocked());
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

Bytes LoggerDevice::ArchiveBytes() const {
    std::lock_guard lock(mutex_);
    const_cast<LoggerDevice*>(this)->UpdateLocked();
    return archive_;
}

}  // namespace kolvex::sim
