// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration file image, its defaults and placement clamping.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "app/ConfigDefaults.h"
#include "base/ConfigRecord.h"
#include "app/SystemInfo.h"
#include "link/SerCom.h"
#include "base/DateTime.h"

namespace kolvex {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "kolvex-cfg-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t U32At(const std::array<std::uint8_t, kConfigRecordSize>& b, std::size_t off) {
    return b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

double F64At(const std::array<std::uint8_t, kConfigRecordSize>& b, std::size_t off) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[off + static_cast<std::size_t>(i)];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

TEST(ConfigRecord, FieldsLieAtTheirOffsets) {
    ConfigRecord r;
    r.Marker = 0x1234;
    r.WindowTop = -5;
    r.WindowLeft = 0x01020304;
    r.WindowHeight = 700;
    r.WindowWidth = 1000;
    r.MeasuringOn = 1;
    r.Language = 1;
    r.BusAddress = 255;
    r.Byte29 = 1;
    r.ComPort = "COM3";
    r.Byte35 = 3;
    r.TIdle = 20;
    r.TSlot = 100;
    r.SetClockFromPC = 1;
    r.LastArchivePath = "/data/logger.dbf";
    r.ViewerTab = 2;
    r.ViewerGridWidth = 333;
    r.NameSource = 1;
    r.SplitFlags = 0x0F;
    r.ReadMode = 1;
    r.InsertBookmark = 1;
    r.PrintPeriod.Kind = 3;
    r.PrintPeriod.Year = 2024;
    r.PrintPeriod.MonthIndex = 11;
    r.PrintPeriod.Day = 31;
    r.PrintPeriod.Week = 53;
    r.PrintPeriod.Start = 45000.0;
    r.PrintPeriod.End = 45000.5;
    r.StepIndex = 9;
    r.ChartPeriod.Kind = 5;
    r.ChartPeriod.Start = 1.25;
    r.ChartPeriod.End = 2.75;
    r.ExportPeriod.Kind = 1;
    r.ExportPeriod.End = 7.0;
    r.Word304 = 9;
    r.ErasePeriod.Kind = 4;
    r.ErasePeriod.Start = -1.5;
    r.ErasePeriod.End = 3.0;

    const auto b = r.Encode();
    ASSERT_EQ(b.size(), 344u);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x12);
    EXPECT_EQ(U32At(b, 4), 0xFFFFFFFBu);
    EXPECT_EQ(U32At(b, 8), 0x01020304u);
    EXPECT_EQ(U32At(b, 12), 700u);
    EXPECT_EQ(U32At(b, 16), 1000u);
    EXPECT_EQ(b[20], 1);
    EXPECT_EQ(U32At(b, 24), 1u);
    EXPECT_EQ(b[28], 255);
    EXPECT_EQ(b[29], 1);
    EXPECT_EQ(b[30], 4);
    EXPECT_EQ(std::string(b.begin() + 31, b.begin() + 35), "COM3");
    EXPECT_EQ(b[35], 3);
    EXPECT_EQ(b[36] | (b[37] << 8), 20);
    EXPECT_EQ(b[38] | (b[39] << 8), 100);
    EXPECT_EQ(b[40], 1);
    EXPECT_EQ(b[44], 16);
    EXPECT_EQ(std::string(b.begin() + 45, b.begin() + 61), "/data/logger.dbf");
    EXPECT_EQ(U32At(b, 176), 2u);
    EXPECT_EQ(U32At(b, 180), 333u);
    EXPECT_EQ(U32At(b, 184), 1u);
    EXPECT_EQ(U32At(b, 188), 0x0Fu);
    EXPECT_EQ(U32At(b, 192), 1u);
    EXPECT_EQ(b[196], 1);
    EXPECT_EQ(U32At(b, 200), 3u);
    EXPECT_EQ(b[204] | (b[205] << 8), 2024);
    EXPECT_EQ(b[206], 11);
    EXPECT_EQ(b[208], 31);
    EXPECT_EQ(b[210], 53);
    EXPECT_DOUBLE_EQ(F64At(b, 216), 45000.0);
    EXPECT_DOUBLE_EQ(F64At(b, 224), 45000.5);
    EXPECT_EQ(U32At(b, 232), 9u);
    EXPECT_EQ(U32At(b, 240), 5u);
    EXPECT_DOUBLE_EQ(F64At(b, 256), 1.25);
    EXPECT_DOUBLE_EQ(F64At(b, 264), 2.75);
    EXPECT_EQ(U32At(b, 272), 1u);
    EXPECT_DOUBLE_EQ(F64At(b, 296), 7.0);
    EXPECT_EQ(U32At(b, 304), 9u);
    EXPECT_EQ(U32At(b, 312), 4u);
    EXPECT_DOUBLE_EQ(F64At(b, 328), -1.5);
    EXPECT_DOUBLE_EQ(F64At(b, 336), 3.0);

