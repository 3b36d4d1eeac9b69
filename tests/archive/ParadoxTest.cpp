// SPDX-License-Identifier: GPL-3.0-or-later
// Paradox tables through pxlib: create, read, append, delete and pack.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "ArchiveTestUtil.h"
#include "base/Errors.h"
#include "archive/Adm.h"
#include "archive/Table.h"
#include "archive/dbf/DbfCodec.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::test;

namespace {
double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *TryEncodeDateTime(y, mo, d, h, mi, s, 0); }
}  // namespace

TEST(Paradox, CreateAppendDeleteAndPack) {
    TempDir dir;
    const std::string path = dir / "p.db";
    Table t;
    t.SetPath(path);
    t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}, {FieldType::Float, "VSTUP2"}});
    EXPECT_EQ(t.TableType(), "PARADOX");
    for (int i = 0; i < 300; ++i) {
        t.Append();
        t.SetDateTime(0, At(2004, 8, 31, 12, 30, 0) + i / 86400.0);
        t.SetFloat(1, 0.1 * i - 5);
        if (i != 7) t.SetFloat(2, -i);
        t.Post();
    }
    t.Close();
    t.Open();
    ASSERT_EQ(t.FieldCount(), 3);
    EXPECT_EQ(t.FieldName(0), "DATETIME");
    EXPECT_EQ(t.GetFieldType(0), FieldType::DateTime);
    EXPECT_EQ(t.GetFieldType(2), FieldType::Float);
    EXPECT_EQ(t.RecordCount(), 300);
    t.First();
    EXPECT_EQ(t.AsText(0), "2004-08-31 12:30:00");
    EXPECT_EQ(t.AsFloat(1), -5.0);
    EXPECT_EQ(t.AsFloat(2), 0.0);
    EXPECT_FALSE(t.IsNull(2));
    ASSERT_TRUE(t.MoveTo(8));
    EXPECT_TRUE(t.IsNull(2));
    EXPECT_EQ(t.AsDateTime(0), At(2004, 8, 31, 12, 30, 7));
    // Delete every other record, then pack and reopen.
    t.First();
    bool del = true;
    while (!t.Eof()) {
        if (del)
            t.Delete();
        else
            t.Next();
        del = !del;
    }
    EXPECT_EQ(t.RecordCount(), 150);
    t.Pack();
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 150);
    t.First();
    EXPECT_EQ(t.AsFloat(2), -1);
    t.Last();
    EXPECT_EQ(t.AsFloat(2), -299);
    t.Empty();
    EXPECT_EQ(t.RecordCount(), 0);
    t.Close();

    // The data module packs a Paradox archive by rewriting it.
    FixedAnswerer yes(true);
    TADM adm(&yes);
    ArchiveParameterRecord r;
    LoggerImage im;
    im.Parameters.ArchiveFlags = 1;
    r = BuildParameterRecord(im, Lang::English);
    adm.CreateArchive(dir / "q.db", r);
    for (int i = 0; i < 10; ++i) {
        adm.Table1.Append();
        adm.Table1.SetDateTime(0, At(2005, 1, 1 + i));
        adm.Table1.SetFloat(1, i);
        adm.Table1.Post();
    }
    EXPECT_EQ(adm.DeleteRecordsInPeriod(At(2005, 1, 3), At(2005, 1, 5)), 3);
    EXPECT_EQ(adm.Table1.RecordCount(), 7);
    adm.CloseArchive();
    EXPECT_TRUE(adm.OpenArchive(dir / "q.db"));
    EXPECT_EQ(adm.Table1.RecordCount(), 7);

    // Damaged files are refused.
    WriteBytes(dir / "bad.db", std::vector<std::uint8_t>(2048, 0x11));
    Table b;
    b.SetPath(dir / "bad.db");
    EXPECT_THROW(b.Open(), EADM);
}

