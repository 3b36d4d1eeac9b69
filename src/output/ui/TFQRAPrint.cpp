// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/TFQRAPrint.h"

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>

#include <algorithm>
#include <cerrno>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/SafeFile.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/ModalRunner.h"
#include "output/PdfListing.h"
#include "output/TrueTypeSubset.h"
#include "output/ui/ReportPreview.h"

namespace kolvex::ui {

using namespace kolvex::report;

namespace {

const QColor kHeaderBackground(232, 228, 208);
constexpr double kPrintableHeight = kPageHeight - kMarginTop - kMarginBottom;
constexpr double kFooterLineWidth = 0.53;  // two pixels of a 96-dpi screen
constexpr double kDottedLineWidth = 0.2;
constexpr double kCellTop = 1.1;
constexpr int kCellPointSize = 9;

QFont ReportFont(int pointSize, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

}  // namespace

// The glyphs of the listing font on the device, one lookup per character:
// the cells of all lines of a page column become one glyph run.
class TFQRAPrint::Glyphs {
public:
    Glyphs(const QFont& font, QPaintDevice* device)
        : device_(device), raw_(QRawFont::fromFont(QFont(font, device))) {}
    bool Valid() const { return raw_.isValid(); }
    double Ascent() const { return raw_.ascent(); }
    const QRawFont& Raw() const { return raw_; }
    // The listing cells go to writer instead of glyph runs.
    void SetWriter(kolvex::PdfListingWriter* writer) { writer_ = writer; }

