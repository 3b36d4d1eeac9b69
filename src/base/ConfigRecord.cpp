// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ConfigRecord.h"
#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Bytes.h"
#include "base/Cp1250.h"
#include "base/PortText.h"
#include "base/ReadFile.h"

namespace kolvex {

namespace {

// Field offsets of the 344-byte image.
namespace off {
constexpr std::size_t Marker = 0;
constexpr std::size_t WindowTop = 4;
constexpr std::size_t WindowLeft = 8;
constexpr std::size_t WindowHeight = 12;
constexpr std::size_t WindowWidth = 16;
constexpr std::size_t MeasuringOn = 20;
constexpr std::size_t Language = 24;
constexpr std::size_t BusAddress = 28;
constexpr std::size_t Byte29 = 29;
constexpr std::size_t ComPort = 30;  // length byte + 4 characters
constexpr std::size_t Byte35 = 35;
constexpr std::size_t TIdle = 36;
constexpr std::size_t TSlot = 38;
constexpr std::size_t SetClockFromPC = 40;
constexpr std::size_t LastArchivePath = 44;  // length byte + 128 characters
constexpr std::size_t ViewerTab = 176;
constexpr std::size_t ViewerGridWidth = 180;
constexpr std::size_t NameSource = 184;
constexpr std::size_t SplitFlags = 188;
constexpr std::size_t ReadMode = 192;
constexpr std::size_t InsertBookmark = 196;
constexpr std::size_t PrintPeriod = 200;
constexpr std::size_t StepIndex = 232;
constexpr std::size_t ChartPeriod = 240;
constexpr std::size_t ExportPeriod = 272;
constexpr std::size_t Word304 = 304;
constexpr std::size_t ErasePeriod = 312;
}  // namespace off

constexpr std::size_t kComPortCapacity = 4;

// A path that does not fit the port name field (counted in characters).
bool NeedsCompanionFile(const std::string& name) {
    std::size_t chars = 0;
    for (unsigned char c : name) chars += (c & 0xC0) != 0x80;
    return IsDevicePath(name) && chars > kComPortCapacity;
}
constexpr std::size_t kArchivePathCapacity = 128;

double GetF64(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void PutF64(std::uint8_t* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// A counted string is rewritten only when its text changed, so that the
// bytes behind the length (which no one reads) stay exactly as read.
void EncodeCountedString(std::uint8_t* p, std::size_t capacity, const std::string& utf8) {
    if (ReadCountedString(p, capacity) == utf8) return;
    WriteCountedString(p, capacity, utf8);
}

bool WriteAllTo(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

PeriodSettings PeriodSettings::Decode(const std::uint8_t* p) {
    PeriodSettings s;
    s.Kind = GetI32(p + 0);
    s.Year = GetU16(p + 4);
    s.MonthIndex = GetU16(p + 6);
    s.Day = GetU16(p + 8);
    s.Week = GetU16(p + 10);
    std::copy(p + 12, p + 16, s.Unused.begin());
    s.Start = GetF64(p + 16);
    s.End = GetF64(p + 24);
    return s;
}

void PeriodSettings::Encode(std::uint8_t* p) const {
    PutI32(p + 0, Kind);
    PutU16(p + 4, Year);
    PutU16(p + 6, MonthIndex);
    PutU16(p + 8, Day);
    PutU16(p + 10, Week);
    std::copy(Unused.begin(), Unused.end(), p + 12);
    PutF64(p + 16, Start);
    PutF64(p + 24, End);
}

ConfigRecord ConfigRecord::Decode(const std::uint8_t* bytes, std::size_t length) {
    ConfigRecord r;
    if (bytes != nullptr) std::memcpy(r.Raw.data(), bytes, std::min(length, kConfigRecordSize));
    const std::uint8_t* p = r.Raw.data();
    r.Marker = GetU16(p + off::Marker);
    r.WindowTop = GetI32(p + off::WindowTop);
    r.WindowLeft = GetI32(p + off::WindowLeft);
    r.WindowHeight = GetI32(p + off::WindowHeight);
    r.WindowWidth = GetI32(p + off::WindowWidth);
    r.MeasuringOn = p[off::MeasuringOn];
    r.Language = GetI32(p + off::Language);
    r.BusAddress = p[off::BusAddress];
    r.Byte29 = p[off::Byte29];
    r.ComPort = ReadCountedString(p + off::ComPort, kComPortCapacity);
    r.Byte35 = p[off::Byte35];
    r.TIdle = GetU16(p + off::TIdle);
    r.TSlot = GetU16(p + off::TSlot);
    r.SetClockFromPC = p[off::SetClockFromPC];
    r.LastArchivePath = ReadCountedString(p + off::LastArchivePath, kArchivePathCapacity);
    r.ViewerTab = GetI32(p + off::ViewerTab);
    r.ViewerGridWidth = GetI32(p + off::ViewerGridWidth);
    r.NameSource = GetI32(p + off::NameSource);
    r.SplitFlags = GetI32(p + off::SplitFlags);
    r.ReadMode = GetI32(p + off::ReadMode);
    r.InsertBookmark = p[off::InsertBookmark];
    r.PrintPeriod = PeriodSettings::Decode(p + off::PrintPeriod);
    r.StepIndex = GetI32(p + off::StepIndex);
    r.ChartPeriod = PeriodSettings::Decode(p + off::ChartPeriod);
    r.ExportPeriod = PeriodSettings::Decode(p + off::ExportPeriod);
    r.Word304 = GetI32(p + off::Word304);
    r.ErasePeriod = PeriodSettings::Decode(p + off::ErasePeriod);
    return r;
}

std::array<std::uint8_t, kConfigRecordSize> ConfigRecord::Encode() const {
    std::array<std::uint8_t, kConfigRecordSize> out = Raw;
    std::uint8_t* p = out.data();
    PutU16(p + off::Marker, Marker);
    PutI32(p + off::WindowTop, WindowTop);
    PutI32(p + off::WindowLeft, WindowLeft);
    PutI32(p + off::WindowHeight, WindowHeight);
    PutI32(p + off::WindowWidth, WindowWidth);
    p[off::MeasuringOn] = MeasuringOn;
    PutI32(p + off::Language, Language);
    p[off::BusAddress] = BusAddress;
    p[off::Byte29] = Byte29;
    // A port without a short alias stays in the companion file.
    EncodeCountedString(p + off::ComPort, kComPortCapacity, 
                        NeedsCompanionFile(ComPort) ? kCompanionPortAlias : ComPort);
    p[off::Byte35] = Byte35;
    PutU16(p + off::TIdle, TIdle);
    PutU16(p + off::TSlot, TSlot);
    p[off::SetClockFromPC] = SetClockFromPC;
    EncodeCountedString(p + off::LastArchivePath, kArchivePathCapacity, LastArchivePath);
    PutI32(p + off::ViewerTab, ViewerTab);
    PutI32(p + off::ViewerGridWidth, ViewerGridWidth);
    PutI32(p + off::NameSource, NameSource);
    PutI32(p + off::SplitFlags, SplitFlags);
    PutI32(p + off::ReadMode, ReadMode);
    p[off::InsertBookmark] = InsertBookmark;
    PrintPeriod.Encode(p + off::PrintPeriod);
    PutI32(p + off::StepIndex, StepIndex);
    ChartPeriod.Encode(p + off::ChartPeriod);
    ExportPeriod.Encode(p + off::ExportPeriod);
    PutI32(p + off::Word304, Word304);
    ErasePeriod.Encode(p + off::ErasePeriod);
    return out;
}

bool LoadConfigFile(const std::string& path, ConfigRecord& record, std::string* refusal) {
    std::string why;
    // Nothing is validated: a shorter file leaves the rest of the record
    // zero, a longer one is read up to the record's size.
    const auto bytes = ReadRegularFile(path, kConfigRecordSize, &why);
    if (refusal) *refusal = why;
    if (!bytes) return false;
    record = ConfigRecord::Decode(bytes->data(), bytes->size());
    if (SamePortName(record.ComPort, kCompanionPortAlias)) {
        // The alias stays when the companion file is gone; the port is then
        // reported as not found.
        const std::string companion = CompanionPortFile(path);
        if (const auto line = ReadRegularFile(companion, 4096, &why)) {
            std::string name(line->begin(), line->end());
            name = name.substr(0, std::min(name.find('\n'), name.find('\0')));
            while (!name.empty() && name.back() == '\r') name.pop_back();
            if (IsDevicePath(name)) record.ComPort = name;
        } else if (refusal) {
            *refusal = why;
        }
    }
    return true;
}

std::string CompanionPortFile(const std::string& configPath) {
    const std::string ext = ".cfg";
    if (configPath.size() >= ext.size() && configPath.compare(configPath.size() - ext.size(), ext.size(), ext) == 0)
        return configPath.substr(0, configPath.size() - ext.size()) + ".port";
    return configPath + ".port";
}

namespace {

bool SaveCompanionPortFile(const std::string& configPath, const std::string& name) {
    if (!NeedsCompanionFile(name)) return true;
    // Never written through a symbolic link.
    UniqueFd fd(::open(CompanionPortFile(configPath).c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd) return false;
    const std::string line = name + "\n";
    const bool ok = WriteAllTo(fd.Get(), reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    return fd.Close() && ok;
}

}  // namespace

bool SaveConfigFile(const std::string& path, ConfigRecord& record) {
    record.Marker = 111;
    const auto bytes = record.Encode();
    struct stat old {};
    const bool existed = ::lstat(path.c_str(), &old) == 0;
    if (existed && S_ISLNK(old.st_mode)) {
        errno = ELOOP;  // never written through a symbolic link
        return false;
    }
    std::string tmp;
    UniqueFd tmpFd = CreateTemporaryBeside(path, tmp);
    const int fd = tmpFd.Release();
    if (fd < 0) {
        // No temporary file beside it (a folder we may not write, only the
        // file): write the file in place rather than lose the settings.
        const int direct = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (direct < 0) return false;
        const bool ok = WriteAllTo(direct, bytes.data(), bytes.size());
        if (::close(direct) != 0 || !ok) return false;
        record.Raw = bytes;
        return SaveCompanionPortFile(path, record.ComPort);
    }
    const bool written = WriteAllTo(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    // A rewrite keeps the mode and owner of the file it replaces.
    if (existed && S_ISREG(old.st_mode)) KeepModeAndOwner(fd, old);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    record.Raw = bytes;
    return SaveCompanionPortFile(path, record.ComPort);
}

}  // namespace kolvex
