// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/WorkbookExport.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/DateTime.h"
#include "archive/SummaryReport.h"
#include "output/NumberText.h"

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

[[noreturn]] void WriteFailed(const std::string& path, const char* why) {
    throw EADM(Tr("Soubor " + path + " se nepodařilo zapsat (" + why + ")",
                  "The file " + path + " could not be written (" + why + ")"));
}

class XlsxSink : public RowSink {
public:
    XlsxSink(const std::string& path, const ExportHeader& header, const std::vector<ExportColumn>& columns,
             std::uint32_t sheetRows, const SummaryDocument* summary)
        : path_(path), header_(header), columns_(columns), sheetRows_(std::max<std::uint32_t>(sheetRows, kFirstDataRow + 1)) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        wb_ = workbook_new_opt(path.c_str(), &options);
        if (!wb_) WriteFailed(path, "workbook");
        grey_ = workbook_add_format(wb_);
        format_set_font_size(grey_, 10);
        format_set_font_color(grey_, 0x808080);
        title_ = workbook_add_format(wb_);
        format_set_font_size(title_, 20);
        format_set_bold(title_);
        format_set_font_color(title_, 0x0000FF);
        heading_ = workbook_add_format(wb_);
        format_set_font_size(heading_, 10);
        format_set_bold(heading_);
        format_set_font_color(heading_, 0x000080);
        date_ = workbook_add_format(wb_);
        format_set_num_format(date_, "dd/mm/yyyy hh:mm:ss");
        for (int d = 0; d <= 7; ++d) {
            value_[d] = workbook_add_format(wb_);
            format_set_num_format(value_[d], ValueNumberFormat(d).c_str());
        }
        NewSheet();
        if (summary) SummarySheet(*summary);
    }
    ~XlsxSink() override {
        if (wb_) workbook_close(wb_);  // an unfinished export; errors already reported
    }

    void AddRow(const std::vector<double>& values, const std::vector<bool>& isNull) override {
        std::vector<std::uint8_t> empty(values.size());
        for (std::size_t c = 0; c < values.size(); ++c) empty[c] = c < isNull.size() && isNull[c];
        AddCells(values.data(), empty.data(), values.size());
    }

    void AddCells(const double* values, const std::uint8_t* isNull, std::size_t n) override {
        if (row_ >= sheetRows_) NewSheet();
        for (std::size_t c = 0; c < columns_.size() && c < n; ++c) {
            if (isNull[c]) continue;
            const auto col = static_cast<lxw_col_t>(c);
            lxw_format* f = columns_[c].IsDateTime ? date_ : value_[Decimals(c)];
            const double v = columns_[c].IsDateTime ? values[c] : ExportedValue(values[c]);
            if (worksheet_write_number(ws_, row_, col, v, f) != LXW_NO_ERROR) WriteFailed(path_, "cell");
        }
        ++row_;
        ++rows_;
    }

    void Close() override {
        lxw_workbook* wb = wb_;
        wb_ = nullptr;
        const lxw_error e = workbook_close(wb);
        if (e != LXW_NO_ERROR) WriteFailed(path_, lxw_strerror(e));
    }

    std::uint64_t Rows() const override { return rows_; }