    // Puts the glyphs of a listing cell (UTF-8) on the baseline y (in device
    // units): from `left`, or ending at `right` without the trailing blanks.
    // Blanks only advance. Each glyph starts at the nearest whole device unit
    // (1/1200 inch on a PDF printer, at most 0.011 mm away): the PDF writer
    // then gives its offset from the glyph before as a short integer, a third
    // less text to write and compress per glyph. False, with nothing put, when
    // a character has no glyph of this font or the text is not valid UTF-8 of
    // the basic plane (the cell is then drawn as text).
    bool AppendCell(const std::string& text, double left, double right, bool rightAligned, double y) {
        cell_.clear();
        double width = 0, blanks = 0;  // the advance without the trailing blanks
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        for (std::size_t i = 0; i < n;) {
            char16_t c = s[i];
            if (c < 0x80) {
                i += 1;
            } else if ((c & 0xE0) == 0xC0 && i + 1 < n) {
                c = static_cast<char16_t>((c & 0x1F) << 6 | (s[i + 1] & 0x3F));
                i += 2;
            } else if ((c & 0xF0) == 0xE0 && i + 2 < n) {
                c = static_cast<char16_t>((c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
                i += 3;
            } else {
                return false;
            }
            const Glyph& g = Of(c);
            if (!g.Ok) return false;
            cell_.push_back(&g);
            if (c == u' ') {
                blanks += g.Advance;
            } else {
                width += blanks + g.Advance;
                blanks = 0;
            }
        }
        double x = rightAligned ? right - width : left;
        if (writer_) {
            ids_.clear();
            for (const Glyph* g : cell_) ids_.push_back(static_cast<std::uint16_t>(g->Index));
            writer_->Cell(x, y, ids_.data(), ids_.size());
            return true;
        }
        for (const Glyph* g : cell_) {
            if (!g->Blank) {
                indexes_.push_back(g->Index);
                positions_.push_back(QPointF(Nearest(x), y));
            }
            x += g->Advance;
        }
        return true;
    }
    // A title, header or footer text with its top left corner at topLeft,
    // laid out once per text and font as drawText(rect, AlignLeft | AlignTop |
    // TextSingleLine) lays it out, and drawn from its glyph runs: the same
    // headers on every page are not laid out again.
    void DrawText(QPainter& p, const QFont& font, const QPointF& topLeft, const std::string& text) {
        std::string key = std::to_string(font.pointSize()) + (font.bold() ? 'b' : 'r') + text;
        auto it = texts_.find(key);
        if (it == texts_.end()) {
            if (texts_.size() >= kMaxTexts) texts_.clear();  // the page numbers never come back
            it = texts_.emplace(std::move(key), Layout(font, Q(text))).first;
        }
        for (const QGlyphRun& run : it->second) p.drawGlyphRun(topLeft, run);
    }
    void Draw(QPainter& p) {
        if (indexes_.empty()) return;
        QGlyphRun run;
        run.setRawFont(raw_);
        run.setGlyphIndexes(QList<quint32>(indexes_.begin(), indexes_.end()));
        run.setPositions(QList<QPointF>(positions_.begin(), positions_.end()));
        p.drawGlyphRun(QPointF(0, 0), run);
        indexes_.clear();
        positions_.clear();
    }

private:
    static constexpr std::size_t kMaxTexts = 64;

    // The nearest whole number; positions on the page are not negative, and
    // for them a cast does what std::round (a library call) does.
    static double Nearest(double x) {
        return x >= 0 && x < 1e9 ? static_cast<double>(static_cast<std::int64_t>(x + 0.5)) : std::round(x);
    }

    // One line from the top of the layout, the first line's leading dropped,
    // tabs and line breaks as blanks: what drawText does with one line.
    QList<QGlyphRun> Layout(const QFont& font, QString text) const {
        for (QChar& c : text)
            if (c == u'\r' || c == u'\n' || c == u'\t') c = u' ';
        QTextLayout layout(text, QFont(font, device_), device_);
        QTextOption option;
        option.setTextDirection(Qt::LeftToRight);
        option.setAlignment(Qt::AlignLeft);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) {
            line.setLineWidth(0x01000000);
            line.setPosition(QPointF(0, 0));
        }
        layout.endLayout();
        return layout.glyphRuns();
    }

    struct Glyph {
        quint32 Index = 0;
        double Advance = 0;
        bool Ok = false;
        bool Known = false;
        bool Blank = false;
    };
    const Glyph& Of(char16_t c) {
        Glyph& g = c < latin_.size() ? latin_[c] : other_[c];
        if (!g.Known) {
            g.Known = true;
            g.Blank = c == u' ';
            const QList<quint32> idx = raw_.glyphIndexesForString(QString(QChar(c)));
            // Glyph numbers of a TrueType font fit 16 bits.
            if (idx.size() == 1 && idx[0] != 0 && idx[0] <= 0xFFFF) {
                g.Index = idx[0];
                if (writer_) writer_->SetUnicode(static_cast<std::uint16_t>(idx[0]), c);
                g.Advance = raw_.advancesForGlyphIndexes(idx).value(0).x();
                g.Ok = true;
            }
        }
        return g;
    }

    QPaintDevice* device_;
    QRawFont raw_;
    std::unordered_map<std::string, QList<QGlyphRun>> texts_;
    std::array<Glyph, 256> latin_{};
    std::unordered_map<char16_t, Glyph> other_;
    std::vector<const Glyph*> cell_;
    kolvex::PdfListingWriter* writer_ = nullptr;
    std::vector<std::uint16_t> ids_;
    // The page column's glyphs, kept from column to column with their storage.
    std::vector<quint32> indexes_;
    std::vector<QPointF> positions_;
};

TFQRAPrint::TFQRAPrint(kolvex::ReportPlan plan, kolvex::Table& table) : plan_(std::move(plan)), table_(table) {}

TFQRAPrint::~TFQRAPrint() = default;

void TFQRAPrint::SetupPrinter(QPrinter& printer) {
    printer.setFullPage(false);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kMarginLeft, kMarginTop, kMarginRight, kMarginBottom),
                                      QPageLayout::Millimeter));
}

