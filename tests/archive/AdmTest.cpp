// SPDX-License-Identifier: GPL-3.0-or-later
// The data module: opening, creating and closing archives with their
// parameter files, the repairs of a read record, questions, messages, the
// temporary table, pack and the deletion of a period.

#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveTestUtil.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::test;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

ArchiveParameterRecord Record(std::uint8_t flags) {
    LoggerImage im;
    im.SerialNumber = 42;
    im.Parameters.ArchiveFlags = flags;
    im.Parameters.Input[0].SetName("Teplota");
    im.Parameters.Input[0].SetUnit("°C");
    im.Parameters.Input[1].SetName("Tlak");
    im.Parameters.Input[1].SetUnit("kPa");
    return BuildParameterRecord(im, Lang::English);
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EKolvex& e) {
        return e.what();
    }
    return "(no error)";
}

struct LanguageGuard {
    std::int32_t old = LanguageValue();
    explicit LanguageGuard(std::int32_t v) { SetLanguage(v); }
    ~LanguageGuard() { SetLanguage(old); }
};

void AddRecords(Table& t, int n) {
    for (int i = 0; i < n; ++i) {
        t.Append();
        t.SetDateTime(0, At(2004, 8, 31) + i / 24.0);  // hourly
        for (int f = 1; f < t.FieldCount(); ++f) t.SetFloat(f, i * f);
        t.Post();
    }
}

}  // namespace

TEST(Adm, CreateOpenAndCloseKeepTheParameterFile) {
    LanguageGuard lang(1);
    TempDir dir;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const std::string path = dir / "a.dbf";
    adm.CreateArchive(path, Record(3));
    ASSERT_TRUE(adm.Table1.IsOpen());
    EXPECT_EQ(adm.Table1.FieldCount(), 3);
    EXPECT_EQ(adm.Table1.FieldName(2), "VSTUP2");
    EXPECT_EQ(adm.Table1.Layout(1).Label, "Teplota");
    EXPECT_EQ(adm.Table1.Layout(1).DisplayFormat, "°C");
    EXPECT_EQ(adm.Table1.Layout(1).Precision, 1);
    EXPECT_EQ(adm.Table1.Layout(0).Label, "Date time");
    EXPECT_EQ(adm.Table1.Layout(0).DisplayFormat, "");
    auto par = ReadBytes(dir / "a.par");
    ASSERT_EQ(par.size(), 528u);
    ArchiveParameterRecord onDisk;
    std::memcpy(onDisk.Bytes.data(), par.data(), 528);
    EXPECT_TRUE(onDisk.ChecksumOk());
    EXPECT_EQ(onDisk.SerialNumber(), "00000042");
    AddRecords(adm.Table1, 5);

    // Changes to the in-memory record reach the disk when the table closes.
    adm.ParameterRecord.SetPanelWidth(333);
    adm.ParameterRecord.SetFooter("Zápatí");
    adm.CloseArchive();
    EXPECT_FALSE(adm.Table1.IsOpen());
    par = ReadBytes(dir / "a.par");
    std::memcpy(onDisk.Bytes.data(), par.data(), 528);
    EXPECT_EQ(onDisk.PanelWidth(), 333);
    EXPECT_EQ(onDisk.Footer(), "Zápatí");
    EXPECT_TRUE(onDisk.ChecksumOk());
    EXPECT_EQ(adm.ParameterRecord.PanelWidth(), 333);  // kept after closing

    adm.ParameterRecord = ArchiveParameterRecord{};
    ASSERT_TRUE(adm.OpenArchive(path));
    EXPECT_EQ(adm.ParameterRecord.PanelWidth(), 333);
    EXPECT_EQ(adm.Table1.RecordCount(), 5);
    EXPECT_EQ(yes.Questions.size(), 0u);

    // OpenOrCreate on an existing file opens it and loads its own parameters.
    adm.OpenOrCreateArchive(path, Record(1));
    EXPECT_EQ(adm.Table1.FieldCount(), 3);
    EXPECT_EQ(adm.Table1.RecordCount(), 5);
    adm.OpenOrCreateArchive(dir / "b.dbf", Record(2));
    EXPECT_EQ(adm.Table1.FieldCount(), 2);
    EXPECT_EQ(adm.Table1.FieldName(1), "VSTUP2");
    EXPECT_TRUE(FileExists(dir / "b.par"));

    // A table without a parameter file gets a record of its own (never the
    // previous table's), and it is written only once it was changed.
    adm.CloseArchive();
    const std::string c = dir / "c.dbf";
    {
        Table t;
        t.SetPath(c);
        t.Create(TADM::FieldsOf(Record(2)));
    }
    adm.ParameterRecord.SetFooter("inherited");
    ASSERT_TRUE(adm.OpenArchive(c));
    EXPECT_EQ(adm.ParameterRecord.Footer(), "");
    EXPECT_EQ(adm.ParameterRecord.FieldCount(), 2);
    EXPECT_EQ(adm.ParameterRecord.Descriptor(1).Label, "VSTUP2");
    EXPECT_TRUE(adm.ParametersBuilt());
    adm.ParameterRecord.SetPanelWidth(333);  // not a setting
    adm.CloseArchive();
    EXPECT_FALSE(FileExists(dir / "c.par"));
    ASSERT_TRUE(adm.OpenArchive(c));
    adm.ParameterRecord.SetFooter("Sklad");
    EXPECT_FALSE(adm.ParametersBuilt());
    adm.CloseArchive();
    EXPECT_TRUE(FileExists(dir / "c.par"));
    ASSERT_TRUE(adm.OpenArchive(c));
    EXPECT_EQ(adm.ParameterRecord.Footer(), "Sklad");
    adm.DeleteArchiveFiles();
    EXPECT_FALSE(FileExists(c));
    EXPECT_FALSE(FileExists(dir / "c.par"));
    EXPECT_FALSE(adm.Table1.IsOpen());
}

