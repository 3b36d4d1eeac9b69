// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/WorkbookExport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/DateTime.h"
#include "base/SafeFile.h"
#include "archive/SummaryReport.h"
#include "output/NumberText.h"
#include "output/WorkbookParts.h"
#include "output/ZipWriter.h"

namespace kolvex {

namespace {

// Cuts UTF-8 text to `n` characters.
std::string CutChars(const std::string& s, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == n) return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}

std::string HeadingText(const ExportColumn& col) {
    if (col.IsDateTime || col.Unit.empty()) return col.Label;
    return col.Label + " (" + col.Unit + ")";
}

[[noreturn]] void WriteFailed(const std::string& path, const std::string& why) {
    throw EADM(Tr("Soubor " + path + " se nepodařilo zapsat (" + why + ")",
                  "The file " + path + " could not be written (" + why + ")"));
}

// The columns' letters: A..Z, AA..ZZ, AAA...
std::string ColumnName(std::size_t c) {
    std::string name;
    for (std::size_t n = c + 1; n > 0; n = (n - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

// An inline text cell; nothing for an empty text.
void AppendTextCell(std::string& x, const std::string& ref, int style, const std::string& text) {
    if (text.empty()) return;
    x += "<c r=\"" + ref + "\"";
    if (style != kStyleNone) x += " s=\"" + std::to_string(style) + "\"";
    x += " t=\"inlineStr\"><is><t";
    // Blanks at either end are kept only when the text says so.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    if (blank(text.front()) || blank(text.back())) x += " xml:space=\"preserve\"";
    x += '>';
    AppendXmlText(x, text);
    x += "</t></is></c>";
}

// The text of a cell's number: the shortest that reads back as the double,
// except that a value which is exactly a single-precision number is written
// as that number's shortest decimal (what ExportedValue reads). Room:
// kCellNumberMax.
constexpr std::size_t kCellNumberMax = 64;
char* WriteCellNumber(char* out, double value, bool exported) {
    if (exported && static_cast<double>(static_cast<float>(value)) == value) return WriteShortestDecimal(out, value);
    return WriteShortestNumber(out, value);
}

std::string CellNumberText(double value, bool exported) {
    char b[kCellNumberMax];
    return std::string(b, WriteCellNumber(b, value, exported));
}

void AppendNumberCell(std::string& x, const std::string& ref, int style, double value, bool exported) {
    if (!std::isfinite(value)) return;  // no number a spreadsheet holds
    x += "<c r=\"" + ref + "\"";
    if (style != kStyleNone) x += " s=\"" + std::to_string(style) + "\"";
    x += "><v>" + CellNumberText(value, exported) + "</v></c>";
}

// The widths the spreadsheet stores: the characters' width and its padding.
std::string ColumnXml(std::size_t first, std::size_t last, double width, int style) {
    char w[32];
    std::snprintf(w, sizeof w, "%.16g", width + 0.7109375);
    std::string x = "<col min=\"" + std::to_string(first + 1) + "\" max=\"" + std::to_string(last + 1) + "\" width=\"" + w + "\"";
    if (style != kStyleNone) x += " style=\"" + std::to_string(style) + "\"";
    return x + " customWidth=\"1\"/>";
}

std::string SheetStart(bool selected, const std::string& columns) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheetPr><pageSetUpPr "
        "fitToPage=\"1\"/></sheetPr><sheetViews><sheetView ";
    if (selected) x += "tabSelected=\"1\" ";
    x += "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><cols>" + columns + "</cols><sheetData>";
    return x;
}

// A4 (paper 9), one page wide.
std::string SheetEnd(bool landscape) {
    return std::string("</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
                       "footer=\"0.3\"/><pageSetup paperSize=\"9\" fitToHeight=\"0\" orientation=\"") +
           (landscape ? "landscape" : "portrait") + "\"/></worksheet>";
}

bool SameSheetName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// The workbook written by our own sheet writer straight into the zip file:
// each data row is formatted into a buffer as sheet XML with the shortest
// round-trip numbers; full buffers are deflated at a low level on a second
// thread while the walk goes on, so memory stays flat. The file is written under a temporary name beside the target
// and takes its name only once complete.
class XlsxSink : public RowSink {
public:
    XlsxSink(const std::string& path, const ExportHeader& header, const std::vector<ExportColumn>& columns,
             std::uint32_t sheetRows, const SummaryDocument* summary)
        : path_(path), header_(header), columns_(columns), sheetRows_(std::max<std::uint32_t>(sheetRows, kFirstDataRow + 1)) {
        // A symbolic link at the name is neither followed nor replaced; a
        // file that is rewritten keeps its mode.
        if (const std::string why = file_.Begin(path); !why.empty()) WriteFailed(path, why);
        zip_ = std::make_unique<ZipWriter>(file_.Fd(), [this](const std::string& why) { WriteFailed(path_, why); });
        xml_.resize(kXmlBuffer);

        // What every data sheet has before its rows, and each column's cell parts.
        const ExportHeaderTexts t = MakeExportHeaderTexts(header_);
        std::string cols;
        double width = 0;
        for (std::size_t c = 0; c < std::max<std::size_t>(columns_.size(), 7); ++c) {
            // Columns A to G are 12 wide, the date-time column 20.
            const bool date = c < columns_.size() && columns_[c].IsDateTime;
            const int style = c < columns_.size() && !date ? kStyleValue0 + Decimals(c) : kStyleNone;
            cols += ColumnXml(c, c, date ? 20 : 12, style);
            width += date ? 20 : 12;
        }
        landscape_ = width > kPortraitWidth;
        head_ = cols;
        std::string& b = block_;
        auto row = [&](int r, int style) {
            b += "<row r=\"" + std::to_string(r) + "\" s=\"" + std::to_string(style) + "\" customFormat=\"1\">";
        };
        row(1, kStyleGrey);
        AppendTextCell(b, "A1", kStyleTitle, t.Title);
        AppendTextCell(b, "E1", kStyleGrey, t.FromLabel);
        AppendTextCell(b, "F1", kStyleGrey, t.FromValue);
        b += "</row>";
        row(2, kStyleGrey);
        AppendTextCell(b, "B2", kStyleGrey, t.SerialLine);
        AppendTextCell(b, "E2", kStyleGrey, t.ToLabel);
        AppendTextCell(b, "F2", kStyleGrey, t.ToValue);
        b += "</row>";
        row(3, kStyleGrey);
        AppendTextCell(b, "B3", kStyleGrey, t.FileLine);
        AppendTextCell(b, "E3", kStyleGrey, t.StepLabel);
        AppendTextCell(b, "F3", kStyleGrey, t.StepValue);
        b += "</row>";
        row(static_cast<int>(kFirstDataRow), kStyleHeading);
        for (std::size_t c = 0; c < columns_.size(); ++c)
            AppendTextCell(b, ColumnName(c) + std::to_string(kFirstDataRow), kStyleHeading, HeadingText(columns_[c]));
        b += "</row>";
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            cellOpen_.push_back("<c r=\"" + ColumnName(c));
            const int style = columns_[c].IsDateTime ? kStyleDate : kStyleValue0 + Decimals(c);
            cellStyle_.push_back("\" s=\"" + std::to_string(style) + "\"><v>");
        }
        rowRoom_ = 32 + columns_.size() * (16 + 16 + 16 + kCellNumberMax);
        // A sheet that may pass 4 GiB of XML gets the zip64 sizes.
        large_ = block_.size() + head_.size() + 4096 + static_cast<std::uint64_t>(sheetRows_) * rowRoom_ >=
                 ZipWriter::kPlainLimit;

        if (summary) {
            summaryName_ = CutChars(summary->Title, 31);
            summaryXml_ = SummaryXml(*summary);
        }
        NewSheet();
    }
    ~XlsxSink() override = default;  // an unfinished export leaves no file behind

    void AddRow(const std::vector<double>& values, const std::vector<bool>& isNull) override {
        std::vector<std::uint8_t> empty(values.size());
        for (std::size_t c = 0; c < values.size(); ++c) empty[c] = c < isNull.size() && isNull[c];
        AddCells(values.data(), empty.data(), values.size());
    }

    void AddCells(const double* values, const std::uint8_t* isNull, std::size_t n) override {
        if (closed_) WriteFailed(path_, "closed");
        if (row_ >= sheetRows_) NewSheet();
        if (used_ + rowRoom_ > xml_.size()) FlushXml();
        char* p = xml_.data() + used_;
        char digits[16];
        const auto number = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, row_ + 1).ptr - digits);
        p = Put(p, "<row r=\"", 8);
        p = Put(p, digits, number);
        p = Put(p, "\">", 2);
        for (std::size_t c = 0; c < columns_.size() && c < n; ++c) {
            const double v = values[c];
            if (isNull[c] || !std::isfinite(v)) continue;
            p = Put(p, cellOpen_[c].data(), cellOpen_[c].size());
            p = Put(p, digits, number);
            p = Put(p, cellStyle_[c].data(), cellStyle_[c].size());
            p = WriteCellNumber(p, v, !columns_[c].IsDateTime);
            p = Put(p, "</v></c>", 8);
        }
        p = Put(p, "</row>", 6);
        used_ = static_cast<std::size_t>(p - xml_.data());
        ++row_;
        ++rows_;
    }