void TFQRAPrint::PaintPage(QPainter& p, double k, std::size_t index, Glyphs* glyphs) const {
    const ReportPage& page = plan_.Pages[index];
    const ReportInput& in = plan_.Input;
    const std::size_t fieldCount = std::min<std::size_t>(plan_.Fields.size(), 3);
    const std::size_t lineCount = kolvex::ReportPageLines(table_, plan_, index, lines_);
    auto rect = [k](double left, double top, double width, double height) {
        return QRectF(left * k, top * k, width * k, height * k);
    };
    // A text item with its top left corner at (left, top) of the page.
    auto item = [&](double bandLeft, double bandTop, const TextItem& t) {
        if (glyphs) {
            glyphs->DrawText(p, ReportFont(t.PointSize, t.Bold), QPointF((bandLeft + t.Left) * k, (bandTop + t.Top) * k),
                             t.Text);
            return;
        }
        p.setFont(ReportFont(t.PointSize, t.Bold));
        p.drawText(rect(bandLeft + t.Left, bandTop + t.Top, kPrintableWidth, 12),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, Q(t.Text));
    };

    const double top = page.HasTitle ? kTitleHeight : 0;  // of the page columns' headers

    // The listing before the title block and the headers (nothing overlaps):
    // a PDF writer numbers a font's glyphs in the order they are first drawn
    // and looks every glyph drawn up in that list, which stays short for the
    // listing's few characters when they come first.
    p.setPen(Qt::black);
    p.setFont(ReportFont(kCellPointSize, false));
    std::size_t pageLine = 0;
    for (int c = 0; c < 2; ++c) {
        const ReportColumn& col = page.Columns[c];
        const double left = c * (kColumnWidth + kColumnGap);
        for (std::size_t j = 0; j < col.Count && pageLine < lineCount; ++j, ++pageLine) {
            const ReportLine& line = lines_[pageLine];
            const double y = top + kHeaderHeight + static_cast<double>(j) * kLineHeight + kCellTop;
            for (std::size_t i = 0; i < fieldCount; ++i) {
                const CellBox& box = kCellBoxes[i];
                // Text top at y, as the drawn text would have it.
                if (glyphs && glyphs->AppendCell(line.Cells[i], (left + box.Left) * k, (left + box.Right) * k,
                                                 box.RightAligned, y * k + glyphs->Ascent()))
                    continue;
                const int align = (box.RightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop |
                                  Qt::TextSingleLine | Qt::TextDontClip;
                p.drawText(rect(left + box.Left, y, box.Right - box.Left, kLineHeight), align, Q(line.Cells[i]));
            }
        }
        if (glyphs) glyphs->Draw(p);
    }

    if (page.HasTitle)
        for (const TextItem& t : ReportTitleItems(in)) item(0, 0, t);
    const std::vector<TextItem> header = ReportHeaderItems(in);
    for (int c = 0; c < 2; ++c) {
        // The first page column always carries its header, even without lines.
        if (c > 0 && page.Columns[c].Count == 0) continue;
        const double left = c * (kColumnWidth + kColumnGap);
        p.fillRect(rect(left, top, kColumnWidth, kHeaderHeight), kHeaderBackground);
        QPen dotted(Qt::black);
        dotted.setStyle(Qt::DotLine);
        dotted.setWidthF(kDottedLineWidth * k);
        p.setPen(dotted);
        p.drawLine(QPointF(left * k, (top + kHeaderHeight) * k), QPointF((left + kColumnWidth) * k, (top + kHeaderHeight) * k));
        p.setPen(Qt::black);
        for (const TextItem& t : header) item(left, top, t);
    }

    // The page footer at the foot of the printable area.
    const double footer = kPrintableHeight - kFooterHeight;
    QPen thick(Qt::black);
    thick.setWidthF(kFooterLineWidth * k);
    p.setPen(thick);
    p.drawLine(QPointF(0, (footer + 2.1) * k), QPointF(kPrintableWidth * k, (footer + 2.1) * k));
    p.setPen(Qt::black);
    for (const TextItem& t : ReportFooterItems(in, static_cast<int>(index) + (lead_ ? 2 : 1))) item(0, footer, t);
}

void TFQRAPrint::Paint(QPrinter* printer) const {
    QPainter p;
    if (!p.begin(printer)) return;
    Glyphs glyphs(ReportFont(kCellPointSize, false), printer);
    // Glyph runs pay off where they become PDF text (a PDF file and the
    // printing system); the preview records its pages as pictures, which
    // replay them slower than plain text.
    const bool useGlyphs = glyphs.Valid() && p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Pdf;
    PaintPages(p, *printer, useGlyphs ? &glyphs : nullptr, nullptr);
    p.end();
}

void TFQRAPrint::PaintPages(QPainter& p, QPrinter& printer, Glyphs* glyphs, kolvex::PdfListingWriter* writer) const {
    const double k = printer.resolution() / 25.4;
    // The device's units to the PDF page's points, as the printer's PDF
    // writer places the printable area on the page.
    kolvex::PdfPageMatrix m;
    const QPageLayout layout = printer.pageLayout();
    const QRect area = layout.paintRectPixels(printer.resolution());
    m.A = 72.0 / printer.resolution();
    m.D = -m.A;
    m.E = area.left() * m.A;
    m.F = layout.fullRectPoints().height() - area.top() * m.A;
    std::size_t first = 0, last = PageCount();
    if (printer.fromPage() > 0) first = std::min<std::size_t>(static_cast<std::size_t>(printer.fromPage()) - 1, last);
    if (printer.toPage() > 0) last = std::min<std::size_t>(static_cast<std::size_t>(printer.toPage()), last);
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) printer.newPage();
        if (lead_ && i == 0) {
            lead_(p, k, 1);
            continue;
        }
        if (writer) writer->BeginPage(i - first, m);
        PaintPage(p, k, lead_ ? i - 1 : i, glyphs);
        if (writer) writer->EndPage();
    }
}

