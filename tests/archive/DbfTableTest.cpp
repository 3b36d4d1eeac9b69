// SPDX-License-Identifier: GPL-3.0-or-later
// The dBASE engine: the layout it writes, the levels it reads, navigation,
// editing, deletion and pack, damaged files and crash recovery.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <tuple>

#include "ArchiveTestUtil.h"
#include "base/Errors.h"
#include "archive/Table.h"
#include "archive/dbf/DbfCodec.h"
#include "archive/dbf/DbfTable.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::test;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

const std::vector<FieldDef> kArchiveFields = {
    {FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}, {FieldType::Float, "VSTUP2"}};

// n records: time 2004-08-31 00:00 + i minutes, values i/10 and -i.
void Fill(Table& t, int n, int from = 0) {
    for (int i = from; i < from + n; ++i) {
        t.Append();
        t.SetDateTime(0, At(2004, 8, 31) + i / 1440.0);
        t.SetFloat(1, i / 10.0);
        t.SetFloat(2, -i);
        t.Post();
    }
}

std::vector<double> Column(Table& t, int field) {
    std::vector<double> v;
    for (t.First(); !t.Eof(); t.Next()) v.push_back(t.AsFloat(field));
    return v;
}

}  // namespace

TEST(DbfTable, WritesVisualFoxProLayout) {
    TempDir dir;
    Table t;
    t.SetPath(dir / "a.dbf");
    t.Create(kArchiveFields);
    Fill(t, 2);
    t.Close();
    const auto b = ReadBytes(dir / "a.dbf");
    const std::size_t headerLen = 32 + 3 * 32 + 1 + 263;
    ASSERT_EQ(b.size(), headerLen + 2 * 25 + 1);
    EXPECT_EQ(b[0], 0x30);
    EXPECT_EQ(b[4], 2);                                    // record count
    EXPECT_EQ(b[8] | b[9] << 8, static_cast<int>(headerLen));
    EXPECT_EQ(b[10] | b[11] << 8, 25);                     // 1 + 8 + 8 + 8
    EXPECT_EQ(b[29], 0xC8);                                // code page 1250
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[32])), "DATETIME");
    EXPECT_EQ(b[32 + 11], 'T');
    EXPECT_EQ(b[64 + 11], 'B');
    EXPECT_EQ(b[96 + 11], 'B');
    EXPECT_EQ(b[32 + 12], 1);                              // field offsets in the record
    EXPECT_EQ(b[64 + 12], 9);
    EXPECT_EQ(b[96 + 12], 17);
    EXPECT_EQ(b[32 + 16], 8);
    EXPECT_EQ(b[128], 0x0D);
    for (std::size_t i = 129; i < headerLen; ++i) ASSERT_EQ(b[i], 0) << i;  // backlink area
    EXPECT_EQ(b[headerLen], ' ');
    EXPECT_EQ(b.back(), 0x1A);
    double v = 0;
    ASSERT_TRUE(dbf::DecodeFoxDateTime(&b[headerLen + 1], v));
    EXPECT_EQ(v, At(2004, 8, 31));
    ASSERT_TRUE(dbf::DecodeFoxDouble(&b[headerLen + 25 + 9], v));
    EXPECT_EQ(v, 0.1);
}