    void Close() override {
        if (closed_) return;
        closed_ = true;
        EndSheet();
        // The sheets in workbook order: the first data sheet, the summary,
        // the further data sheets.
        std::vector<WorkbookSheet> sheets;
        for (std::size_t i = 0; i < dataSheets_.size(); ++i) {
            sheets.push_back({dataSheets_[i], true});
            if (i == 0 && !summaryName_.empty()) sheets.push_back({summaryName_, false});
        }
        if (!summaryName_.empty()) zip_->Add("xl/worksheets/sheet2.xml", summaryXml_);
        zip_->Add("xl/workbook.xml", WorkbookXml(sheets));
        zip_->Add("xl/_rels/workbook.xml.rels", WorkbookRelationshipsXml(sheets.size()));
        zip_->Add("xl/styles.xml", StylesXml());
        zip_->Add("xl/theme/theme1.xml", ThemeXml());
        zip_->Add("docProps/app.xml", AppPropertiesXml(sheets));
        zip_->Add("docProps/core.xml", CorePropertiesXml(std::time(nullptr)));
        zip_->Add("_rels/.rels", PackageRelationshipsXml());
        zip_->Add("[Content_Types].xml", ContentTypesXml(sheets.size()));
        zip_->Finish();
        // On disk before it takes the name; then the name.
        if (const std::string why = file_.Commit(); !why.empty()) WriteFailed(path_, why);
    }