TEST(Adm, ReadRecordIsFittedToTheTable) {
    TempDir dir;
    TADM adm;
    const std::string path = dir / "t.dbf";
    // The table has DATETIME and VSTUP2; the parameter file lists all three fields.
    {
        Table t;
        t.SetPath(path);
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP2"}});
    }
    ArchiveParameterRecord three = Record(3);
    AxisSettings right = three.RightAxis();
    right.Automatic = 1;
    three.SetRightAxis(right);
    three.SetPanelWidth(99);
    three.NormaliseForWriting();
    three.Bytes[0x208] ^= 0x5A;  // a wrong check sum is tolerated
    WriteBytes(dir / "t.par", std::vector<std::uint8_t>(three.Bytes.begin(), three.Bytes.end()));
    ASSERT_TRUE(adm.OpenArchive(path));
    const ArchiveParameterRecord& r = adm.ParameterRecord;
    EXPECT_EQ(r.FieldCount(), 2);
    EXPECT_EQ(r.Descriptor(1).Name, "VSTUP2");
    EXPECT_EQ(r.Descriptor(1).Label, "Tlak");
    EXPECT_EQ(r.LeftAxis().Source, 2);
    EXPECT_EQ(r.LeftAxis().Automatic, 1);
    EXPECT_EQ(r.LeftAxis().Colour, 0x008000);
    EXPECT_EQ(r.PanelWidth(), 200);
    EXPECT_FALSE(r.ChecksumOk());
    EXPECT_EQ(adm.Table1.Layout(1).Label, "Tlak");
    adm.CloseArchive();  // mends the check sum
    ArchiveParameterRecord disk;
    const auto par = ReadBytes(dir / "t.par");
    ASSERT_EQ(par.size(), 528u);
    std::memcpy(disk.Bytes.data(), par.data(), 528);
    EXPECT_TRUE(disk.ChecksumOk());
    EXPECT_EQ(disk.FieldCount(), 2);
    EXPECT_EQ(disk.Descriptor(2).Name, "");

    // Panel widths at the limits stay; beyond them become 200.
    for (auto [w, expect] : {std::pair{100, 100}, {500, 500}, {501, 200}, {-5, 200}}) {
        ArchiveParameterRecord p = Record(2);
        p.SetPanelWidth(w);
        p.NormaliseForWriting();
        WriteBytes(dir / "t.par", std::vector<std::uint8_t>(p.Bytes.begin(), p.Bytes.end()));
        ASSERT_TRUE(adm.OpenArchive(path));
        EXPECT_EQ(adm.ParameterRecord.PanelWidth(), expect) << w;
        adm.CloseTable1WithoutParameters();
    }

    // A file of 100 bytes replaces only the first 100 bytes of the record.
    ArchiveParameterRecord before = adm.ParameterRecord;
    before.SetFooter("stays");
    adm.ParameterRecord = before;
    std::vector<std::uint8_t> head(100, 0);
    head[0x014] = 2;
    head[0x008] = 3, head[0x009] = 'A', head[0x00A] = 'B', head[0x00B] = 'C';
    WriteBytes(dir / "t.par", head);
    ASSERT_TRUE(adm.OpenArchive(path));
    EXPECT_EQ(adm.ParameterRecord.SerialNumber(), "ABC");
    EXPECT_EQ(adm.ParameterRecord.Footer(), "stays");
    EXPECT_EQ(std::memcmp(adm.ParameterRecord.Bytes.data() + 100, before.Bytes.data() + 100, 428), 0);
    adm.CloseTable1WithoutParameters();

    // Parameter files of any length never overrun the record.
    for (std::size_t len : {0u, 1u, 527u, 528u, 529u, 100000u}) {
        WriteBytes(dir / "t.par", std::vector<std::uint8_t>(len, 0xEE));
        ASSERT_NO_THROW(adm.OpenArchive(path)) << len;
        EXPECT_EQ(adm.ParameterRecord.FieldCount(), 2);
        adm.CloseTable1WithoutParameters();
    }
}