    // Decoding gives the same fields back.
    const ConfigRecord d = ConfigRecord::Decode(b.data(), b.size());
    EXPECT_EQ(d.WindowTop, -5);
    EXPECT_EQ(d.ComPort, "COM3");
    EXPECT_EQ(d.LastArchivePath, "/data/logger.dbf");
    EXPECT_EQ(d.PrintPeriod.Week, 53);
    EXPECT_DOUBLE_EQ(d.ErasePeriod.Start, -1.5);
    EXPECT_EQ(d.Encode(), b);
}

TEST(ConfigRecord, UnusedBytesAndUntouchedStringsAreKeptAsRead) {
    std::vector<std::uint8_t> bytes(kConfigRecordSize);
    std::mt19937 rng(7);
    for (auto& x : bytes) x = static_cast<std::uint8_t>(rng());
    // Valid counted strings, with garbage behind their length.
    bytes[30] = 3;
    bytes[31] = 'S';
    bytes[32] = 'I';
    bytes[33] = 'M';
    bytes[44] = 2;
    bytes[45] = 'a';
    bytes[46] = 'b';
    const ConfigRecord r = ConfigRecord::Decode(bytes.data(), bytes.size());
    EXPECT_EQ(r.ComPort, "SIM");
    EXPECT_EQ(r.LastArchivePath, "ab");
    const auto out = r.Encode();
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), bytes);

    // A changed string is written afresh: the unused characters become zero,
    // everything else stays.
    ConfigRecord changed = r;
    changed.ComPort = "USB0";
    const auto c = changed.Encode();
    EXPECT_EQ(c[30], 4);
    EXPECT_EQ(std::string(c.begin() + 31, c.begin() + 35), "USB0");
    for (std::size_t i = 0; i < kConfigRecordSize; ++i)
        if (i < 30 || i > 34) {
            EXPECT_EQ(c[i], bytes[i]) << "byte " << i;
        }
}

TEST(ConfigRecord, CountedStringsUseCp1250AndTheirCapacity) {
    std::uint8_t buf[130];
    std::memset(buf, 0xEE, sizeof buf);
    WriteCountedString(buf, 128, "Měření/Žluťoučký.dbf");
    EXPECT_EQ(buf[0], 20);
    EXPECT_EQ(buf[2], 0xEC);  // ě
    EXPECT_EQ(buf[8], 0x8E);   // Ž
    EXPECT_EQ(buf[21], 0);     // the rest is zero
    EXPECT_EQ(buf[128], 0);
    EXPECT_EQ(buf[129], 0xEE);  // nothing beyond the capacity
    EXPECT_EQ(ReadCountedString(buf, 128), "Měření/Žluťoučký.dbf");

    // Longer texts are cut to the capacity; a length byte above it is taken
    // as the capacity.
    std::uint8_t port[5];
    WriteCountedString(port, 4, "COM10");
    EXPECT_EQ(port[0], 4);
    EXPECT_EQ(ReadCountedString(port, 4), "COM1");
    port[0] = 200;
    EXPECT_EQ(ReadCountedString(port, 4), "COM1");
    const std::string longPath(300, 'x');
    std::uint8_t path[129];
    WriteCountedString(path, 128, longPath);
    EXPECT_EQ(path[0], 128);
    EXPECT_EQ(ReadCountedString(path, 128), std::string(128, 'x'));
}