    std::uint64_t Rows() const override { return rows_; }

private:
    static constexpr std::size_t kXmlBuffer = 1 << 20;
    // Character widths that fit across a portrait A4 page at the default margins.
    static constexpr double kPortraitWidth = 95;

    static char* Put(char* p, const char* s, std::size_t n) {
        std::memcpy(p, s, n);
        return p + n;
    }

    int Decimals(std::size_t c) const { return std::min(std::max(columns_[c].Decimals, 0), 7); }

    void FlushXml() {
        zip_->Hand(xml_, used_);  // deflated by the zip writer's thread meanwhile
        used_ = 0;
    }
    void PutXml(const std::string& s) {
        if (used_ + s.size() > xml_.size()) FlushXml();
        if (s.size() > xml_.size()) {
            zip_->Write(s.data(), s.size());
            return;
        }
        std::memcpy(xml_.data() + used_, s.data(), s.size());
        used_ += s.size();
    }

    void NewSheet() {
        if (!dataSheets_.empty()) EndSheet();
        const int part = static_cast<int>(dataSheets_.size()) + 1;
        const std::string name = SheetNameFor(header_.FileName, part);
        // Names a spreadsheet refuses: the same as another sheet's (in any
        // case), or starting or ending with an apostrophe.
        if (SameSheetName(name, summaryName_) || name.front() == '\'' || name.back() == '\'')
            WriteFailed(path_, "worksheet");
        for (const std::string& other : dataSheets_)
            if (SameSheetName(name, other)) WriteFailed(path_, "worksheet");
        dataSheets_.push_back(name);
        // The summary is the second sheet of the workbook.
        const int position = part == 1 ? 1 : part + (summaryName_.empty() ? 0 : 1);
        zip_->Begin("xl/worksheets/sheet" + std::to_string(position) + ".xml", large_);
        PutXml(SheetStart(part == 1, head_));
        PutXml(block_);
        row_ = kFirstDataRow;
    }

    void EndSheet() {
        PutXml(SheetEnd(landscape_));
        FlushXml();
        zip_->End();
    }

