// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12-cli dump on an archive table with its parameter file (skipped when
// the command-line tool has not been built).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ArchiveTestUtil.h"
#include "archive/Adm.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::test;

namespace {
std::string Cli() {
    const char* bin = std::getenv("KOLVEX_BIN_DIR");
    const std::string path = std::string(bin ? bin : "") + "/cli/kolvex12-cli";
    return bin && std::filesystem::exists(path) ? path : std::string();
}

std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}
}  // namespace

TEST(DumpCli, CsvAndJsonOfAnArchive) {
    const std::string cli = Cli();
    if (cli.empty()) GTEST_SKIP() << "kolvex12-cli not built";
    TempDir dir;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    LoggerImage im;
    im.SerialNumber = 730123;
    im.Parameters.ArchiveFlags = 3;
    im.Parameters.Input[0].SetName("Teplota");
    im.Parameters.Input[0].SetUnit("°C");
    adm.CreateArchive(dir / "a.dbf", BuildParameterRecord(im, Lang::English));
    adm.ParameterRecord.SetFooter("Sklad 2");
    const double t = *TryEncodeDateTime(2004, 8, 31, 12, 30, 0, 0);
    const double values[][2] = {{0.1 + 0.2, -1}, {21.5, 2}, {7, 3}};
    for (int i = 0; i < 3; ++i) {
        adm.Table1.Append();
        adm.Table1.SetDateTime(0, t + i * 10.5 / 86400.0);
        adm.Table1.SetFloat(1, values[i][0]);
        if (i != 1) adm.Table1.SetFloat(2, values[i][1]);
        adm.Table1.Post();
    }
    adm.Table1.MoveTo(3);
    adm.Table1.Delete();
    adm.CloseArchive();

    EXPECT_EQ(Shell(cli + " dump " + dir / "a.dbf"),
              "DATETIME,VSTUP1,VSTUP2\n"
              "2004-08-31 12:30:00,0.30000000000000004,-1\n"
              "2004-08-31 12:30:10.500,21.5,\n");
    const std::string text = Shell(cli + " dump " + dir / "a.dbf" + " --json");
    const auto j = nlohmann::json::parse(text);
    // Written record by record, yet the same text as the document in one piece.
    EXPECT_EQ(text, j.dump() + "\n");
    EXPECT_EQ(j["fields"], nlohmann::json({"DATETIME", "VSTUP1", "VSTUP2"}));
    ASSERT_EQ(j["records"].size(), 2u);
    EXPECT_EQ(j["records"][0][1].template get<double>(), 0.1 + 0.2);
    EXPECT_TRUE(j["records"][1][2].is_null());
    const auto& p = j["parameters"];
    EXPECT_EQ(p["serial"], "00730123");
    EXPECT_EQ(p["field_count"], 3);
    EXPECT_EQ(p["fields"][1]["label"], "Teplota");
    EXPECT_EQ(p["fields"][1]["unit"], "°C");
    EXPECT_EQ(p["fields"][1]["decimals"], 1);
    EXPECT_EQ(p["left_axis"]["source"], 1);
    EXPECT_EQ(p["left_axis"]["automatic"], false);
    EXPECT_EQ(p["right_axis"]["colour"], 0x008000);
    EXPECT_EQ(p["panel_width"], 280);
    EXPECT_EQ(p["footer"], "Sklad 2");
    EXPECT_EQ(p["checksum_ok"], true);
}

TEST(ExportCli, WorkbookCsvAndListingOfAPeriod) {
    const std::string cli = Cli();
    if (cli.empty()) GTEST_SKIP() << "kolvex12-cli not built";
    TempDir dir;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    LoggerImage im;
    im.SerialNumber = 730123;
    im.Parameters.ArchiveFlags = 1;
    im.Parameters.Input[0].SetName("Teplota");
    im.Parameters.Input[0].SetUnit("°C");
    adm.CreateArchive(dir / "a.dbf", BuildParameterRecord(im, Lang::Czech));
    const double t = *TryEncodeDateTime(2004, 8, 31, 12, 0, 0, 0);
    for (int i = 0; i < 6; ++i) {  // every five minutes from 12:00
        adm.Table1.Append();
        adm.Table1.SetDateTime(0, t + i * 300 / 86400.0);
        adm.Table1.SetFloat(1, static_cast<double>(20.1f + static_cast<float>(i)));
        adm.Table1.Post();
    }
    adm.CloseArchive();

    const std::string py = "/usr/bin/python3 -c \"import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).active; "
                           "print(ws['F3'].value, ws['A6'].value, ws['B6'].value, ws['B7'].value, ws['B8'].value)\" ";
    const struct {
        const char* file;
        std::string reader;
        const char* options;   // beyond the period, step and language
        const char* said;      // what the command reports
        std::string content;   // part of what the reader shows
    } cases[] = {
        {"o.csv", "cat ", "", "o.csv: 2 řádků", "2004-08-31 12:10:00;22,1\r\n2004-08-31 12:20:00;24,1\r\n"},
        {"t.csv", "cat ", " --separator tab --decimal .", "t.csv: 2 řádků",
         "2004-08-31 12:10:00\t22.1\r\n2004-08-31 12:20:00\t24.1\r\n"},
        {"o.xlsx", py, "", "o.xlsx: 2 řádků", "10 min 2004-08-31 12:10:00 22.1 24.1 None"},
        {"o.pdf", "pdftotext -layout ", "", "o.pdf: 1 stran", "a.dbf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = dir / c.file;
        const std::string said = Shell(cli + " export '" + (dir / "a.dbf") + "' --out '" + out +
                                       "' --from '2004-08-31 12:10:00' --to '2004-08-31 12:20:00' --step 10min --lang cs" + c.options);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        const std::string shown = Shell(c.reader + "'" + out + "'" + (c.file[2] == 'p' ? " -" : ""));
        EXPECT_NE(shown.find(c.content), std::string::npos) << shown;
    }
    // A step the dialogs do not offer is refused, and so is a CSV dialect for a workbook.
    EXPECT_NE(Shell(cli + " export '" + (dir / "a.dbf") + "' --out '" + (dir / "x.csv") + "' --step 7min 2>&1")
                  .find("--step"),
              std::string::npos);
    EXPECT_NE(Shell(cli + " export '" + (dir / "a.dbf") + "' --out '" + (dir / "x.xlsx") + "' --decimal , 2>&1")
                  .find("CSV only"),
              std::string::npos);
}