TEST(DbfTable, NavigationRecordNumbersAndBookmarks) {
    TempDir dir;
    Table t;
    t.SetPath(dir / "n.dbf");
    t.Create(kArchiveFields);
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(t.RecNo(), 0);
    Fill(t, 5);
    t.First();
    EXPECT_TRUE(t.Bof());
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.RecNo(), 1);
    t.Next();
    t.Next();
    EXPECT_EQ(t.RecNo(), 3);
    const Bookmark b = t.GetBookmark();
    t.Last();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.AsFloat(2), -4);
    t.Next();
    EXPECT_EQ(t.AsFloat(2), -4);  // stays on the last record
    t.Prior();
    EXPECT_EQ(t.RecNo(), 4);
    t.GotoBookmark(b);
    EXPECT_EQ(t.AsFloat(2), -2);
    ASSERT_TRUE(t.MoveTo(5));
    EXPECT_EQ(t.AsFloat(1), 0.4);
    EXPECT_FALSE(t.MoveTo(6));
    EXPECT_FALSE(t.MoveTo(0));
    t.First();
    t.Prior();
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    // Deleted records vanish from counting, numbering and random access.
    ASSERT_TRUE(t.MoveTo(2));
    t.Delete();
    EXPECT_EQ(t.AsFloat(2), -2);  // the cursor stands on the following record
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_EQ(t.RecordCount(), 4);
    ASSERT_TRUE(t.MoveTo(4));
    EXPECT_EQ(t.AsFloat(2), -4);
    t.Delete();  // the last one
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.AsFloat(2), -3);
    EXPECT_EQ(Column(t, 2), (std::vector<double>{0, -2, -3}));
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(Column(t, 2), (std::vector<double>{0, -2, -3}));
    ASSERT_TRUE(t.MoveTo(3));
    EXPECT_EQ(t.AsFloat(2), -3);
}

TEST(DbfTable, EditNullTextAndAssign) {
    TempDir dir;
    Table t;
    t.SetPath(dir / "e.dbf");
    t.Create(kArchiveFields);
    t.Append();
    t.SetDateTime(0, At(2004, 8, 31, 12, 30, 0));
    t.SetFloat(1, 21.456);
    t.Post();  // field 2 never set
    EXPECT_TRUE(t.IsNull(2));
    EXPECT_EQ(t.AsFloat(2), 0);
    EXPECT_EQ(t.AsText(2), "");
    EXPECT_EQ(t.AsText(0), "2004-08-31 12:30:00");
    EXPECT_EQ(t.AsText(1), "21.456");
    t.SetText(0, "01/09/2004 08:00:05");  // edits the current record
    t.SetFloat(2, -1);
    t.Post();
    t.SetNull(1);
    t.Next();  // a move stores the edit
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.AsDateTime(0), At(2004, 9, 1, 8, 0, 5));
    EXPECT_TRUE(t.IsNull(1));
    EXPECT_EQ(t.AsFloat(2), -1);
    EXPECT_EQ(t.GetFieldType(0), FieldType::DateTime);
    EXPECT_EQ(t.GetFieldType(1), FieldType::Float);
    EXPECT_EQ(t.FieldName(2), "VSTUP2");
    EXPECT_EQ(t.TableType(), "DBASE");
    EXPECT_THROW(t.SetText(1, "abc"), EADM);
    EXPECT_THROW(t.AsFloat(3), EADM);

    Table copy;
    copy.SetPath(dir / "c.dbf");
    copy.Create(kArchiveFields);
    copy.Append();
    for (int i = 0; i < 3; ++i) copy.AssignField(i, t, i);
    copy.Post();
    EXPECT_EQ(copy.AsDateTime(0), At(2004, 9, 1, 8, 0, 5));
    EXPECT_TRUE(copy.IsNull(1));
    EXPECT_EQ(copy.AsFloat(2), -1);
}

TEST(DbfTable, PackEmptyAndExclusiveUse) {
    TempDir dir;
    Table t;
    t.SetPath(dir / "p.dbf");
    t.Create(kArchiveFields);
    Fill(t, 100);
    for (t.First(); !t.Eof();) {
        if (static_cast<int>(-t.AsFloat(2)) % 3 == 0)
            t.Delete();
        else
            t.Next();
    }
    t.Flush();
    const auto before = ReadBytes(dir / "p.dbf").size();
    t.Pack();
    const auto after = ReadBytes(dir / "p.dbf").size();
    EXPECT_EQ(before - after, 34u * 25u);
    EXPECT_EQ(t.RecordCount(), 66);
    const auto col = Column(t, 2);
    ASSERT_EQ(col.size(), 66u);
    EXPECT_EQ(col.front(), -1);
    EXPECT_EQ(col.back(), -98);
    // No temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path)) (void)e, ++files;
    EXPECT_EQ(files, 1);

    // An exclusive user keeps every other user out, and the other way round.
    t.Close();
    t.SetExclusive(true);
    t.Open();
    EXPECT_TRUE(t.IsExclusive());
    Table other;
    other.SetPath(dir / "p.dbf");
    EXPECT_THROW(other.Open(), EADM);
    t.Close();
    t.SetExclusive(false);
    t.Open();
    other.Open();
    EXPECT_FALSE(other.IsExclusive());
    other.Close();

    t.Empty();
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(ReadBytes(dir / "p.dbf").size(), 32u + 96 + 1 + 263 + 1);
    Fill(t, 1);
    EXPECT_EQ(t.RecordCount(), 1);
}