    // The summary on a sheet of its own, after the first data sheet.
    std::string SummaryXml(const SummaryDocument& doc) const {
        std::string x = SheetStart(false, ColumnXml(0, 0, 44, kStyleNone) + ColumnXml(1, 6, 20, kStyleNone));
        int r = 1;
        std::string cells;
        auto endRow = [&] {
            if (!cells.empty()) x += "<row r=\"" + std::to_string(r) + "\">" + cells + "</row>";
            cells.clear();
            ++r;
        };
        auto ref = [&](std::size_t c) { return ColumnName(c) + std::to_string(r); };
        AppendTextCell(cells, ref(0), kStyleTitle, doc.Title + "  " + header_.FileName);
        endRow();
        endRow();
        for (const SummarySection& sec : doc.Sections) {
            AppendTextCell(cells, ref(0), kStyleHeading, sec.Title);
            endRow();
            if (!sec.Heading.empty()) {
                for (std::size_t c = 0; c < sec.Heading.size(); ++c)
                    AppendTextCell(cells, ref(c), kStyleHeading, sec.Heading[c]);
                endRow();
            }
            for (const auto& row : sec.Rows) {
                for (std::size_t c = 0; c < row.size(); ++c) {
                    const SummaryCell& cell = row[c];
                    switch (cell.Type) {
                        case SummaryCell::Empty: break;
                        case SummaryCell::Text: AppendTextCell(cells, ref(c), kStyleNone, cell.Label); break;
                        case SummaryCell::Number:
                            AppendNumberCell(cells, ref(c), kStyleValue0 + std::clamp(cell.Decimals, 0, 7), cell.Value,
                                             false);
                            break;
                        case SummaryCell::Time: AppendNumberCell(cells, ref(c), kStyleDate, cell.Value, false); break;
                        case SummaryCell::Duration:
                            AppendNumberCell(cells, ref(c), kStyleDuration, cell.Value / 86400.0, false);
                            break;
                        case SummaryCell::Share: AppendNumberCell(cells, ref(c), kStyleShare, cell.Value, false); break;
                    }
                }
                endRow();
            }
            endRow();
        }
        return x + SheetEnd(false);
    }

    std::string path_;
    ExportHeader header_;
    std::vector<ExportColumn> columns_;
    std::uint32_t sheetRows_;
    bool landscape_ = false, large_ = false, closed_ = false;
    ReplacingFile file_;  // before the zip writer, which is gone before it
    std::unique_ptr<ZipWriter> zip_;
    std::string head_, block_;  // the data sheets' columns and their rows 1 to 5
    std::vector<std::string> cellOpen_, cellStyle_;
    std::size_t rowRoom_ = 0;
    std::vector<char> xml_;
    std::size_t used_ = 0;
    std::vector<std::string> dataSheets_;
    std::string summaryName_, summaryXml_;
    std::uint32_t row_ = 0;
    std::uint64_t rows_ = 0;
};

// CSV written through one large buffer: the rows' numbers and time stamps
// are formatted straight into it (the command line's dump does the same).
class CsvSink : public RowSink {
public:
    CsvSink(const std::string& path, const std::vector<ExportColumn>& columns, CsvFormat format)
        : path_(path), columns_(columns), format_(format) {
        // A link in the way is not followed, a pipe without a reader does
        // not block, and an existing file keeps its mode.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd_ < 0) WriteFailed(path, std::strerror(errno));
        struct stat st {};
        const bool statted = ::fstat(fd_, &st) == 0;
        if (!statted || !S_ISREG(st.st_mode)) {
            const std::string why = statted ? "not a regular file" : std::strerror(errno);
            ::close(fd_);
            fd_ = -1;
            WriteFailed(path, why.c_str());
        }
        buf_.resize(kBufferSize);
        Put("\xEF\xBB\xBF" + CsvHeadingText(columns_, format_) + "\r\n");
        quoteNumbers_ = format_.Separator == format_.Decimal;
        room_ = columns_.size() * (kDecimalTextMax + IsoDateTimeWriter::kMaxLength + 4) + 2;
        for (const ExportColumn& c : columns_) isDate_.push_back(c.IsDateTime ? 1 : 0);
    }
    ~CsvSink() override {
        if (fd_ >= 0) ::close(fd_);  // an unfinished export; errors already reported
    }

    void AddRow(const std::vector<double>& values, const std::vector<bool>& isNull) override {
        std::vector<std::uint8_t> empty(values.size());
        for (std::size_t c = 0; c < values.size(); ++c) empty[c] = c < isNull.size() && isNull[c];
        AddCells(values.data(), empty.data(), values.size());
    }

