// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion of old-structure tables: the structure and mask checks, the
// copy into the current layout, the new parameter file from the legacy
// image, the backups, and what is left on disk when a step fails.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "OldConversionFixture.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "archive/OldConversion.h"

using namespace kolvex;
using namespace kolvex::test;

namespace {

struct LanguageGuard {
    std::int32_t old = LanguageValue();
    explicit LanguageGuard(std::int32_t v) { SetLanguage(v); }
    ~LanguageGuard() { SetLanguage(old); }
};

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EKolvex& e) {
        return e.what();
    }
    return "(no error)";
}

// Answers the conversion question with Yes and the overwrite question as told.
class ConvertAnswerer : public Answerer {
public:
    explicit ConvertAnswerer(bool overwrite = true) : overwrite_(overwrite) {}
    bool Confirm(const std::string& q) override {
        Questions.push_back(q);
        return q.find("Databáze má starou") != std::string::npos || q.find("old structure") != std::string::npos ||
               overwrite_;
    }
    std::vector<std::string> Questions;

private:
    bool overwrite_;
};

// An old table with its legacy parameter file, and a data module set up to
// convert it without a dialog.
struct OldArchive {
    TempDir dir;
    std::string P = dir / "stara.dbf";
    ConvertAnswerer answers;
    TADM adm{&answers};
    AutomaticOldStructureConverter conv;
    std::vector<std::string> messages;

    OldArchive() {
        adm.SetConverter(&conv);
        conv.OnMessage = [this](const std::string& m) { messages.push_back(m); };
    }
    void Write(OldLayout layout, const std::vector<OldRecord>& recs,
               const std::vector<std::string>& names = OldFieldNames(), bool wrongChecksum = false) {
        WriteOldTable(P, layout, recs, names);
        WriteLegacyPar(P, OldLoggerImage(), wrongChecksum);
    }
    std::string Par() const { return ReplaceExtension(P, ".par"); }
    std::string Tmp() const { return dir / "Tmp.dbf"; }
    bool Has(const std::string& name) const { return FileExists(dir / name); }
};

std::vector<std::string> FieldNames(Table& t) {
    std::vector<std::string> v;
    for (int i = 0; i < t.FieldCount(); ++i) v.push_back(t.FieldName(i));
    return v;
}

}  // namespace

TEST(OldConversion, MasksFourThenOneConvertInputOneOnly) {
    LanguageGuard lang(0);
    for (OldLayout layout : {OldLayout::Level7, OldLayout::Dbase3}) {
        SCOPED_TRACE(layout == OldLayout::Level7 ? "level 7" : "dBASE III");
        OldArchive a;
        const bool l7 = layout == OldLayout::Level7;
        const double t0 = l7 ? OldTime(2003, 5, 6, 7, 8, 9) : OldTime(2003, 5, 6);
        a.Write(layout, {{t0, 21.5, 99.0, 4}, {t0 + 1, -3.25, 98.0, 1}, {t0 + 2, std::nullopt, 97.0, 0}});
        const auto oldTable = ReadBytes(a.P);
        const auto oldPar = ReadBytes(a.Par());

        ASSERT_TRUE(a.adm.OpenArchive(a.P));
        ASSERT_EQ(a.answers.Questions.size(), 1u);
        EXPECT_EQ(a.answers.Questions[0], "Databáze má starou strukturu.\r\nPřevést na novou?");
        Table& t = a.adm.Table1;
        ASSERT_TRUE(t.IsOpen());
        EXPECT_EQ(t.Path(), a.P);
        EXPECT_EQ(FieldNames(t), (std::vector<std::string>{"DATETIME", "VSTUP1"}));
        EXPECT_EQ(t.GetFieldType(0), FieldType::DateTime);
        EXPECT_EQ(t.GetFieldType(1), FieldType::Float);
        ASSERT_EQ(t.RecordCount(), 3);
        t.First();
        EXPECT_DOUBLE_EQ(t.AsDateTime(0), t0);
        EXPECT_EQ(t.AsFloat(1), 21.5);
        t.Next();
        EXPECT_DOUBLE_EQ(t.AsDateTime(0), t0 + 1);
        EXPECT_EQ(t.AsFloat(1), -3.25);
        t.Next();
        EXPECT_TRUE(t.IsNull(1));  // an empty old value is not made a zero reading
        EXPECT_EQ(t.Layout(1).Label, "Teplota");

        // The old files are the backups, byte for byte; nothing else is left.
        EXPECT_EQ(ReadBytes(ReplaceExtension(a.P, ".dbfbak")), oldTable);
        EXPECT_EQ(ReadBytes(ReplaceExtension(a.P, ".parbak")), oldPar);
        EXPECT_EQ(ReadBytes(a.Par()).size(), kParameterRecordSize);
        EXPECT_FALSE(a.Has("Tmp.dbf"));
        EXPECT_FALSE(a.Has("Tmp.par"));
        EXPECT_EQ(a.adm.ParameterRecord.FieldCount(), 2);
        EXPECT_EQ(a.adm.ParameterRecord.Descriptor(1).Name, "VSTUP1");
        EXPECT_TRUE(a.messages.empty());

        // Closing writes the new parameter file, which the next open reads.
        a.adm.CloseArchive();
        EXPECT_TRUE(a.adm.OpenArchive(a.P));
        EXPECT_EQ(a.answers.Questions.size(), 1u);  // no second question
        EXPECT_EQ(a.adm.Table1.Layout(1).Label, "Teplota");
    }
}