// A table whose header or block chain was damaged is refused at once: such
// files sent the library into an endless walk.
TEST(Paradox, DamagedHeaderOrBlockChainIsRefused) {
    TempDir dir;
    const std::string good = dir / "good.db";
    {
        Table t;
        t.SetPath(good);
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
        t.Open();
        for (int i = 0; i < 3; ++i) {
            t.Append();
            t.SetDateTime(0, At(2005, 1, 1 + i));
            t.SetFloat(1, i);
            t.Post();
        }
        t.Close();
    }
    const std::vector<std::uint8_t> bytes = ReadBytes(good);
    const std::size_t firstBlockAt = bytes[2] | bytes[3] << 8;
    const struct {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    } cases[] = {
        {"block size", 0x05, 5},
        {"field count", 0x21, 0},
        {"record count", 0x08, 1},
        // both found by fuzzing: the library hung in its decryption walk
        {"encryption key", 0x5E, 0x17},
        {"older encryption field", 0x26, 0xDA},
        {"first block linked to itself", firstBlockAt, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> damaged = bytes;
        damaged[c.offset] = c.value;
        WriteBytes(dir / "bad.db", damaged);
        Table t;
        t.SetPath(dir / "bad.db");
        EXPECT_THROW(t.Open(), EADM) << c.what;
    }
    Table t;
    t.SetPath(good);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
}

TEST(TableEngines, TimeStampsOutsideTheCalendarReadEmptyAndAreCounted) {
    // The middle of three records gets one flipped byte in its time stamp.
    struct Row {
        const char* file;
        std::vector<std::uint8_t> (*stamp)(double value);  // the field's bytes for a value
        int at;                                           // the byte changed
        std::uint8_t flip;                                // its bits flipped
    };
    const Row rows[] = {
        {"t.dbf",
         [](double v) {
             std::vector<std::uint8_t> b(8);
             dbf::EncodeFoxDateTime(v, b.data());
             return b;
         },
         3, 0x40},  // the day's high byte: some three million years on
        {"t.db",
         [](double v) {
             const double ms = std::floor(v) * 86400000.0 + 693594.0 * 86400000.0 +
                               std::round((v - std::floor(v)) * 86400000.0);
             const auto bits = std::bit_cast<std::uint64_t>(ms) | (std::uint64_t{1} << 63);
             std::vector<std::uint8_t> b(8);
             for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
             return b;
         },
         0, 0x08},  // the exponent: 2^128 times as many milliseconds
    };
    const double stamps[] = {At(2004, 8, 31, 12, 0, 0), At(2004, 8, 31, 12, 0, 1), At(2004, 8, 31, 12, 0, 2)};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir dir;
        const std::string path = dir / row.file;
        {
            Table t;
            t.SetPath(path);
            t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
            for (double s : stamps) {
                t.Append();
                t.SetDateTime(0, s);
                t.SetFloat(1, 1.5);
                t.Post();
            }
        }
        std::vector<std::uint8_t> bytes = ReadBytes(path);
        const std::vector<std::uint8_t> middle = row.stamp(stamps[1]);
        const auto at = std::search(bytes.begin(), bytes.end(), middle.begin(), middle.end());
        ASSERT_NE(at, bytes.end());
        at[row.at] ^= row.flip;
        WriteBytes(path, bytes);

        Table t;
        t.SetPath(path);
        t.Open();
        ASSERT_EQ(t.RecordCount(), 3);
        EXPECT_EQ(t.DamagedRecords(), 1);
        EXPECT_NE(DamagedRecordsWarning(path, 1).find(path), std::string::npos);
        t.MoveTo(2);
        EXPECT_TRUE(t.IsNull(0));
        EXPECT_EQ(t.AsText(0), "");
        EXPECT_EQ(t.AsDateTime(0), 0.0);
        EXPECT_EQ(t.AsFloat(1), 1.5);
        t.MoveTo(3);
        EXPECT_EQ(t.AsDateTime(0), stamps[2]);
        std::vector<std::uint8_t> nulls;
        t.Scan({0}, 1, [&](const ScanBlock& b) {
            nulls.insert(nulls.end(), b.Nulls, b.Nulls + b.Rows);
            return true;
        });
        EXPECT_EQ(nulls, (std::vector<std::uint8_t>{0, 1, 0}));
    }
}