namespace {

QPrinter* PdfPrinter(QPrinter& printer, const std::string& file, const std::string& title) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file));
    printer.setDocName(Q(title));
    TFQRAPrint::SetupPrinter(printer);
    return &printer;
}

}  // namespace

bool TFQRAPrint::PaintOwnListing(const std::string& file, int pdfFd, int scratchFd) const {
    QPrinter printer(QPrinter::HighResolution);
    PdfPrinter(printer, file, plan_.Input.FileName);
    Glyphs glyphs(ReportFont(kCellPointSize, false), &printer);
    if (!glyphs.Valid()) return false;
    auto fail = [](const std::string& why) -> void { throw std::runtime_error(why); };
    try {
        const QRawFont raw = glyphs.Raw();
        const kolvex::TrueTypeFont font([&raw](const char* tag) {
            const QByteArray b = raw.fontTable(tag);
            return std::string(b.constData(), static_cast<std::size_t>(b.size()));
        });
        // A low deflate level: the listing's repeated dates and digits shrink
        // nearly as well as at the default level, in three quarters of the time.
        kolvex::PdfListingWriter writer(font, raw.pixelSize(), scratchFd, fail, 3);
        glyphs.SetWriter(&writer);
        QPainter p;
        if (!p.begin(&printer)) return false;
        PaintPages(p, printer, &glyphs, &writer);
        if (!p.end()) return false;
        return writer.Finish(pdfFd);
    } catch (const std::runtime_error&) {
        return false;
    }
}

bool TFQRAPrint::PrintToPdf(const QString& path, std::string* why) const {
    auto failed = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    // Written under a temporary name beside the target, which it takes once
    // complete and on disk (a link at the name is refused); the printer's PDF
    // writer opens that name itself.
    const std::string target = path.toStdString();
    kolvex::ReplacingFile file;
    if (std::string reason = file.Begin(target); !reason.empty()) return failed(std::move(reason));
    // The listing's page streams wait on a scratch file until the rest of
    // the document is written; without one, or when the document is not as
    // expected, the printer's PDF writer sets the listing as well.
    std::string scratchPath;
    kolvex::UniqueFd scratchFd = kolvex::CreateTemporaryBeside(target, scratchPath);
    if (scratchFd) ::unlink(scratchPath.c_str());  // open until we are done, gone if we are killed
    if (!(scratchFd && PaintOwnListing(file.TemporaryPath(), file.Fd(), scratchFd.Get()))) {
        QPrinter printer(QPrinter::HighResolution);
        Paint(PdfPrinter(printer, file.TemporaryPath(), plan_.Input.FileName));
        struct stat st {};
        if (::fstat(file.Fd(), &st) != 0 || st.st_size == 0)
            return failed(kolvex::Tr("tiskový výstup se nepodařilo vytvořit", "the printed output could not be made"));
    }
    std::string reason = file.Commit();
    return reason.empty() || failed(std::move(reason));
}

void TFQRAPrint::WritePdf(const QString& path) const {
    std::string why;
    if (PrintToPdf(path, &why)) return;
    const std::string name = path.toStdString();
    throw kolvex::EADM(kolvex::Tr("Soubor " + name + " se nepodařilo zapsat (" + why + ")",
                                  "The file " + name + " could not be written (" + why + ")"));
}

void TFQRAPrint::Preview(QWidget* parent) const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(Q(plan_.Input.FileName));
    SetupPrinter(printer);
    ReportPreview preview(*this, printer, parent);
    preview.resize(900, 1000);
    RunModal(preview);
}

}  // namespace kolvex::ui