TEST(OldConversion, TablesThatCannotBeConvertedAreRefused) {
    for (std::int32_t l : {0, 1}) {
        LanguageGuard lang(l);
        // All masks 3: bit 2 never set.
        for (OldLayout layout : {OldLayout::Level7, OldLayout::Dbase3}) {
            OldArchive a;
            a.Write(layout, {{OldTime(2003, 1, 1), 1, 2, 3}, {OldTime(2003, 1, 2), 1, 2, 3}});
            const auto before = ReadBytes(a.P);
            EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }), "Databázi nelze převést");  // Czech in both
            EXPECT_FALSE(a.adm.Table1.IsOpen());
            EXPECT_EQ(ReadBytes(a.P), before);
            EXPECT_EQ(ReadBytes(a.Par()).size(), kLegacyParameterSize);
            EXPECT_FALSE(a.Has("Tmp.dbf"));
            EXPECT_FALSE(a.Has("stara.dbfbak"));
        }
        // Masks with a bit above bit 2, or no records with bit 2 set.
        for (std::vector<int> masks : {std::vector<int>{8, 7}, {7, 8}, {1, 2}, {0}, {-1}}) {
            OldArchive a;
            std::vector<OldRecord> recs;
            for (int m : masks) recs.push_back({OldTime(2003, 1, 1), 1, 2, m});
            a.Write(OldLayout::Level7, recs);
            if (masks == std::vector<int>{7, 8}) {
                // The scan stops at 7: a later record cannot spoil it.
                EXPECT_TRUE(a.adm.OpenArchive(a.P));
            } else {
                EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }), "Databázi nelze převést");
            }
        }
        // Not the old field layout.
        for (auto names : {std::vector<std::string>{"DATUMCAS", "VSTUP1", "VSTUP2", "MASKA"},
                           std::vector<std::string>{"CAS", "VSTUP1", "VSTUP2", "MASKAA"},
                           std::vector<std::string>{"DATUMCAS", "VSTUP2", "VSTUP1", "MASKAA"}}) {
            OldArchive a;
            a.Write(OldLayout::Level7, {{OldTime(2003, 1, 1), 1, 2, 7}}, names);
            EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }),
                      l == 0 ? "Databázi nelze převést" : "The database was not corverted");
            EXPECT_FALSE(a.adm.Table1.IsOpen());
        }
    }
    // Declining the question converts nothing.
    OldArchive a;
    a.Write(OldLayout::Level7, {{OldTime(2003, 1, 1), 1, 2, 7}});
    FixedAnswerer no(false);
    a.adm.SetAnswerer(&no);
    EXPECT_FALSE(a.adm.OpenArchive(a.P));
    EXPECT_FALSE(a.Has("Tmp.dbf"));
    EXPECT_EQ(ReadBytes(a.Par()).size(), kLegacyParameterSize);
}

