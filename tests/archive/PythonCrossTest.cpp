// SPDX-License-Identifier: GPL-3.0-or-later
// Our tables against independent readers and writers: Python's dbfread and
// python-dbf (Debian packages, run with /usr/bin/python3).

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "ArchiveTestUtil.h"
#include "archive/Table.h"
#include "archive/dbf/DbfCodec.h"
#include "archive/dbf/DbfTable.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::test;
using nlohmann::json;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }
std::uint64_t HexBits(const json& j) { return Bits(std::strtod(j.get<std::string>().c_str(), nullptr)); }

// The time stamps the readers give, with milliseconds always shown.
std::string ReaderTime(double t) {
    std::string s = kolvex::FormatIsoDateTime(t, true);
    return s.size() == 19 ? s + ".000" : s;
}

json ReadWithPython(const std::string& path) {
    int status = 0;
    const std::string out = RunPython("read_tables.py", path, &status);
    EXPECT_EQ(status, 0) << out;
    return json::parse(out, nullptr, false);
}

struct Row {
    double t, v1, v2;
};

}  // namespace

TEST(PythonCrossCheck, ReadersSeeOurTablesBitForBit) {
    TempDir dir;
    const std::string path = dir / "ours.dbf";
    std::vector<Row> rows = {
        {At(2004, 8, 31, 12, 30, 0), 0.1 + 0.2, -273.15},
        {At(2004, 8, 31, 12, 30, 10), 21.456, 1e-300},
        {At(1999, 12, 31, 23, 59, 59, 999), -1e300, 5e-324},
        {At(2000, 2, 29, 0, 0, 0, 1), 1.0 / 3.0, -0.0},
        {At(2038, 1, 19, 3, 14, 8), 123456789.123456789, 2.5},
    };
    {
        Table t;
        t.SetPath(path);
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}, {FieldType::Float, "VSTUP2"}});
        for (std::size_t i = 0; i < 3; ++i) {
            t.Append();
            t.SetDateTime(0, rows[i].t);
            t.SetFloat(1, rows[i].v1);
            t.SetFloat(2, rows[i].v2);
            t.Post();
        }
        t.Close();
        // Appends after reopening, then a delete.
        t.Open();
        for (std::size_t i = 3; i < rows.size(); ++i) {
            t.Append();
            t.SetDateTime(0, rows[i].t);
            t.SetFloat(1, rows[i].v1);
            t.SetFloat(2, rows[i].v2);
            t.Post();
        }
        ASSERT_TRUE(t.MoveTo(2));
        t.Delete();
        t.Close();
    }
    rows.erase(rows.begin() + 1);
    auto check = [&](const json& j, const char* reader) {
        SCOPED_TRACE(reader);
        ASSERT_TRUE(j.contains(reader));
        const json& r = j[reader];
        EXPECT_EQ(r["fields"], json({"DATETIME", "VSTUP1", "VSTUP2"}));
        ASSERT_EQ(r["records"].size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const json& rec = r["records"][i];
            EXPECT_EQ(rec[0].get<std::string>(), ReaderTime(rows[i].t)) << i;
            EXPECT_EQ(HexBits(rec[1]), Bits(rows[i].v1)) << i;
            EXPECT_EQ(HexBits(rec[2]), Bits(rows[i].v2)) << i;
        }
    };
    json j = ReadWithPython(path);
    ASSERT_FALSE(j.is_discarded());
    check(j, "dbfread");
    check(j, "dbf");
    EXPECT_EQ(j["dbfread"]["deleted"], 1);

    // After a pack the deleted record is gone from the file too.
    {
        Table t;
        t.SetPath(path);
        t.Open();
        t.Pack();
        t.Append();  // and a record with an empty value
        t.SetDateTime(0, At(2005, 1, 1));
        t.SetFloat(1, 7.0);
        t.Post();
        t.Close();
    }
    j = ReadWithPython(path);
    EXPECT_EQ(j["dbfread"]["deleted"], 0);
    ASSERT_EQ(j["dbfread"]["records"].size(), rows.size() + 1);
    ASSERT_EQ(j["dbf"]["records"].size(), rows.size() + 1);
    for (const char* reader : {"dbfread", "dbf"}) {
        const json& last = j[reader]["records"][rows.size()];
        EXPECT_EQ(last[0], "2005-01-01 00:00:00.000");
        EXPECT_EQ(HexBits(last[1]), Bits(7.0));
        EXPECT_EQ(last[2], "nan");  // an empty double reads as NaN
    }
    for (const char* reader : {"dbfread", "dbf"})
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(HexBits(j[reader]["records"][i][1]), Bits(rows[i].v1)) << reader << i;
}