TEST(DbfTable, ChangeNotificationsCanBeSuspended) {
    struct Counter : TableListener {
        int scrolls = 0, changes = 0, opened = 0, closed = 0;
        void TableChanged(TableEvent e) override {
            if (e == TableEvent::Scrolled) ++scrolls;
            if (e == TableEvent::DataChanged) ++changes;
            if (e == TableEvent::Opened) ++opened;
            if (e == TableEvent::Closed) ++closed;
        }
    } c;
    TempDir dir;
    Table t;
    t.AddListener(&c);
    t.SetPath(dir / "l.dbf");
    t.Create(kArchiveFields);
    EXPECT_EQ(c.opened, 1);
    t.DisableControls();
    t.DisableControls();
    Fill(t, 10);
    t.First();
    t.Next();
    t.EnableControls();
    EXPECT_TRUE(t.ControlsDisabled());
    EXPECT_EQ(c.scrolls + c.changes, 0);
    // The end of the batch brings the file's count up to date.
    EXPECT_EQ(ReadBytes(dir / "l.dbf")[4], 0);
    t.EnableControls();
    EXPECT_FALSE(t.ControlsDisabled());
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(ReadBytes(dir / "l.dbf")[4], 10);
    t.Next();
    EXPECT_EQ(c.scrolls, 1);
    t.Close();
    EXPECT_EQ(c.closed, 1);
}

TEST(DbfTable, ReadsLevel7Fixtures) {
    TempDir dir;
    auto rec = [](const char* hex) { return Hex(hex); };
    // DATETIME '@', VSTUP1 'O', COUNT 'I', ID '+', NAME 'C', VALUE 'N'
    const std::vector<RawField> fields = {{"DATETIME", '@', 8}, {"VSTUP1", 'O', 8}, {"COUNT", 'I', 4},
                                          {"ID", '+', 4},       {"NAME", 'C', 4},  {"VALUE", 'N', 6, 2}};
    const auto r1 = rec("20 42 CC B2 0E 03 40 DF 00 BF D3 33 33 33 33 33 34 80 00 00 07 80 00 00 01 41 42 20 20 "
                        "20 2D 31 2E 32 35");
    const auto r2 = rec("2A 42 CC B2 0E 03 40 DF 00 40 0F FF FF FF FF FF FF 7F FF FF FF 80 00 00 02 43 20 20 20 "
                        "20 20 20 20 20 20");
    const auto r3 = rec("20 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7F FF FF FE 80 00 00 03 20 20 20 20 "
                        "20 20 20 30 2E 35");
    WriteBytes(dir / "l7.dbf", BuildLevel7(fields, {r1, r2, r3}));
    Table t;
    t.SetPath(dir / "l7.dbf");
    t.Open();
    auto* e = dynamic_cast<dbf::DbfTable*>(t.Engine());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Level(), dbf::DbfLevel::Dbase7);
    ASSERT_EQ(t.FieldCount(), 6);
    EXPECT_EQ(t.FieldName(0), "DATETIME");
    EXPECT_EQ(t.GetFieldType(0), FieldType::DateTime);
    EXPECT_EQ(t.GetFieldType(1), FieldType::Float);
    EXPECT_EQ(t.GetFieldType(3), FieldType::AutoInc);
    EXPECT_EQ(t.RecordCount(), 2);  // the second record is deleted
    t.First();
    EXPECT_EQ(t.AsText(0), "2000-08-16 17:21:41.310");
    EXPECT_EQ(std::bit_cast<std::uint64_t>(t.AsFloat(1)), std::bit_cast<std::uint64_t>(0.1 + 0.2));
    EXPECT_EQ(t.AsFloat(2), 7);
    EXPECT_EQ(t.AsFloat(3), 1);
    EXPECT_EQ(t.AsText(4), "AB");
    EXPECT_EQ(t.AsFloat(5), -1.25);
    t.Next();
    EXPECT_TRUE(t.IsNull(0));
    EXPECT_TRUE(t.IsNull(1));
    EXPECT_EQ(t.AsFloat(2), -2);
    EXPECT_EQ(t.AsFloat(5), 0.5);

    // Appending keeps the level-7 layout.
    t.Append();
    t.SetDateTime(0, At(2000, 8, 16, 17, 21, 41, 310));
    t.SetFloat(1, 0.0);
    t.SetFloat(2, -1);
    t.SetText(4, "XYZ");
    t.SetFloat(5, 99.5);
    t.Post();
    t.Close();
    const auto b = ReadBytes(dir / "l7.dbf");
    const std::size_t start = 68 + 48 * 6 + 1 + 3 * 35;
    ASSERT_EQ(b.size(), start + 35 + 1);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + start, b.begin() + start + 35),
              rec("20 42 CC B2 0E 03 40 DF 00 80 00 00 00 00 00 00 00 7F FF FF FF 80 00 00 04 58 59 5A 20 "
                  "20 39 39 2E 35 30"));
    EXPECT_EQ(b[4], 4);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
}

