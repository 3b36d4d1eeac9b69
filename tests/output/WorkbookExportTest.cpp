// SPDX-License-Identifier: GPL-3.0-or-later
// The exported workbook read back by an independent reader (openpyxl), and
// the CSV form.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "base/DateTime.h"
#include "base/SafeFile.h"
#include "output/WorkbookExport.h"
#include "output/ZipWriter.h"

using namespace kolvex;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

fs::path TempDir() {
    fs::path d = fs::temp_directory_path() / ("kolvex-export-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

json RunPython(const std::string& script, const std::string& args) {
    const std::string cmd = "/usr/bin/python3 " + std::string(KOLVEX_TEST_SOURCE_DIR) + "/output/py/" + script + " " + args;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
    return json::parse(out);
}

json Dump(const fs::path& file) { return RunPython("xlsx_dump.py", "'" + file.string() + "'"); }

double At(int y, int mo, int d, int h, int mi, int s) { return *TryEncodeDateTime(y, mo, d, h, mi, s, 0); }

std::vector<ExportColumn> Columns() {
    return {{true, "Datum a čas", "", 0}, {false, "Teplota", "°C", 2}, {false, "Proud", "mA", 0}};
}

}  // namespace

TEST(WorkbookExport, HeaderHeadingAndNativeValues) {
    const fs::path file = TempDir() / "a.xlsx";
    ExportHeader h;
    h.Language = Lang::Czech;
    h.Serial = "00084321";
    h.FileName = "00084321-2004.dbf";
    h.Start = At(2004, 8, 31, 0, 0, 0);
    h.End = At(2004, 8, 31, 23, 59, 59);
    h.StepCaption = "  5 sec";
    auto sink = OpenXlsxExport(file.string(), h, Columns());
    sink->AddRow({At(2004, 8, 31, 12, 30, 0), 3.5, 12}, {});
    sink->AddRow({At(2004, 8, 31, 12, 30, 10), -1.25, 0}, {false, false, true});
    sink->AddRow({At(2004, 8, 31, 12, 30, 20), static_cast<double>(118.24528f), static_cast<double>(0.1f)}, {});
    sink->Close();

    const json d = Dump(file);
    ASSERT_EQ(d["sheets"].size(), 1u);
    const json& s = d["sheets"][0];
    EXPECT_EQ(s["name"], "00084321-2004.dbf");
    const json& c = s["cells"];
    EXPECT_EQ(c["A1"]["value"], "Archivace QUENDAL 730");
    EXPECT_EQ(c["A1"]["size"], 20);
    EXPECT_TRUE(c["A1"]["bold"].get<bool>());
    EXPECT_EQ(c["A1"]["color"], "FF0000FF");
    EXPECT_EQ(c["B2"]["value"], "výr.čís.:   00084321");
    EXPECT_EQ(c["B2"]["color"], "FF808080");
    EXPECT_EQ(c["B2"]["size"], 10);
    EXPECT_EQ(c["B3"]["value"], "soubor:   00084321-2004.dbf");
    EXPECT_EQ(c["E1"]["value"], "období od:");
    EXPECT_EQ(c["F1"]["value"], "31/08/2004  00:00:00");
    EXPECT_EQ(c["E2"]["value"], "období do:");
    EXPECT_EQ(c["F2"]["value"], "31/08/2004  23:59:59");
    EXPECT_EQ(c["E3"]["value"], "perioda:");
    EXPECT_EQ(c["F3"]["value"], "  5 sec");
    EXPECT_EQ(c["A5"]["value"], "Datum a čas");
    EXPECT_EQ(c["B5"]["value"], "Teplota (°C)");
    EXPECT_EQ(c["C5"]["value"], "Proud (mA)");
    EXPECT_TRUE(c["B5"]["bold"].get<bool>());
    EXPECT_EQ(c["B5"]["color"], "FF000080");
    EXPECT_EQ(c["A6"]["value"], "2004-08-31 12:30:00");
    EXPECT_EQ(c["A6"]["format"], "dd/mm/yyyy hh:mm:ss");
    EXPECT_EQ(c["B6"]["value"], 3.5);
    EXPECT_EQ(c["B6"]["format"], "0.00");
    EXPECT_EQ(c["C6"]["format"], "0");
    EXPECT_EQ(c["B7"]["value"], -1.25);
    EXPECT_FALSE(c.contains("C7")) << "a null value leaves the cell empty";
    // Single-precision values arrive as their shortest decimals, formats unchanged.
    EXPECT_EQ(c["B8"]["value"].get<double>(), 118.24528);
    EXPECT_EQ(c["C8"]["value"].get<double>(), 0.1);
    EXPECT_EQ(c["B8"]["format"], "0.00");
    EXPECT_NEAR(s["widths"]["A"].get<double>(), 20, 1);
    EXPECT_NEAR(s["widths"]["B"].get<double>(), 12, 1);
    // Printed one page wide with the header block and heading on every page.
    EXPECT_TRUE(s["setup"]["fit"].get<bool>());
    EXPECT_EQ(s["setup"]["fit_width"], 1);
    EXPECT_EQ(s["setup"]["fit_height"], 0);
    EXPECT_EQ(s["setup"]["title_rows"], "$1:$5");
    EXPECT_EQ(s["setup"]["orientation"], "portrait");
}

TEST(WorkbookExport, KindAllAndEnglishTexts) {
    ExportHeader h;
    h.Language = Lang::English;
    h.Serial = "123456789012345678";
    h.FileName = "x.dbf";
    h.All = true;
    h.StepCaption = "  1 den";
    const ExportHeaderTexts t = MakeExportHeaderTexts(h);
    EXPECT_EQ(t.FromLabel, "period :");
    EXPECT_EQ(t.FromValue, "complete database");
    EXPECT_EQ(t.ToLabel, "");
    EXPECT_EQ(t.ToValue, "");
    EXPECT_EQ(t.SerialLine, "S/N.:     1234567890");  // cut to 20 characters
    EXPECT_EQ(t.StepValue, "  1 den");
    h.Language = Lang::Czech;
    const ExportHeaderTexts cz = MakeExportHeaderTexts(h);
    EXPECT_EQ(cz.FromLabel, "období :");
    EXPECT_EQ(cz.FromValue, "celá databáze");
    EXPECT_EQ(cz.SerialLine, "výr.čís.:   1234567890");  // 22 characters
    EXPECT_EQ(ValueNumberFormat(0), "0");
    EXPECT_EQ(ValueNumberFormat(3), "0.000");
    EXPECT_EQ(ValueNumberFormat(12), "0.0000000");
    EXPECT_EQ(SheetNameFor("a/b:c.dbf", 1), "a_b_c.dbf");
    EXPECT_EQ(SheetNameFor(std::string(40, 'x'), 2).size(), 31u);
}

TEST(WorkbookExport, CsvReadBackByPythonInEachLanguageAndChosenDialect) {
    struct Case {
        Lang language;
        std::optional<CsvFormat> chosen;  // instead of the language's
        std::string delimiter;
        std::vector<std::string> row1, row2;
    };
    const float noisy = 118.24528f;  // 118.2452774047852 once widened
    const std::vector<Case> cases = {
        {Lang::Czech, {}, ";", {"2004-08-31 12:30:00", "118,24528", "12"}, {"2026-09-13 00:01:50", "-0,1", ""}},
        {Lang::English, {}, ",", {"2004-08-31 12:30:00", "118.24528", "12"}, {"2026-09-13 00:01:50", "-0.1", ""}},
        {Lang::Czech, CsvFormat{'\t', '.'}, "\t", {"2004-08-31 12:30:00", "118.24528", "12"},
         {"2026-09-13 00:01:50", "-0.1", ""}},
        // The same character for both: the numbers are quoted and read back whole.
        {Lang::English, CsvFormat{',', ','}, ",", {"2004-08-31 12:30:00", "118,24528", "12"},
         {"2026-09-13 00:01:50", "-0,1", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delimiter);
        const fs::path file = TempDir() / "a.csv";
        std::vector<ExportColumn> cols = Columns();
        cols[2].Unit = "";  // a field without a unit has no parentheses
        cols[1].Label = "Teplota; A, \"venku\"";
        auto sink = c.chosen ? OpenCsvExport(file.string(), cols, *c.chosen) : OpenCsvExport(file.string(), cols, c.language);
        sink->AddRow({At(2004, 8, 31, 12, 30, 0), static_cast<double>(noisy), 12}, {});
        sink->AddRow({At(2026, 9, 13, 0, 1, 50), static_cast<double>(-0.1f), 0}, {false, false, true});
        sink->Close();
        EXPECT_EQ(sink->Rows(), 2u);
        const json d = RunPython("csv_read.py", "'" + file.string() + "' '" + c.delimiter + "'");
        EXPECT_TRUE(d["bom"].get<bool>());
        ASSERT_EQ(d["rows"].size(), 3u);
        EXPECT_EQ(d["rows"][0], json({"Datum a čas", "Teplota; A, \"venku\" (°C)", "Proud"}));
        EXPECT_EQ(d["rows"][1], json(c.row1));
        EXPECT_EQ(d["rows"][2], json(c.row2));
    }
}

TEST(WorkbookExport, CsvBlockOfRowsWritesWhatItsRowsOneByOneWrite) {
    // The CSV sink formats a walk's block itself; the file must be the one
    // the default (a row at a time through AddCells) gives: rows picked out
    // of order, columns taken from any entry of a row, empty fields, a column
    // without an entry, fewer block columns than sink columns.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {
        20.5, At(2004, 8, 31, 12, 30, 0), 1, 0.1 + 0.2,                                   // row 0
        static_cast<double>(118.24528f), At(2004, 8, 31, 12, 30, 10), 2, -0.0,             // row 1
        -1e-7, At(2026, 9, 13, 0, 1, 50), 3, 123456789.125,                                // row 2
        nan, At(2000, 1, 1, 0, 0, 0), 4, -40,                                              // row 3
        1e21, At(2004, 2, 29, 23, 59, 59) + 0.4 / 86400, 5, static_cast<double>(-0.1f)};  // row 4
    const std::uint8_t nulls[] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    const std::uint32_t taken[] = {4, 0, 2, 2, 1, 3};
    const int full[] = {1, 0, 3}, gap[] = {1, -1, 0}, short2[] = {1, 3};
    const struct {
        const int* source;
        std::size_t columns;
    } sources[] = {{full, 3}, {gap, 3}, {short2, 2}};
    auto read = [](const fs::path& f) {
        std::ifstream in(f, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    for (const CsvFormat format : {CsvFormat{',', '.'}, CsvFormat{';', ','}, CsvFormat{',', ','}}) {
        for (const auto& src : sources) {
            SCOPED_TRACE(std::string(1, format.Separator) + format.Decimal + std::to_string(src.source[1]) +
                         std::to_string(src.columns));
            const RowBlock block{values, nulls, 4, taken, std::size(taken), src.source, src.columns};
            const fs::path a = TempDir() / "block.csv", b = TempDir() / "rows.csv";
            auto blockSink = OpenCsvExport(a.string(), Columns(), format);
            blockSink->AddBlock(block);
            blockSink->AddBlock(block);
            blockSink->Close();
            auto rowSink = OpenCsvExport(b.string(), Columns(), format);
            rowSink->RowSink::AddBlock(block);  // the default, one AddCells a row
            rowSink->RowSink::AddBlock(block);
            rowSink->Close();
            EXPECT_EQ(blockSink->Rows(), 12u);
            EXPECT_EQ(rowSink->Rows(), 12u);
            const std::string text = read(a);
            EXPECT_EQ(text, read(b));
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13);
        }
    }
}

TEST(WorkbookExport, ShortestDecimalsOfSinglePrecisionValues) {
    const struct {
        double value;
        std::string text;
    } cases[] = {
        {static_cast<double>(118.24528f), "118.24528"},
        {static_cast<double>(0.1f), "0.1"},
        {static_cast<double>(-40.0f), "-40"},
        {0.1 + 0.2, "0.30000000000000004"},  // not single precision: kept whole
        {1e-7, "0.0000001"},
        {-0.0, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShortestDecimal(c.value), c.text) << c.value;
    // A workbook cell gets the double that text reads as (+0 for -0), for
    // doubles and single-precision values alike.
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    std::mt19937_64 rng(16);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (i % 2) v = static_cast<float>(static_cast<double>(static_cast<std::int64_t>(bits % 2000000) - 1000000) / 1000.0);
        if (i < 6) v = cases[i].value;
        const std::string text = ShortestDecimal(v);
        if (text.empty()) continue;  // NaN and infinities
        ASSERT_TRUE(same(ExportedValue(v), std::strtod(text.c_str(), nullptr))) << text;
    }
}

TEST(WorkbookExport, RowsBeyondASheetContinueOnTheNext) {
    const fs::path file = TempDir() / "big.xlsx";
    ExportHeader h;
    h.FileName = "big.dbf";
    auto sink = OpenXlsxExport(file.string(), h, Columns(), /*sheetRows*/ 10);  // 5 data rows a sheet
    for (int i = 0; i < 12; ++i) sink->AddRow({At(2004, 8, 31, 12, 0, i), double(i), double(i)}, {});
    sink->Close();
    const json d = Dump(file);
    ASSERT_EQ(d["sheets"].size(), 3u);
    EXPECT_EQ(d["sheets"][1]["name"], "big.dbf (2)");
    EXPECT_EQ(d["sheets"][1]["cells"]["B5"]["value"], "Teplota (°C)");
    EXPECT_EQ(d["sheets"][1]["cells"]["B6"]["value"], 5);
    EXPECT_EQ(d["sheets"][2]["cells"]["B7"]["value"], 11);
    EXPECT_EQ(d["sheets"][2]["max_row"], 7);
}

TEST(WorkbookExport, UnwritablePathIsAnError) {
    EXPECT_ANY_THROW({
        auto sink = OpenXlsxExport("/nonexistent-dir/x.xlsx", {}, Columns());
        sink->Close();
    });
}

// Every value cell holds exactly the double ExportedValue gives, also when
// that needs 17 digits or an exponent; a value no spreadsheet holds leaves
// its cell empty.
TEST(WorkbookExport, CellsReadBackExactly) {
    const fs::path file = TempDir() / "exact.xlsx";
    ExportHeader h;
    h.FileName = "exact.dbf";
    auto sink = OpenXlsxExport(file.string(), h, Columns());
    const double date = At(2004, 8, 31, 12, 30, 0);
    const double values[][2] = {{0.1 + 0.2, static_cast<double>(118.24528f)},
                                {1e-300, -1.5e300},
                                {-0.0, static_cast<double>(3.4e38f)},
                                {std::nan(""), 1e22}};
    for (const auto& v : values) sink->AddRow({date, v[0], v[1]}, {});
    sink->Close();
    const json c = Dump(file)["sheets"][0]["cells"];
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int r = 0; r < 4; ++r) {
        const std::string row = std::to_string(6 + r);
        EXPECT_EQ(c["A" + row]["value"], "2004-08-31 12:30:00") << row;
        for (int k = 0; k < 2; ++k) {
            const std::string ref = std::string(1, static_cast<char>('B' + k)) + row;
            if (std::isnan(values[r][k])) {
                EXPECT_FALSE(c.contains(ref)) << ref;
                continue;
            }
            ASSERT_TRUE(c.contains(ref)) << ref;
            EXPECT_TRUE(same(c[ref]["value"].get<double>(), ExportedValue(values[r][k])))
                << ref << " " << c[ref]["value"].dump();
        }
    }
}

// The file is written under a temporary name and takes its name only when
// complete: a symbolic link at the name is refused and what it points to left
// alone, a file rewritten keeps its mode, an export that ends without Close
// or fails leaves nothing behind (neither the file nor the temporary one).
TEST(WorkbookExport, WrittenSafely) {
    const fs::path dir = TempDir() / "safe";
    fs::remove_all(dir);
    fs::create_directories(dir);
    ExportHeader h;
    h.FileName = "safe.dbf";
    auto write = [&](const fs::path& p, bool close) {
        auto sink = OpenXlsxExport(p.string(), h, Columns());
        sink->AddRow({At(2004, 8, 31, 12, 30, 0), 1, 2}, {});
        if (close) sink->Close();
    };
    auto entries = [&] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    };

    const fs::path victim = dir / "victim.txt", link = dir / "link.xlsx";
    auto writeNew = [](const fs::path& p, const std::string& text) {
        UniqueFd fd = CreateNewFile(p.string(), 0640);
        ASSERT_TRUE(fd) << p;
        ASSERT_EQ(::write(fd.Get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    };
    writeNew(victim, "keep");
    fs::create_symlink(victim, link);
    EXPECT_ANY_THROW(write(link, true));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(victim), 4u);
    EXPECT_EQ(entries(), 2u) << "no temporary file left";

    const fs::path kept = dir / "kept.xlsx";
    writeNew(kept, "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    write(kept, true);
    struct stat st {};
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Dump(kept)["sheets"][0]["cells"]["B6"]["value"], 1);

    const fs::path unfinished = dir / "unfinished.xlsx";
    write(unfinished, false);
    EXPECT_FALSE(fs::exists(unfinished));
    EXPECT_EQ(entries(), 3u) << "no temporary file left";

    // A write that fails on the deflating thread (here at a file size limit)
    // ends the export with the reason, and nothing is left.
    const fs::path full = dir / "full.xlsx";
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        auto sink = OpenXlsxExport(full.string(), h, Columns());
        for (int i = 0; i < 300000; ++i) sink->AddRow({At(2004, 8, 31, 12, 30, 0) + i / 86400.0, i * 0.37, i / 7.0}, {});
        sink->Close();
    } catch (const std::exception& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
    EXPECT_NE(message.find(full.string()), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(full));
    EXPECT_EQ(entries(), 3u) << "no temporary file left";
    fs::remove_all(dir);
}

// Entries past 4 GiB carry zip64 sizes in their local header: such an entry
// (made small here) and plain ones read back by Python's zipfile.
TEST(WorkbookExport, ZipEntriesReadBackByPython) {
    const fs::path file = TempDir() / "z.zip";
    fs::remove(file);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    {
        ZipWriter zip(fd, [](const std::string& why) { throw std::runtime_error(why); });
        zip.Add("a.txt", "whole");
        for (const bool large : {true, false}) {
            zip.Begin(large ? "large.txt" : "plain.txt", large);
            for (int i = 0; i < 200000; ++i) zip.Write("0123456789", 10);
            zip.End();
        }
        zip.Finish();
    }
    ::close(fd);
    const std::string cmd = "/usr/bin/python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                            "assert z.testzip() is None; print(z.read('a.txt').decode(), "
                            "z.read('large.txt')==b'0123456789'*200000, z.read('plain.txt')==b'0123456789'*200000, "
                            "z.getinfo('large.txt').file_size, z.getinfo('large.txt').compress_size)\" '" +
                            file.string() + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[256] = {};
    const std::size_t n = fread(buf, 1, sizeof buf - 1, p);
    EXPECT_EQ(pclose(p), 0);
    std::istringstream out(std::string(buf, n));
    std::string whole, large, plain;
    std::uint64_t size = 0, packed = 0;
    out >> whole >> large >> plain >> size >> packed;
    EXPECT_EQ(whole + large + plain, "wholeTrueTrue") << buf;
    EXPECT_EQ(size, 2000000u);
    // The reader takes the sizes from the central directory; a reader that
    // streams takes them from the local header's zip64 field.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t name = bytes.find("large.txt");
    ASSERT_NE(name, std::string::npos);
    auto le = [&](std::size_t at, int n) {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        return v;
    };
    EXPECT_EQ(le(name - 12, 4), 0xFFFFFFFFu);  // the 32-bit sizes point to the zip64 field
    EXPECT_EQ(le(name + 9, 2), 1u);           // the zip64 field
    EXPECT_EQ(le(name + 13, 8), size);
    EXPECT_EQ(le(name + 21, 8), packed);
}