TEST(PythonCrossCheck, TablesWrittenByPythonDbfReadHere) {
    TempDir dir;
    int status = 0;
    const std::string out = RunPython("write_tables.py", dir.Path, &status);
    ASSERT_EQ(status, 0) << out;

    Table v;
    v.SetPath(dir / "vfp.dbf");
    v.Open();
    ASSERT_EQ(v.FieldCount(), 7);  // _NullFlags stays hidden
    EXPECT_EQ(v.FieldName(0), "DATETIME");
    EXPECT_EQ(v.GetFieldType(0), FieldType::DateTime);
    EXPECT_EQ(v.GetFieldType(1), FieldType::Float);
    EXPECT_EQ(v.GetFieldType(2), FieldType::Integer);
    EXPECT_EQ(v.GetFieldType(3), FieldType::Currency);
    EXPECT_EQ(v.RecordCount(), 3);
    v.First();
    EXPECT_EQ(v.AsDateTime(0), At(2004, 8, 31, 12, 30, 0));
    EXPECT_EQ(Bits(v.AsFloat(1)), Bits(0.1 + 0.2));
    EXPECT_EQ(v.AsFloat(2), -7);
    EXPECT_NEAR(v.AsFloat(3), 12.3456, 1e-4);
    EXPECT_EQ(v.AsFloat(4), -12.5);
    EXPECT_EQ(v.AsText(5), "žluťoučký");
    EXPECT_EQ(v.AsFloat(6), 1);
    v.Next();
    EXPECT_EQ(v.AsText(0), "2004-08-31 12:30:10.250");
    EXPECT_EQ(Bits(v.AsFloat(1)), Bits(-1e-300));
    EXPECT_EQ(v.AsFloat(2), 2147483646);
    EXPECT_EQ(v.AsFloat(3), -0.0001);
    EXPECT_TRUE(v.IsNull(5));
    EXPECT_EQ(v.AsFloat(6), 0);
    v.Next();
    EXPECT_EQ(v.AsDateTime(0), At(1999, 12, 31, 23, 59, 59));
    EXPECT_TRUE(v.IsNull(6));
    // Our own record appended to their table reads back in both worlds.
    v.Append();
    v.SetDateTime(0, At(2010, 5, 6, 7, 8, 9));
    v.SetFloat(1, 2.75);
    v.SetNull(5);
    v.Post();
    v.Close();
    const json j = ReadWithPython(dir / "vfp.dbf");
    ASSERT_EQ(j["dbf"]["records"].size(), 4u);
    EXPECT_EQ(j["dbf"]["records"][3][0], "2010-05-06 07:08:09.000");
    EXPECT_EQ(HexBits(j["dbf"]["records"][3][1]), Bits(2.75));
    v.Open();
    v.Last();
    EXPECT_TRUE(v.IsNull(5));
    EXPECT_EQ(v.AsFloat(1), 2.75);
    v.Close();

    Table d;
    d.SetPath(dir / "db3.dbf");
    d.Open();
    auto* e = dynamic_cast<dbf::DbfTable*>(d.Engine());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Level(), dbf::DbfLevel::Dbase3);
    ASSERT_EQ(d.FieldCount(), 4);
    EXPECT_EQ(d.RecordCount(), 2);  // the blank record is deleted
    d.First();
    EXPECT_EQ(d.AsDateTime(0), At(2004, 8, 31));
    EXPECT_EQ(d.AsFloat(1), -12.5);
    EXPECT_EQ(d.AsText(2), "abc");
    EXPECT_EQ(d.AsFloat(3), 1);
    d.Next();
    EXPECT_EQ(d.AsText(0), "2000-02-29");
    EXPECT_EQ(d.AsFloat(1), 1234567.1234);
    EXPECT_EQ(d.AsText(2), "Příliš");
    EXPECT_EQ(d.AsFloat(3), 0);
}

TEST(PythonCrossCheck, ForeignTablesShowTheirTextMemosAndNulls) {
    TempDir dir;
    int status = 0;
    const std::string out = RunPython("write_foreign.py", dir.Path, &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_EQ(std::remove((dir / "cyr.dbt").c_str()), 0);
    struct Case {
        const char* file;
        int record;
        std::vector<const char*> texts;  // nullptr: a null field
        bool memoMissing;
    };
    const std::vector<Case> cases = {
        {"memo3.dbf", 0, {"a", "první poznámka"}, false},
        {"memofp.dbf", 0, {"žluť", "řádek\nkůň"}, false},
        {"cyr.dbf", 0, {"Привет", ""}, true},
        {"nulls.dbf", 0, {"été", "0", "memo"}, false},  // the writer keeps no null flag for I
        {"nulls.dbf", 1, {nullptr, "5", nullptr}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " #" + std::to_string(c.record));
        dbf::DbfTable t;
        t.Open(dir / c.file, false);
        EXPECT_EQ(t.MemoMissing(), c.memoMissing);
        ASSERT_EQ(t.FieldCount(), static_cast<int>(c.texts.size()));
        ASSERT_TRUE(t.MoveTo(c.record + 1));
        for (int i = 0; i < t.FieldCount(); ++i) {
            EXPECT_EQ(t.IsNull(i), c.texts[i] == nullptr) << i;
            EXPECT_EQ(t.AsText(i), c.texts[i] ? c.texts[i] : "") << i;
        }
    }
}