TEST(DbfTable, ReadsDbase3AndFoxProLevels) {
    TempDir dir;
    const std::vector<RawField> fields = {
        {"DATUM", 'D', 8}, {"VALUE", 'N', 8, 3}, {"NAME", 'C', 6}, {"OK", 'L', 1}, {"F", 'F', 6, 1}};
    auto r = [](const char* s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); };
    for (std::uint8_t version : {0x03, 0x83, 0xF5, 0xFB, 0x02}) {
        SCOPED_TRACE(static_cast<int>(version));
        WriteBytes(dir / "d3.dbf", BuildDbase3(fields,
                                               {r(" 20040831 -12.500P\xF8\xEDli?T   1.5"), r("*20000101   1.000xx    F   2.0"),
                                                r((std::string(9, ' ') + "   0.125" + std::string(6, ' ') + "?" +
                                                   std::string(6, ' ')).c_str())},
                                               version));
        Table t;
        t.SetPath(dir / "d3.dbf");
        t.Open();
        EXPECT_EQ(t.RecordCount(), 2);
        EXPECT_EQ(t.GetFieldType(0), FieldType::Date);
        EXPECT_EQ(t.AsDateTime(0), At(2004, 8, 31));
        EXPECT_EQ(t.AsFloat(1), -12.5);
        EXPECT_EQ(t.AsText(2), "Příli?");
        EXPECT_EQ(t.AsFloat(3), 1);
        EXPECT_EQ(t.AsFloat(4), 1.5);
        t.Next();
        EXPECT_TRUE(t.IsNull(0));
        EXPECT_EQ(t.AsFloat(1), 0.125);
        EXPECT_TRUE(t.IsNull(2));
        EXPECT_TRUE(t.IsNull(3));
        EXPECT_TRUE(t.IsNull(4));
    }
}