TEST(ConfigRecord, AnyFileLoadsWithoutFault) {
    TempDir dir;
    ConfigRecord r;
    const std::string path = dir.File("kolvex12.cfg");

    // Missing file: not loaded, the record untouched.
    r.WindowTop = 42;
    EXPECT_FALSE(LoadConfigFile(path, r));
    EXPECT_EQ(r.WindowTop, 42);

    // Empty file: loaded, everything zero.
    WriteAll(path, {});
    EXPECT_TRUE(LoadConfigFile(path, r));
    EXPECT_EQ(r.WindowTop, 0);
    EXPECT_EQ(r.ComPort, "");
    EXPECT_EQ(r.Encode(), (std::array<std::uint8_t, kConfigRecordSize>{}));

    // Short file: the rest of the record is zero.
    std::vector<std::uint8_t> shortFile(26, 0);
    shortFile[4] = 0xFB;
    shortFile[5] = shortFile[6] = shortFile[7] = 0xFF;
    shortFile[24] = 7;
    WriteAll(path, shortFile);
    EXPECT_TRUE(LoadConfigFile(path, r));
    EXPECT_EQ(r.WindowTop, -5);
    EXPECT_EQ(r.Language, 7);  // counts as Czech where it is used
    EXPECT_EQ(r.TIdle, 0);
    const auto enc = r.Encode();
    for (std::size_t i = 26; i < kConfigRecordSize; ++i) EXPECT_EQ(enc[i], 0) << i;

    // 1 MB of random bytes: the first 344 are taken.
    std::vector<std::uint8_t> huge(1 << 20);
    std::mt19937 rng(1);
    for (auto& x : huge) x = static_cast<std::uint8_t>(rng());
    WriteAll(path, huge);
    EXPECT_TRUE(LoadConfigFile(path, r));
    const auto hugeEnc = r.Encode();
    EXPECT_TRUE(std::equal(hugeEnc.begin(), hugeEnc.end(), huge.begin()));

    // Random records of every length decode and re-encode without fault.
    for (std::size_t len = 0; len <= kConfigRecordSize + 3; len += 7) {
        std::vector<std::uint8_t> bytes(len);
        for (auto& x : bytes) x = static_cast<std::uint8_t>(rng());
        const ConfigRecord d = ConfigRecord::Decode(bytes.data(), bytes.size());
        EXPECT_LE(d.ComPort.size(), 4u * 3u);
        const auto e = d.Encode();
        EXPECT_TRUE(std::equal(e.begin(), e.begin() + static_cast<long>(std::min(len, kConfigRecordSize)),
                               bytes.begin()));
    }

    // A directory of the file's name does not count as a file.
    const std::string asDir = dir.File("dir.cfg");
    fs::create_directory(asDir);
    EXPECT_FALSE(LoadConfigFile(asDir, r));
}