TEST(Adm, MessagesAndQuestions) {
    TempDir dir;
    FixedAnswerer no(false);
    TADM adm(&no);
    const std::string missing = dir / "missing.dbf";
    {
        LanguageGuard cz(0);
        EXPECT_EQ(ErrorOf([&] { adm.OpenArchive(missing); }), "Soubor  " + missing + "\r\nneexistuje.");
    }
    LanguageGuard en(1);
    EXPECT_EQ(ErrorOf([&] { adm.OpenArchive(missing); }), "The file  " + missing + "\r\ndoes not exist.");
    const std::string junk = dir / "junk.dbf";
    WriteBytes(junk, std::vector<std::uint8_t>(300, 0x41));
    // The system's message, then the reason.
    EXPECT_EQ(ErrorOf([&] { adm.OpenArchive(junk); }),
              "The file  " + junk + "\r\nwas not opened.\r\nUnsupported table version: 0x41");
    EXPECT_FALSE(adm.Table1.IsOpen());
    {
        LanguageGuard cz(0);
        EXPECT_EQ(ErrorOf([&] { adm.OpenArchive(junk); }).rfind("Soubor  " + junk + "\r\nse nepodařilo otevřít.\r\n", 0), 0u);
    }
    const std::string nodir = dir / "no/such/dir/x.dbf";
    for (const std::string& e : {ErrorOf([&] { adm.CreateArchive(nodir, Record(3)); }),
                                 ErrorOf([&] { adm.CreateTempTable(dir / "no/such/tmp", Record(3)); })}) {
        EXPECT_TRUE(e.rfind("The file x.dbf was not created.\r\n", 0) == 0 ||
                    e.rfind("The file Tmp was not created\r\n", 0) == 0)
            << e;
        EXPECT_NE(e.find("/no/such/"), std::string::npos) << e;
        EXPECT_NE(e.find("No such file or directory"), std::string::npos) << e;
    }

    // An existing file: the overwrite question, answered No, changes nothing.
    const std::string a = dir / "a.dbf";
    FixedAnswerer yes(true);
    adm.SetAnswerer(&yes);
    adm.CreateArchive(a, Record(3));
    AddRecords(adm.Table1, 3);
    adm.CloseArchive();
    const auto bytes = ReadBytes(a);
    adm.SetAnswerer(&no);
    const ArchiveParameterRecord memory = adm.ParameterRecord;
    EXPECT_EQ(ErrorOf([&] { adm.CreateArchive(a, Record(1)); }), "(no error)");
    ASSERT_EQ(no.Questions.size(), 1u);
    EXPECT_EQ(no.Questions[0], "The file  " + a + "  exists\r\nOwerwrite?");
    EXPECT_EQ(ReadBytes(a), bytes);
    EXPECT_EQ(adm.ParameterRecord, memory);
    EXPECT_FALSE(adm.Table1.IsOpen());
    // Answered Yes, the table is replaced.
    adm.SetAnswerer(&yes);
    adm.CreateArchive(a, Record(1));
    EXPECT_EQ(adm.Table1.FieldCount(), 2);
    EXPECT_EQ(adm.Table1.RecordCount(), 0);

    // A table of four fields is of the old structure: No leaves nothing open.
    const std::string old = dir / "old.dbf";
    {
        Table t;
        t.SetPath(old);
        t.Create({{FieldType::DateTime, "DATUMCAS"}, {FieldType::Float, "VSTUP1"}, {FieldType::Float, "VSTUP2"},
                  {FieldType::Integer, "MASKAA"}});
    }
    adm.SetAnswerer(&no);
    no.Questions.clear();
    EXPECT_FALSE(adm.OpenArchive(old));
    ASSERT_EQ(no.Questions.size(), 1u);
    EXPECT_EQ(no.Questions[0], "The database has old structure.\r\nConvert into new structure?");
    EXPECT_FALSE(adm.Table1.IsOpen());
    EXPECT_FALSE(FileExists(dir / "old.par"));

    // Yes goes to the converter, which leaves Table1 at the converted table.
    struct Converter : OldStructureConverter {
        std::string converted;
        bool Convert(TADM& m, const std::string& path) override {
            m.CloseTable1WithoutParameters();
            m.Table1.SetPath(path);
            Table t;
            t.SetPath(path);
            t.Create(TADM::FieldsOf(Record(3)));
            converted = path;
            return true;
        }
    } conv;
    adm.SetAnswerer(&yes);
    adm.SetConverter(&conv);
    EXPECT_TRUE(adm.OpenArchive(old));
    EXPECT_EQ(conv.converted, old);
    EXPECT_TRUE(adm.Table1.IsOpen());
    EXPECT_EQ(adm.Table1.FieldCount(), 3);
}