TEST(DbfTable, DamagedOrHostileHeadersAreRefused) {
    TempDir dir;
    const std::vector<RawField> ok = {{"DATETIME", 'T', 8}, {"VSTUP1", 'B', 8}};
    auto vfp = [&](std::vector<std::uint8_t> recs = {}) {
        auto b = BuildDbase3(ok, {}, 0x30);
        b.pop_back();
        b.insert(b.end(), recs.begin(), recs.end());
        return b;
    };
    std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"short", std::vector<std::uint8_t>(20, 0x30)});
    {
        auto b = vfp();
        PutLE(b, 8, 5000, 2);  // header longer than the file
        cases.push_back({"header length", b});
    }
    {
        auto b = vfp();
        PutLE(b, 8, 40, 2);  // descriptors cut short
        cases.push_back({"truncated descriptors", b});
    }
    {
        auto b = vfp();
        PutLE(b, 10, 0, 2);
        cases.push_back({"zero record length", b});
    }
    {
        auto b = vfp();
        PutLE(b, 10, 10, 2);  // fields longer than the record
        cases.push_back({"record length", b});
    }
    {
        auto b = vfp();
        b[32 + 11] = 'M';
        cases.push_back({"memo field", b});
    }
    {
        auto b = vfp();
        b[32 + 11] = 'Q';
        cases.push_back({"unknown type", b});
    }
    {
        auto b = vfp();
        b[32 + 16] = 9;  // a 'T' field of 9 bytes
        cases.push_back({"field length", b});
    }
    {
        auto b = vfp();
        b[0] = 0x07;
        cases.push_back({"version", b});
    }
    {
        auto b = BuildDbase3(ok, {}, 0x03);
        cases.push_back({"double outside Visual FoxPro", b});
    }
    {
        auto b = vfp();
        b[32] = 0x0D;  // no fields at all
        cases.push_back({"no fields", b});
    }
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteBytes(dir / "bad.dbf", bytes);
        Table t;
        t.SetPath(dir / "bad.dbf");
        EXPECT_THROW(t.Open(), EADM);
        EXPECT_FALSE(t.IsOpen());
    }
    // A directory or a missing file in place of the table.
    Table t;
    t.SetPath(dir.Path);
    EXPECT_THROW(t.Open(), EADM);
    t.SetPath(dir / "missing.dbf");
    EXPECT_THROW(t.Open(), EADM);
}

TEST(DbfTable, CrashRecoveryKeepsEveryCompleteRecord) {
    TempDir dir;
    const std::string path = dir / "c.dbf";
    {
        Table t;
        t.SetPath(path);
        t.Create(kArchiveFields);
        Fill(t, 20);
        t.Close();
    }
    const auto full = ReadBytes(path);
    const std::size_t headerLen = 32 + 96 + 1 + 263, recLen = 25;
    ASSERT_EQ(full.size(), headerLen + 20 * recLen + 1);
    // A crash after appending records 12..19 before their count reached the
    // header (count 12), and a file cut short (count 20), cut at every byte.
    auto stale = full;
    PutLE(stale, 4, 12, 4);
    for (const std::vector<std::uint8_t>* image0 : std::initializer_list<const std::vector<std::uint8_t>*>{&stale, &full}) {
        for (std::size_t cut = headerLen + 12 * recLen; cut <= full.size(); ++cut) {
            SCOPED_TRACE(std::to_string(cut) + (image0 == &full ? " cut short" : " stale count"));
            std::vector<std::uint8_t> image(image0->begin(), image0->begin() + static_cast<std::ptrdiff_t>(cut));
            WriteBytes(path, image);
            const int complete = static_cast<int>(std::min<std::size_t>((cut - headerLen) / recLen, 20));
            const int missing = image0 == &full ? 20 - complete : 0;
            Table t;
            t.SetPath(path);
            ASSERT_NO_THROW(t.Open());
            ASSERT_EQ(t.RecordCount(), complete);
            EXPECT_EQ(t.MissingRecords(), missing);
            const auto col = Column(t, 2);
            for (int i = 0; i < complete; ++i) ASSERT_EQ(col[static_cast<std::size_t>(i)], -i);
            if (missing > 0) {
                EXPECT_THROW(t.Append(), EADM);
            }
            // Reading never writes.
            t.Close();
            ASSERT_EQ(ReadBytes(path), image);
            if (missing == 0) continue;
            // The repair keeps the original byte for byte and the complete records.
            const auto r = dbf::DbfTable::Repair(path, dir / "c.dbfbak", true);
            EXPECT_EQ(r.Changed, missing > 0);
            EXPECT_EQ(ReadBytes(dir / "c.dbfbak"), image);
            const auto repaired = ReadBytes(path);
            ASSERT_EQ(repaired.size(), headerLen + static_cast<std::size_t>(complete) * recLen + 1);
            EXPECT_EQ(repaired[4], complete);
            EXPECT_EQ(repaired.back(), 0x1A);
        }
    }
    // Appending after a recovery continues behind the recovered records.
    WriteBytes(path, std::vector<std::uint8_t>(stale.begin(), stale.begin() + static_cast<std::ptrdiff_t>(headerLen + 15 * recLen + 7)));
    Table t;
    t.SetPath(path);
    t.Open();
    Fill(t, 2, 100);
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 17);
    t.Last();
    EXPECT_EQ(t.AsFloat(2), -101);
}