    void AddCells(const double* values, const std::uint8_t* isNull, std::size_t n) override {
        if (used_ + room_ > buf_.size()) Flush();
        char* p = buf_.data() + used_;
        for (std::size_t c = 0; c < isDate_.size(); ++c) {
            if (c) *p++ = format_.Separator;
            if (c >= n || isNull[c]) continue;
            p = Cell(p, isDate_[c], values[c], dates_, quoteNumbers_, format_.Decimal);
        }
        *p++ = '\r';
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buf_.data());
        ++rows_;
    }

    // The block's rows straight from the decoded values, with no row copied
    // and no call a row.
    void AddBlock(const RowBlock& b) override {
        const std::size_t columns = isDate_.size();
        source_.resize(columns);
        for (std::size_t c = 0; c < columns; ++c) source_[c] = c < b.Columns ? b.Source[c] : -1;
        const int* const source = source_.data();
        const std::uint8_t* const isDate = isDate_.data();
        const char separator = format_.Separator, decimal = format_.Decimal;
        const bool quote = quoteNumbers_;
        for (std::size_t k = 0; k < b.Count; ++k) {
            if (used_ + room_ > buf_.size()) Flush();
            char* p = buf_.data() + used_;
            const std::size_t at = b.Taken[k] * b.Stride;
            const double* const v = b.Values + at;
            const std::uint8_t* const z = b.Nulls + at;
            for (std::size_t c = 0; c < columns; ++c) {
                if (c) *p++ = separator;
                const int s = source[c];
                if (s < 0 || z[s]) continue;
                p = Cell(p, isDate[c], v[s], dates_, quote, decimal);
            }
            *p++ = '\r';
            *p++ = '\n';
            used_ = static_cast<std::size_t>(p - buf_.data());
        }
        rows_ += b.Count;
    }

    void Close() override {
        if (fd_ < 0) return;
        Flush();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) WriteFailed(path_, std::strerror(errno));
    }

    std::uint64_t Rows() const override { return rows_; }

private:
    static constexpr std::size_t kBufferSize = 1 << 20;

    // A cell's text: a time stamp, or a number with the decimal mark (quoted
    // when the mark is also the separator).
    static char* Cell(char* p, bool isDate, double value, IsoDateTimeWriter& dates, bool quote, char decimal) {
        if (isDate) return dates.Write(p, value);
        if (quote) *p++ = '"';
        char* const number = p;
        p = WriteShortestDecimal(p, value);
        if (decimal != '.')
            for (char* q = number; q != p; ++q)
                if (*q == '.') *q = decimal;
        if (quote) *p++ = '"';
        return p;
    }

    void Put(const std::string& s) {
        if (used_ + s.size() > buf_.size()) Flush();
        if (s.size() > buf_.size()) buf_.resize(s.size());
        std::memcpy(buf_.data() + used_, s.data(), s.size());
        used_ += s.size();
    }
    void Flush() {
        std::size_t done = 0;
        while (done < used_) {
            const ssize_t n = ::write(fd_, buf_.data() + done, used_ - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                used_ = 0;
                WriteFailed(path_, n < 0 ? std::strerror(errno) : "write");
            }
            done += static_cast<std::size_t>(n);
        }
        used_ = 0;
    }

    std::string path_;
    std::vector<ExportColumn> columns_;
    CsvFormat format_;
    bool quoteNumbers_ = false;
    int fd_ = -1;
    std::vector<char> buf_;
    std::size_t used_ = 0, room_ = 0;
    std::vector<std::uint8_t> isDate_;  // per column: a time stamp
    std::vector<int> source_;           // per column: the entry of a block's row
    IsoDateTimeWriter dates_;
    std::uint64_t rows_ = 0;
};

}  // namespace

void RowSink::AddBlock(const RowBlock& b) {
    std::vector<double> values(b.Columns);
    std::vector<std::uint8_t> isNull(b.Columns);
    for (std::size_t k = 0; k < b.Count; ++k) {
        const std::size_t at = b.Taken[k] * b.Stride;
        for (std::size_t c = 0; c < b.Columns; ++c) {
            const int s = b.Source[c];
            isNull[c] = s < 0 || b.Nulls[at + static_cast<std::size_t>(s)];
            values[c] = isNull[c] ? 0 : b.Values[at + static_cast<std::size_t>(s)];
        }
        AddCells(values.data(), isNull.data(), b.Columns);
    }
}

namespace {

std::string CsvQuote(const std::string& s) {
    if (s.find_first_of("\";,\t\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char ch : s) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return q + "\"";
}

char CsvSeparator(char decimalSeparator) { return decimalSeparator == ',' ? ';' : ','; }

}  // namespace

std::string CsvHeadingText(const std::vector<ExportColumn>& columns, CsvFormat format) {
    std::string line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c) line += format.Separator;
        line += CsvQuote(HeadingText(columns[c]));
    }
    return line;
}

std::string CsvHeadingText(const std::vector<ExportColumn>& columns, char decimalSeparator) {
    return CsvHeadingText(columns, CsvFormat{CsvSeparator(decimalSeparator), decimalSeparator});
}