TEST(ConfigRecord, SaveWritesMarkerThroughATemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("kolvex12.cfg");
    WriteAll(path, std::vector<std::uint8_t>(100, 0xAB));

    ConfigRecord r;
    ASSERT_TRUE(LoadConfigFile(path, r));
    r.Marker = 5;
    r.ComPort = "SIM";
    ASSERT_TRUE(SaveConfigFile(path, r));
    EXPECT_EQ(r.Marker, 111);

    const auto bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 344u);
    EXPECT_EQ(bytes[0], 0x6F);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0xAB);  // unused bytes as read
    EXPECT_EQ(bytes[99], 0xAB);
    EXPECT_EQ(bytes[100], 0x00);  // beyond the short file: zero
    // Only the file itself is left in the folder.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1);

    // Read back and saved again: the same 344 bytes.
    ConfigRecord again;
    ASSERT_TRUE(LoadConfigFile(path, again));
    ASSERT_TRUE(SaveConfigFile(path, again));
    EXPECT_EQ(ReadAll(path), bytes);

    // A folder that cannot be written: false, the previous file intact.
    ConfigRecord other;
    EXPECT_FALSE(SaveConfigFile(dir.File("missing/kolvex12.cfg"), other));
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST(ConfigDefaults, FirstStartValues) {
    ConfigRecord cfg;
    TSerCom port;
    const double today = *TryEncodeDateTime(2003, 1, 1, 14, 30, 0);
    ApplyConfigDefaults(cfg, port, 1280, 1024, today, "/home/user/data");
    EXPECT_EQ(cfg.WindowTop, 10);
    EXPECT_EQ(cfg.WindowLeft, 10);
    EXPECT_EQ(cfg.WindowHeight, 1004);
    EXPECT_EQ(cfg.WindowWidth, 1260);
    EXPECT_EQ(cfg.MeasuringOn, 0);
    EXPECT_EQ(cfg.Language, 1);
    EXPECT_EQ(cfg.BusAddress, 255);
    EXPECT_EQ(cfg.Byte29, 1);
    EXPECT_EQ(cfg.Byte35, 3);
    EXPECT_EQ(cfg.TIdle, 20);
    EXPECT_EQ(cfg.TSlot, 100);
    EXPECT_LE(cfg.ComPort.size(), 4u);
    EXPECT_EQ(cfg.LastArchivePath, "/home/user/data/");
    EXPECT_EQ(cfg.ViewerTab, 2);
    EXPECT_EQ(cfg.NameSource, 0);
    EXPECT_EQ(cfg.SplitFlags, 1);
    EXPECT_EQ(cfg.ReadMode, 0);
    EXPECT_EQ(cfg.InsertBookmark, 1);
    EXPECT_EQ(cfg.StepIndex, 9);
    EXPECT_EQ(cfg.Word304, 9);
    EXPECT_EQ(cfg.PrintPeriod.Kind, 0);
    EXPECT_EQ(cfg.ChartPeriod.Kind, 5);
    EXPECT_EQ(cfg.ExportPeriod.Kind, 0);
    EXPECT_EQ(cfg.ErasePeriod.Kind, 0);
    // Today: 1 January 2003 (a Wednesday, in week 1 that starts on Monday 30
    // December 2002).
    const PeriodSettings& p = cfg.ErasePeriod;
    EXPECT_EQ(p.Year, 2003);
    EXPECT_EQ(p.MonthIndex, 0);
    EXPECT_EQ(p.Day, 1);
    EXPECT_EQ(p.Week, 1);
    EXPECT_DOUBLE_EQ(p.Start, *TryEncodeDateTime(2003, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(p.End, *TryEncodeDateTime(2003, 1, 1, 23, 59, 59, 999));

    // Week numbers: the last day of a leap year starting on a Sunday is in
    // week 54; Sunday 5 January 2003 still in week 1, Monday 6 January in 2.
    EXPECT_EQ(PeriodForToday(0, *TryEncodeDateTime(2012, 12, 31, 12, 0, 0)).Week, 54);
    EXPECT_EQ(PeriodForToday(0, *TryEncodeDateTime(2003, 1, 5, 0, 0, 0)).Week, 1);
    EXPECT_EQ(PeriodForToday(0, *TryEncodeDateTime(2003, 1, 6, 0, 0, 0)).Week, 2);
    EXPECT_EQ(PeriodForToday(0, *TryEncodeDateTime(2004, 8, 31, 0, 0, 0)).MonthIndex, 7);
}

TEST(ConfigDefaults, PlacementIsClampedToTheScreen) {
    const int W = 1280, H = 1024;
    Placement p = ClampPlacement({-5, -5, 700, 100}, W, H);
    EXPECT_EQ(p.Top, 0);
    EXPECT_EQ(p.Left, 0);
    EXPECT_EQ(p.Height, 700);
    EXPECT_EQ(p.Width, 250);
    p = ClampPlacement({5000, 5000, 50, 9000}, W, H);
    EXPECT_EQ(p.Top, H - 50);
    EXPECT_EQ(p.Left, W - 100);
    EXPECT_EQ(p.Height, 100);
    EXPECT_EQ(p.Width, W - 20);
    p = ClampPlacement({10, 20, 99999, 300}, W, H);
    EXPECT_EQ(p.Top, 10);
    EXPECT_EQ(p.Left, 20);
    EXPECT_EQ(p.Height, H - 20);
    EXPECT_EQ(p.Width, 300);
}

TEST(ConfigDefaults, CommunicationFieldsAndTimes) {
    ConfigRecord cfg;
    CommSettings comm;
    comm.ComPort = "COM10";
    comm.TIdle = 30;
    comm.TSlot = 70000;  // beyond the 16-bit field
    CommToConfig(comm, cfg);
    EXPECT_EQ(cfg.ComPort, "COM1");
    EXPECT_EQ(cfg.TIdle, 30);
    EXPECT_EQ(cfg.TSlot, 65535);
    const CommSettings back = CommFromConfig(cfg);
    EXPECT_EQ(back.ComPort, "COM1");
    EXPECT_EQ(back.TIdle, 30);

    EXPECT_EQ(RoundDownToTen(25), 20);
    EXPECT_EQ(RoundDownToTen(10000), 10000);
    EXPECT_EQ(RoundDownToTen(19), 10);
    EXPECT_EQ(RoundDownToTen(0), 0);
}

TEST(SystemInfo, NamesTheDistributionPlatformAndKernel) {
    EXPECT_EQ(PrettyNameFromOsRelease("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(PrettyNameFromOsRelease("PRETTY_NAME=Plain\r\n"), "Plain");
    EXPECT_EQ(PrettyNameFromOsRelease("PRETTY_NAME='Single quoted'"), "Single quoted");
    EXPECT_EQ(PrettyNameFromOsRelease("PRETTY_NAME=\"Say \\\"hi\\\"\""), "Say \"hi\"");
    EXPECT_EQ(PrettyNameFromOsRelease("NAME=x\n"), "");
    EXPECT_EQ(PrettyNameFromOsRelease(""), "");

    TempDir dir;
    const SystemInfo missing = QuerySystemInfo(dir.File("none"));
    EXPECT_EQ(missing.OS, "unknown");
    EXPECT_NE(missing.Platform, "unknown");  // from uname
    EXPECT_NE(missing.Version, "unknown");
    const std::string file = dir.File("os-release");
    std::ofstream(file) << "PRETTY_NAME=\"Test OS 1\"\n";
    EXPECT_EQ(QuerySystemInfo(file).OS, "Test OS 1");
}

}  // namespace
}  // namespace kolvex