TEST(DbfTable, ManyRecordsCrossTheBuffers) {
    TempDir dir;
    Table t;
    t.SetPath(dir / "big.dbf");
    t.Create(kArchiveFields);
    const int n = 120000;  // several append flushes and read windows
    Fill(t, n);
    EXPECT_EQ(t.RecordCount(), n);
    ASSERT_TRUE(t.MoveTo(n / 2));
    EXPECT_EQ(t.AsFloat(2), -(n / 2 - 1));
    // Backwards over the window boundaries.
    int i = n - 1;
    for (t.Last(); !t.Bof(); t.Prior(), --i) ASSERT_EQ(t.AsFloat(2), -i);
    EXPECT_EQ(i, -1);
    t.Close();
    t.Open();
    double sum = 0;
    for (t.First(); !t.Eof(); t.Next()) sum += t.AsFloat(2);
    EXPECT_EQ(sum, -static_cast<double>(n) * (n - 1) / 2);
}

TEST(DbfTable, BlockScanReadsWhatTheCursorReads) {
    // Deleted records, empty fields, records appended but not yet written and
    // more rows than one block; each scan starts at a record number and the
    // cursor stays on its record.
    TempDir dir;
    Table t;
    t.SetPath(dir / "s.dbf");
    t.Create(kArchiveFields);
    Fill(t, 5000);
    t.Flush();
    for (int recno : {2, 3, 1000, 4000}) {
        ASSERT_TRUE(t.MoveTo(recno));
        t.Delete();
    }
    ASSERT_TRUE(t.MoveTo(7));
    t.SetNull(1);
    t.Post();
    Fill(t, 30, 5000);  // still in the append buffer
    t.Append();
    t.SetDateTime(0, At(2005, 1, 1, 0, 0, 0, 5));
    t.Post();
    auto rows = [](TableEngine& e, bool cursor, std::int64_t from) {
        std::vector<std::tuple<std::int64_t, double, double, double, int>> out;
        const ScanSink sink = [&](const ScanBlock& b) {
            for (std::size_t r = 0; r < b.Rows; ++r) {
                const double* v = b.Values + r * b.Fields;
                const std::uint8_t* z = b.Nulls + r * b.Fields;
                out.emplace_back(b.FirstRecNo + static_cast<std::int64_t>(r), v[0], v[1], v[2], z[0] | z[1] << 1 | z[2] << 2);
            }
            return true;
        };
        if (cursor)
            e.TableEngine::Scan({0, 1, 2}, from, sink);
        else
            e.Scan({0, 1, 2}, from, sink);
        return out;
    };
    ASSERT_TRUE(t.MoveTo(123));
    for (std::int64_t from : {1, 2, 2047, 4996, 5027, 5028}) {
        SCOPED_TRACE(from);
        const auto fast = rows(*t.Engine(), false, from);
        EXPECT_EQ(fast, rows(*t.Engine(), true, from));
        EXPECT_EQ(static_cast<std::int64_t>(fast.size()), t.RecordCount() - from + 1);
        EXPECT_EQ(t.RecNo(), 123);
    }
    const auto all = rows(*t.Engine(), false, 1);
    EXPECT_EQ(std::get<4>(all[6]), 2);  // record 7: input 1 empty
    EXPECT_EQ(std::get<4>(all.back()), 6);
    EXPECT_TRUE(rows(*t.Engine(), false, 5029).empty());
}