TEST(OldConversion, EmptyTableOffersBothInputsAndGivesAnEmptyTable) {
    for (OldLayout layout : {OldLayout::Level7, OldLayout::Dbase3}) {
        OldArchive a;
        a.Write(layout, {});
        OldDatabaseConversion c(a.adm);
        ASSERT_TRUE(c.PrepareConversion(a.P));
        EXPECT_EQ(c.Mask(), 7);
        EXPECT_TRUE(c.HasInput(0));
        EXPECT_TRUE(c.HasInput(1));
        EXPECT_TRUE(c.Table1.IsOpen());  // the old table stays open for the copy
        EXPECT_TRUE(c.ReadLegacyParameters());
        EXPECT_EQ(c.InputName(0), "Teplota");
        EXPECT_EQ(c.InputUnit(1), "%");
        c.Convert({"A", "B"}, {"u", "v"});
        EXPECT_FALSE(a.adm.Table1.IsOpen());  // pointed at the old name, opened by the caller
        EXPECT_EQ(a.adm.Table1.Path(), a.P);
        a.adm.Table1.Open();
        EXPECT_EQ(FieldNames(a.adm.Table1), (std::vector<std::string>{"DATETIME", "VSTUP1", "VSTUP2"}));
        EXPECT_EQ(a.adm.Table1.RecordCount(), 0);
        EXPECT_TRUE(a.Has("stara.dbfbak"));
    }
}

TEST(OldConversion, ThousandRecordsAreAllCopied) {
    OldArchive a;
    std::vector<OldRecord> recs;
    const double t0 = OldTime(2002, 12, 31, 23, 0, 0);
    for (int i = 0; i < 1000; ++i)
        recs.push_back({t0 + i / 1440.0, i * 1.0, i / 4.0, i % 2 == 0 ? 2 : 4});  // m = 6: input 2 only
    a.Write(OldLayout::Level7, recs);
    ASSERT_TRUE(a.adm.OpenArchive(a.P));
    Table& t = a.adm.Table1;
    EXPECT_EQ(FieldNames(t), (std::vector<std::string>{"DATETIME", "VSTUP2"}));
    ASSERT_EQ(t.RecordCount(), 1000);
    t.Last();
    EXPECT_NEAR(t.AsDateTime(0), t0 + 999 / 1440.0, 1e-8);
    EXPECT_EQ(t.AsFloat(1), 999 / 4.0);
    t.MoveTo(500);
    EXPECT_EQ(t.AsFloat(1), 499 / 4.0);
    EXPECT_EQ(a.adm.ParameterRecord.Descriptor(1).Label, "Vlhkost");
    EXPECT_EQ(a.adm.ParameterRecord.LeftAxis().Source, 1);
    EXPECT_EQ(a.adm.ParameterRecord.RightAxis().Source, 1);
}

TEST(OldConversion, FieldNamesInAnyCase) {
    for (OldLayout layout : {OldLayout::Level7, OldLayout::Dbase3}) {
        for (auto names : {OldFieldNames(true), OldFieldNames(true, "datetime"), OldFieldNames(false, "DATETIME"),
                           std::vector<std::string>{"DatumCas", "Vstup1", "vStUp2", "MaskaA"}}) {
            SCOPED_TRACE(names[0] + " " + names[3]);
            OldArchive a;
            a.Write(layout, {{OldTime(2003, 1, 1), 5, 6, 7}}, names);
            ASSERT_TRUE(a.adm.OpenArchive(a.P));
            EXPECT_EQ(FieldNames(a.adm.Table1), (std::vector<std::string>{"DATETIME", "VSTUP1", "VSTUP2"}));
            a.adm.Table1.First();
            EXPECT_EQ(a.adm.Table1.AsFloat(2), 6);
        }
    }
}