private:
    int Decimals(std::size_t c) const { return std::min(std::max(columns_[c].Decimals, 0), 7); }

    void NewSheet() {
        ++part_;
        const std::string name = SheetNameFor(header_.FileName, part_);
        ws_ = workbook_add_worksheet(wb_, name.c_str());
        if (!ws_) WriteFailed(path_, "worksheet");
        // In constant memory the sheet's rows go to a temporary file, by
        // default through a 4 KB buffer: one system call per 4 KB of XML.
        if (ws_->optimize_tmpfile) std::setvbuf(ws_->optimize_tmpfile, nullptr, _IOFBF, 1 << 20);
        // Columns A to G are 12 wide, the date-time column 20. The writer keeps
        // one entry per first column, so each column is set once.
        for (std::size_t c = 0; c < std::max<std::size_t>(columns_.size(), 7); ++c) {
            const auto col = static_cast<lxw_col_t>(c);
            if (c >= columns_.size()) worksheet_set_column(ws_, col, col, 12, nullptr);
            else if (columns_[c].IsDateTime) worksheet_set_column(ws_, col, col, 20, nullptr);
            else worksheet_set_column(ws_, col, col, 12, value_[Decimals(c)]);
        }
        PageSetUp();
        const ExportHeaderTexts t = MakeExportHeaderTexts(header_);
        auto put = [&](lxw_row_t r, lxw_col_t c, const std::string& s, lxw_format* f) {
            if (!s.empty()) worksheet_write_string(ws_, r, c, s.c_str(), f);
        };
        // Constant memory flushes a row once a later one is touched, so each
        // row is formatted and filled in order: A1, E1, F1; B2, E2, F2; B3, E3, F3.
        worksheet_set_row(ws_, 0, LXW_DEF_ROW_HEIGHT, grey_);
        put(0, 0, t.Title, title_);
        put(0, 4, t.FromLabel, grey_);
        put(0, 5, t.FromValue, grey_);
        worksheet_set_row(ws_, 1, LXW_DEF_ROW_HEIGHT, grey_);
        put(1, 1, t.SerialLine, grey_);
        put(1, 4, t.ToLabel, grey_);
        put(1, 5, t.ToValue, grey_);
        worksheet_set_row(ws_, 2, LXW_DEF_ROW_HEIGHT, grey_);
        put(2, 1, t.FileLine, grey_);
        put(2, 4, t.StepLabel, grey_);
        put(2, 5, t.StepValue, grey_);
        worksheet_set_row(ws_, 4, LXW_DEF_ROW_HEIGHT, heading_);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const ExportColumn& col = columns_[c];
            put(4, static_cast<lxw_col_t>(c), HeadingText(col), heading_);
        }
        row_ = kFirstDataRow;
    }

    // The summary on a sheet of its own, after the first data sheet.
    void SummarySheet(const SummaryDocument& doc) {
        lxw_worksheet* ws = workbook_add_worksheet(wb_, CutChars(doc.Title, 31).c_str());
        if (!ws) WriteFailed(path_, "worksheet");
        lxw_format* duration = workbook_add_format(wb_);
        format_set_num_format(duration, "[h]:mm:ss");
        lxw_format* share = workbook_add_format(wb_);
        format_set_num_format(share, "0.0%");
        worksheet_set_column(ws, 0, 0, 44, nullptr);
        worksheet_set_column(ws, 1, 6, 20, nullptr);
        worksheet_set_paper(ws, 9);
        worksheet_fit_to_pages(ws, 1, 0);
        lxw_row_t r = 0;
        auto text = [&](lxw_row_t row, lxw_col_t col, const std::string& s, lxw_format* f) {
            if (!s.empty() && worksheet_write_string(ws, row, col, s.c_str(), f) != LXW_NO_ERROR)
                WriteFailed(path_, "cell");
        };
        text(r, 0, doc.Title + "  " + header_.FileName, title_);
        r += 2;
        for (const SummarySection& sec : doc.Sections) {
            text(r++, 0, sec.Title, heading_);
            if (!sec.Heading.empty()) {
                for (std::size_t c = 0; c < sec.Heading.size(); ++c)
                    text(r, static_cast<lxw_col_t>(c), sec.Heading[c], heading_);
                ++r;
            }
            for (const auto& cells : sec.Rows) {
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    const SummaryCell& cell = cells[c];
                    const auto col = static_cast<lxw_col_t>(c);
                    lxw_error e = LXW_NO_ERROR;
                    switch (cell.Type) {
                        case SummaryCell::Empty: break;
                        case SummaryCell::Text: text(r, col, cell.Label, nullptr); break;
                        case SummaryCell::Number:
                            e = worksheet_write_number(ws, r, col, cell.Value, value_[std::clamp(cell.Decimals, 0, 7)]);
                            break;
                        case SummaryCell::Time: e = worksheet_write_number(ws, r, col, cell.Value, date_); break;
                        case SummaryCell::Duration:
                            e = worksheet_write_number(ws, r, col, cell.Value / 86400.0, duration);
                            break;
                        case SummaryCell::Share: e = worksheet_write_number(ws, r, col, cell.Value, share); break;
                    }
                    if (e != LXW_NO_ERROR) WriteFailed(path_, "cell");
                }
                ++r;
            }
            ++r;
        }
    }

    // A4, one page wide, the header block and the column heading on every
    // page; landscape when the used columns are wider than a portrait page.
    void PageSetUp() {
        worksheet_set_paper(ws_, 9);
        worksheet_fit_to_pages(ws_, 1, 0);
        worksheet_repeat_rows(ws_, 0, kFirstDataRow - 1);
        // The period block reaches into column G (its values overflow F).
        double width = 0;
        for (std::size_t c = 0; c < std::max<std::size_t>(columns_.size(), 7); ++c)
            width += c < columns_.size() && columns_[c].IsDateTime ? 20 : 12;
        if (width > kPortraitWidth) worksheet_set_landscape(ws_);
        else worksheet_set_portrait(ws_);
    }

    // Character widths that fit across a portrait A4 page at the default margins.
    static constexpr double kPortraitWidth = 95;

    std::string path_;
    ExportHeader header_;
    std::vector<ExportColumn> columns_;
    std::uint32_t sheetRows_;
    lxw_workbook* wb_ = nullptr;
    lxw_worksheet* ws_ = nullptr;
    lxw_format *grey_ = nullptr, *title_ = nullptr, *heading_ = nullptr, *date_ = nullptr;
    lxw_format* value_[8] = {};
    lxw_row_t row_ = 0;
    int part_ = 0;
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
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            if (c) *p++ = format_.Separator;
            if (c >= n || isNull[c]) continue;
            if (columns_[c].IsDateTime) {
                p = dates_.Write(p, values[c]);
                continue;
            }
            if (quoteNumbers_) *p++ = '"';
            char* const number = p;
            p = WriteShortestDecimal(p, values[c]);
            if (format_.Decimal != '.')
                for (char* q = number; q != p; ++q)
                    if (*q == '.') *q = format_.Decimal;
            if (quoteNumbers_) *p++ = '"';
        }
        *p++ = '\r';
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buf_.data());
        ++rows_;
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
    IsoDateTimeWriter dates_;
    std::uint64_t rows_ = 0;
};

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