std::string CsvRowText(const std::vector<ExportColumn>& columns, const std::vector<double>& values,
                       const std::vector<bool>& isNull, char decimalSeparator) {
    std::string line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c) line += CsvSeparator(decimalSeparator);
        if (c >= values.size() || (c < isNull.size() && isNull[c])) continue;
        if (columns[c].IsDateTime) {
            line += FormatIsoDateTime(values[c]);
        } else {
            std::string v = ShortestDecimal(values[c]);
            for (char& ch : v)
                if (ch == '.') ch = decimalSeparator;
            line += v;
        }
    }
    return line;
}

ExportHeaderTexts MakeExportHeaderTexts(const ExportHeader& h) {
    const Lang l = h.Language;
    ExportHeaderTexts t;
    t.Title = Tr(l, "Archivace QUENDAL 730", "QUENDAL 730");
    t.SerialLine = l == Lang::English ? CutChars("S/N.:     " + h.Serial, 20) : CutChars("výr.čís.:   " + h.Serial, 22);
    t.FileLine = Tr(l, "soubor:   ", "File:   ") + h.FileName;
    if (h.All) {
        t.FromLabel = Tr(l, "období :", "period :");
        t.FromValue = Tr(l, "celá databáze", "complete database");
    } else {
        t.FromLabel = Tr(l, "období od:", "period from:");
        t.FromValue = FormatDayFirst(h.Start, "  ");
        t.ToLabel = Tr(l, "období do:", "period to:");
        t.ToValue = FormatDayFirst(h.End, "  ");
    }
    t.StepLabel = Tr(l, "perioda:", "period:");
    t.StepValue = h.StepCaption;
    return t;
}


std::string ShortestDecimal(double value) {
    if (!std::isfinite(value)) return {};
    char b[400];
    const float f = static_cast<float>(value);
    // A value that came as single precision is written as its own shortest
    // decimal, not with the noise its widening to double added.
    const auto r = static_cast<double>(f) == value ? std::to_chars(b, b + sizeof b, f, std::chars_format::fixed)
                                                   : std::to_chars(b, b + sizeof b, value, std::chars_format::fixed);
    std::string s(b, r.ptr);
    if (s == "-0") s = "0";
    return s;
}

double ExportedValue(double value) {
    if (!std::isfinite(value)) return value;
    if (value == 0) return 0;  // "0", also for -0
    // A double's own shortest decimal reads back as the double itself; only a
    // single-precision number's decimal is read again (without the locale's
    // decimal mark, which strtod would expect).
    const float f = static_cast<float>(value);
    if (static_cast<double>(f) != value) return value;
    char b[64];
    const auto r = std::to_chars(b, b + sizeof b, f, std::chars_format::fixed);
    double d = value;
    std::from_chars(b, r.ptr, d);
    return d;
}

CsvFormat CsvFormatFor(Lang language) {
    // What a spreadsheet set to that language reads on a double-click.
    return language == Lang::Czech ? CsvFormat{';', ','} : CsvFormat{',', '.'};
}

std::string ValueNumberFormat(int decimals) {
    if (decimals <= 0) return "0";
    return "0." + std::string(static_cast<std::size_t>(std::min(decimals, 7)), '0');
}

std::string SheetNameFor(const std::string& fileName, int part) {
    std::string name;
    for (char c : fileName) name += std::string("[]:*?/\\").find(c) == std::string::npos ? c : '_';
    if (name.empty()) name = "Sheet";
    const std::string suffix = part > 1 ? " (" + std::to_string(part) + ")" : "";
    return CutChars(name, 31 - suffix.size()) + suffix;
}

std::unique_ptr<RowSink> OpenXlsxExport(const std::string& path, const ExportHeader& header,
                                        const std::vector<ExportColumn>& columns, std::uint32_t sheetRows,
                                        const SummaryDocument* summary) {
    return std::make_unique<XlsxSink>(path, header, columns, sheetRows, summary);
}

std::unique_ptr<RowSink> OpenCsvExport(const std::string& path, const std::vector<ExportColumn>& columns,
                                       Lang language) {
    return OpenCsvExport(path, columns, CsvFormatFor(language));
}

std::unique_ptr<RowSink> OpenCsvExport(const std::string& path, const std::vector<ExportColumn>& columns,
                                       CsvFormat format) {
    return std::make_unique<CsvSink>(path, columns, format);
}

}  // namespace kolvex