TEST(OldConversion, NewParameterFileComesFromTheLegacyImage) {
    LanguageGuard lang(1);  // English: the time label stays Czech
    OldArchive a;
    a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
    a.conv.EditNames = [](OldDatabaseConversion& c, std::array<std::string, 2>& n, std::array<std::string, 2>& u) {
        EXPECT_EQ(n[0], "Teplota");
        EXPECT_EQ(u[0], "°C");
        EXPECT_EQ(n[1], "Vlhkost");
        EXPECT_EQ(u[1], "%");
        EXPECT_EQ(c.Image().SerialNumber, 12345678);
        n[1] = "Vlhkost vzduchu v hale";  // longer than 12 characters
        u[1] = "% rv";
    };
    ASSERT_TRUE(a.adm.OpenArchive(a.P));
    const ArchiveParameterRecord r = a.adm.ParameterRecord;
    EXPECT_EQ(r.SerialNumber(), "12345678");
    EXPECT_EQ(r.FieldCount(), 3);
    EXPECT_EQ(r.Descriptor(0).Label, "Datum a čas");
    EXPECT_EQ(r.Descriptor(0).Unit, "dd/mm/yyyy  hh:nn:ss");
    EXPECT_EQ(r.Descriptor(1).Label, "Teplota");
    EXPECT_EQ(r.Descriptor(1).Unit, "°C");
    EXPECT_EQ(r.Descriptor(2).Label, "Vlhkost vzdu");
    EXPECT_EQ(r.Descriptor(2).Unit, "% rv");
    EXPECT_EQ(r.PanelWidth(), 280);
    const AxisSettings left = r.LeftAxis(), right = r.RightAxis();
    EXPECT_EQ(left.Source, 1);
    EXPECT_EQ(left.Colour, 0x0000FF);
    EXPECT_NEAR(left.Minimum, -50.0, 1e-4);
    EXPECT_NEAR(left.Maximum, 200.0, 1e-2);
    EXPECT_EQ(right.Source, 2);
    EXPECT_EQ(right.Colour, 0x008000);
    EXPECT_NEAR(right.Minimum, 0.0, 1e-6);
    EXPECT_NEAR(right.Maximum, 100.0, 1e-2);
    // The file on disk is that record with a valid check sum.
    const auto disk = ReadBytes(a.Par());
    ASSERT_EQ(disk.size(), kParameterRecordSize);
    ArchiveParameterRecord d;
    std::copy(disk.begin(), disk.end(), d.Bytes.begin());
    EXPECT_TRUE(d.ChecksumOk());
    EXPECT_EQ(d.Descriptor(0).Label, "Datum a čas");
    EXPECT_EQ(d.SerialNumber(), "12345678");
    EXPECT_EQ(d.LeftAxis().Minimum, left.Minimum);
}

TEST(OldConversion, WrongOrMissingLegacyParameterFile) {
    for (std::int32_t l : {0, 1}) {
        LanguageGuard lang(l);
        OldArchive a;
        a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}}, OldFieldNames(), /*wrongChecksum=*/true);
        ASSERT_TRUE(a.adm.OpenArchive(a.P));
        ASSERT_EQ(a.messages.size(), 1u);
        EXPECT_EQ(a.messages[0], l == 0 ? "Chyba souboru parametrů (kontrolní součet)" : "Error in parameter file");
        const ArchiveParameterRecord& r = a.adm.ParameterRecord;
        EXPECT_EQ(r.Descriptor(1).Label, "Vstup1");
        EXPECT_EQ(r.Descriptor(1).Unit, "");
        EXPECT_EQ(r.Descriptor(2).Label, "Vstup2");
        EXPECT_EQ(r.Descriptor(2).Unit, "");
        // The rest of the image is used as read.
        EXPECT_EQ(r.SerialNumber(), "12345678");
        EXPECT_NEAR(r.LeftAxis().Minimum, -50.0, 1e-4);
    }
    // A short file is read as far as it goes: the check sum does not match.
    {
        OldArchive a;
        a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        auto par = ReadBytes(a.Par());
        par.resize(100);
        WriteBytes(a.Par(), par);
        ASSERT_TRUE(a.adm.OpenArchive(a.P));
        EXPECT_EQ(a.messages.size(), 1u);
        EXPECT_EQ(a.adm.ParameterRecord.Descriptor(1).Label, "Vstup1");
    }
    // Without a parameter file nothing is converted.
    for (std::int32_t l : {0, 1}) {
        LanguageGuard lang(l);
        OldArchive a;
        WriteOldTable(a.P, OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        const auto before = ReadBytes(a.P);
        EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }),
                  l == 0 ? "Soubor  " + a.Par() + " se nepodařilo otevřít." : "File  " + a.Par() + " was not opened.");
        EXPECT_EQ(ReadBytes(a.P), before);
        EXPECT_FALSE(a.Has("Tmp.dbf"));
        EXPECT_FALSE(a.Has("stara.dbfbak"));
        EXPECT_FALSE(a.adm.Table1.IsOpen());
    }
}