TEST(Adm, TempTablePackAndDeletionOfAPeriod) {
    LanguageGuard en(1);
    TempDir dir;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    const std::string a = dir / "a.dbf";
    adm.CreateArchive(a, Record(3));
    AddRecords(adm.Table1, 48);

    // The temporary table closes the archive (writing its parameters) and has no extension.
    adm.CreateTempTable(dir / "a", Record(3));
    EXPECT_FALSE(adm.Table1.IsOpen());
    EXPECT_TRUE(FileExists(dir / "a.par"));
    EXPECT_TRUE(adm.TableTmp.IsOpen());
    EXPECT_EQ(adm.TableTmp.TableType(), "DBASE");
    AddRecords(adm.TableTmp, 2);
    adm.DropTempTable();
    EXPECT_FALSE(FileExists(dir / "a"));

    ASSERT_TRUE(adm.OpenArchive(a));
    EXPECT_EQ(adm.Table1.RecordCount(), 48);
    int counter = 0;
    adm.RecordCounterHook = [&] { ++counter; };
    adm.Table1.Next();
    EXPECT_EQ(counter, 1);
    std::vector<int> progress;
    // Records at 02:00 ... 05:00 inclusive: four of them.
    const int deleted = adm.DeleteRecordsInPeriod(At(2004, 8, 31, 2), At(2004, 8, 31, 5),
                                                  [&](int p) { progress.push_back(p); });
    EXPECT_EQ(deleted, 4);
    EXPECT_EQ(counter, 1);  // the walk does not update the viewer
    EXPECT_EQ(progress.size(), 48u);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(adm.Table1.IsOpen());
    EXPECT_FALSE(adm.Table1.IsExclusive());  // the sharing mode is restored
    EXPECT_EQ(adm.Table1.RecordCount(), 44);
    EXPECT_EQ(ReadBytes(a).size(), 32u + 96 + 1 + 263 + 44 * 25 + 1);
    EXPECT_EQ(adm.Table1.Layout(2).Label, "Tlak");
    EXPECT_EQ(adm.DeleteRecordsInPeriod(At(2004, 9, 2), At(2004, 9, 1)), 0);

    // A table that cannot be reopened exclusively: the pack reports it and
    // the table is back as it was.
    Table other;
    other.SetPath(a);
    other.Open();
    EXPECT_EQ(ErrorOf([&] { adm.PackTable(); }), "Error Pack - Active");
    EXPECT_TRUE(adm.Table1.IsOpen());
    other.Close();
    adm.CloseArchive();
    adm.Table1.SetPath("");
    EXPECT_EQ(ErrorOf([&] { adm.PackTable(); }), "Error Pack - Active");
    EXPECT_FALSE(adm.Table1.IsOpen());
}