TEST(OldConversion, SecondConversionReplacesTheBackups) {
    OldArchive a;
    a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
    ASSERT_TRUE(a.adm.OpenArchive(a.P));
    a.adm.CloseArchive();

    // Another old table under the same name.
    LoggerImage im = OldLoggerImage();
    im.SerialNumber = 777;
    WriteOldTable(a.P, OldLayout::Dbase3, {{OldTime(2005, 1, 1), 10, 20, 5}, {OldTime(2005, 1, 2), 11, 21, 5}});
    WriteLegacyPar(a.P, im);
    const auto oldTable = ReadBytes(a.P);
    const auto oldPar = ReadBytes(a.Par());
    ASSERT_TRUE(a.adm.OpenArchive(a.P));
    EXPECT_EQ(ReadBytes(ReplaceExtension(a.P, ".dbfbak")), oldTable);
    EXPECT_EQ(ReadBytes(ReplaceExtension(a.P, ".parbak")), oldPar);
    EXPECT_EQ(a.adm.Table1.RecordCount(), 2);
    EXPECT_EQ(a.adm.ParameterRecord.SerialNumber(), "00000777");
}

TEST(OldConversion, FailedCopyLeavesTheOldFilesIntact) {
    LanguageGuard lang(0);
    OldArchive a;
    std::vector<OldRecord> recs;
    for (int i = 0; i < 10; ++i) recs.push_back({OldTime(2004, 8, 31) + i, i * 1.0, -i * 1.0, 7});
    a.Write(OldLayout::Level7, recs);
    const auto oldTable = ReadBytes(a.P);
    const auto oldPar = ReadBytes(a.Par());
    const ArchiveParameterRecord before = a.adm.ParameterRecord;
    auto intact = [&] {
        EXPECT_EQ(ReadBytes(a.P), oldTable);
        EXPECT_EQ(ReadBytes(a.Par()), oldPar);
        EXPECT_FALSE(a.Has("Tmp.dbf"));
        EXPECT_FALSE(a.Has("Tmp.par"));
        EXPECT_FALSE(a.Has("stara.dbfbak"));
        EXPECT_FALSE(a.Has("stara.parbak"));
        EXPECT_FALSE(a.adm.Table1.IsOpen());
        EXPECT_EQ(a.adm.ParameterRecord, before);
    };

    // A failure in the middle of the copy.
    a.conv.Configure = [](OldDatabaseConversion& c) {
        c.AfterRecordCopied = [](std::int64_t n) {
            if (n == 4) throw EADM("disk full");
        };
    };
    EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }), "disk full");
    intact();

    // The new table's parameter file cannot be written: the creation fails.
    a.conv.Configure = nullptr;
    std::filesystem::create_directory(a.dir / "Tmp.par");
    EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }).rfind("Soubor Tmp.dbf se nepodařilo vytvořit.\r\n", 0), 0u);
    EXPECT_EQ(ReadBytes(a.P), oldTable);
    EXPECT_FALSE(a.Has("Tmp.dbf"));
    std::filesystem::remove(a.dir / "Tmp.par");

    // A try after a failed copy goes through with the same conversion.
    OldDatabaseConversion c(a.adm);
    ASSERT_TRUE(c.PrepareConversion(a.P));
    c.ReadLegacyParameters();
    c.AfterRecordCopied = [](std::int64_t n) {
        if (n == 10) throw EADM("at the last record");
    };
    EXPECT_EQ(ErrorOf([&] { c.Convert({"a", "b"}, {"", ""}); }), "at the last record");
    intact();
    c.AfterRecordCopied = nullptr;
    c.Convert({"a", "b"}, {"", ""});
    a.adm.Table1.Open();
    EXPECT_EQ(a.adm.Table1.RecordCount(), 10);
    EXPECT_EQ(ReadBytes(ReplaceExtension(a.P, ".dbfbak")), oldTable);
}

TEST(OldConversion, ExistingTmpTableNeedsTheOverwriteAnswer) {
    for (bool overwrite : {false, true}) {
        LanguageGuard lang(overwrite ? 0 : 1);
        OldArchive a;
        a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        ConvertAnswerer answers(overwrite);
        a.adm.SetAnswerer(&answers);
        WriteBytes(a.Tmp(), {1, 2, 3});
        const auto oldTable = ReadBytes(a.P);
        if (!overwrite) {
            EXPECT_EQ(ErrorOf([&] { a.adm.OpenArchive(a.P); }),
                      "The file  " + a.Tmp() + " was not overwritten.\r\nThe database was not converted.");
            EXPECT_EQ(ReadBytes(a.Tmp()), (std::vector<std::uint8_t>{1, 2, 3}));  // not ours: kept
            EXPECT_EQ(ReadBytes(a.P), oldTable);
        } else {
            EXPECT_TRUE(a.adm.OpenArchive(a.P));
            EXPECT_FALSE(a.Has("Tmp.dbf"));
        }
        ASSERT_EQ(answers.Questions.size(), 2u);
        EXPECT_EQ(answers.Questions[1], overwrite ? "Soubor  " + a.Tmp() + "  existuje\r\nPřepsat?"
                                                  : "The file  " + a.Tmp() + "  exists\r\nOwerwrite?");
    }
}

TEST(OldConversion, RenameFailureStopsTheSequence) {
    LanguageGuard lang(1);
    for (int step = 0; step < 5; ++step) {
        SCOPED_TRACE(step);
        OldArchive a;
        a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        const std::string par = a.Par(), dbfbak = a.dir / "stara.dbfbak", parbak = a.dir / "stara.parbak";
        WriteBytes(dbfbak, {9});
        WriteBytes(parbak, {8});
        const auto oldTable = ReadBytes(a.P);
        const auto oldPar = ReadBytes(par);
        const std::vector<std::pair<std::string, std::string>> renames = {
            {a.P, dbfbak}, {par, parbak}, {a.Tmp(), a.P}, {a.dir / "Tmp.par", par}};
        std::vector<std::string> log;
        a.conv.Configure = [&](OldDatabaseConversion& c) {
            auto sys = ConversionFileOps::System();
            c.Files.Remove = [&, sys](const std::string& p) {
                if (step == 0 && p == parbak) return false;
                return sys.Remove(p);
            };
            c.Files.Rename = [&, sys](const std::string& from, const std::string& to) {
                log.push_back(from + ">" + to);
                if (step > 0 && from == renames[static_cast<std::size_t>(step - 1)].first &&
                    to == renames[static_cast<std::size_t>(step - 1)].second)
                    return false;
                return sys.Rename(from, to);
            };
        };
        const std::string err = ErrorOf([&] { a.adm.OpenArchive(a.P); });
        if (step == 0) {
            EXPECT_EQ(err, "The old backup  " + parbak + " was not deleted.\r\nThe database was not converted.");
            EXPECT_TRUE(log.empty());
        } else {
            const auto& r = renames[static_cast<std::size_t>(step - 1)];
            EXPECT_EQ(err, "The file  " + r.first + " was not renamed to  " + r.second +
                               ".\r\nThe database was not converted.");
            // Every rename before the failed one was undone, the last first.
            ASSERT_EQ(log.size(), static_cast<std::size_t>(2 * step - 1));
            for (int j = 0; j < step - 1; ++j)
                EXPECT_EQ(log[static_cast<std::size_t>(step + j)],
                          renames[static_cast<std::size_t>(step - 2 - j)].second + ">" +
                              renames[static_cast<std::size_t>(step - 2 - j)].first);
        }
        EXPECT_EQ(ReadBytes(a.P), oldTable);
        EXPECT_EQ(ReadBytes(par), oldPar);
        EXPECT_FALSE(a.Has("Tmp.dbf"));
        EXPECT_FALSE(a.Has("Tmp.par"));
        EXPECT_FALSE(a.adm.Table1.IsOpen());
        EXPECT_EQ(a.adm.ParameterRecord.FieldCount(), 0);  // the record from before
    }

    // When an undo fails too, nothing more moves and the message says where the files are.
    OldArchive a;
    a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
    const auto oldTable = ReadBytes(a.P);
    const std::string dbfbak = a.dir / "stara.dbfbak", parbak = a.dir / "stara.parbak";
    OldDatabaseConversion c(a.adm);
    ASSERT_TRUE(c.PrepareConversion(a.P));
    c.ReadLegacyParameters();
    auto sys = ConversionFileOps::System();
    c.Files.Rename = [&](const std::string& from, const std::string& to) {
        if (from == a.Tmp() || from == dbfbak) return false;  // the new table's rename and its undo
        return sys.Rename(from, to);
    };
    const std::string err = ErrorOf([&] { c.Convert({"a", "b"}, {"", ""}); });
    EXPECT_EQ(err, "The file  " + a.Tmp() + " was not renamed to  " + a.P + ".\r\nThe old database is kept as  " +
                       dbfbak + ", its parameters as  " + a.Par() + ".");
    EXPECT_TRUE(c.Spent());
    EXPECT_EQ(ReadBytes(dbfbak), oldTable);  // the old records still exist under a name
    EXPECT_TRUE(a.Has("stara.par"));
    EXPECT_TRUE(a.Has("Tmp.dbf"));  // the copy is kept too
    EXPECT_EQ(ErrorOf([&] { c.Convert({"a", "b"}, {"", ""}); }), "The database was not corverted");
}

TEST(OldConversion, TemporaryTableNameAndParadoxTables) {
    EXPECT_EQ(ConversionTempPath("/d/x.dbf"), "/d/Tmp.dbf");
    EXPECT_EQ(ConversionTempPath("/d/X.DBF"), "/d/Tmp.dbf");
    EXPECT_EQ(ConversionTempPath("/d/x.DB"), "/d/Tmp.DB");
    EXPECT_EQ(ConversionTempPath("/d/Tmp.dbf"), "/d/Tmp1.dbf");
    EXPECT_EQ(ConversionTempPath("/d/Tmp.db"), "/d/Tmp1.db");

    // An old table called Tmp.dbf is not replaced by its own copy.
    {
        OldArchive a;
        a.P = a.dir / "Tmp.dbf";
        a.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        const auto oldTable = ReadBytes(a.P);
        ASSERT_TRUE(a.adm.OpenArchive(a.P));
        EXPECT_EQ(a.answers.Questions.size(), 1u);  // no overwrite question
        EXPECT_EQ(a.adm.Table1.RecordCount(), 1);
        EXPECT_EQ(ReadBytes(a.dir / "Tmp.dbfbak"), oldTable);
        EXPECT_FALSE(a.Has("Tmp1.dbf"));
    }
    // A Paradox old table becomes a Paradox table under its own name.
    {
        OldArchive a;
        a.P = a.dir / "stara.db";
        {
            Table t;
            t.SetPath(a.P);
            t.Create({{FieldType::DateTime, "DATUMCAS"},
                      {FieldType::Float, "VSTUP1"},
                      {FieldType::Float, "VSTUP2"},
                      {FieldType::Integer, "MASKAA"}});
            t.Append();
            t.SetDateTime(0, OldTime(2004, 8, 31, 12));
            t.SetFloat(1, 1.5);
            t.SetFloat(2, 2.5);
            t.SetFloat(3, 6);
            t.Post();
            t.Close();
        }
        WriteLegacyPar(a.P, OldLoggerImage());
        ASSERT_TRUE(a.adm.OpenArchive(a.P));
        EXPECT_EQ(a.adm.Table1.TableType(), "PARADOX");
        EXPECT_EQ(FieldNames(a.adm.Table1), (std::vector<std::string>{"DATETIME", "VSTUP2"}));
        a.adm.Table1.First();
        EXPECT_EQ(a.adm.Table1.AsFloat(1), 2.5);
        EXPECT_TRUE(a.Has("stara.dbfbak"));
        EXPECT_FALSE(a.Has("Tmp.db"));
    }
}
