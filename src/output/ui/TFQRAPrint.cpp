#include "output/ui/TFQRAPrint.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>

#include "app/ui/ErrorDisplay.h"
#include "app/ui/ModalRunner.h"

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

TFQRAPrint::TFQRAPrint(kolvex::ReportData data) : data_(std::move(data)), pages_(PaginateReport(data_.Lines.size())) {}

void TFQRAPrint::SetupPrinter(QPrinter& printer) {
    printer.setFullPage(false);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kMarginLeft, kMarginTop, kMarginRight, kMarginBottom),
                                      QPageLayout::Millimeter));
}

void TFQRAPrint::PaintPage(QPainter& p, double k, std::size_t index) const {
    const ReportPage& page = pages_[index];
    const ReportInput& in = data_.Input;
    auto rect = [k](double left, double top, double width, double height) {
        return QRectF(left * k, top * k, width * k, height * k);
    };
    // A text item with its top left corner at (left, top) of the page.
    auto item = [&](double bandLeft, double bandTop, const TextItem& t) {
        p.setFont(ReportFont(t.PointSize, t.Bold));
        p.drawText(rect(bandLeft + t.Left, bandTop + t.Top, kPrintableWidth, 12),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, Q(t.Text));
    };

    double top = 0;
    if (page.HasTitle) {
        for (const TextItem& t : ReportTitleItems(in)) item(0, top, t);
        top += kTitleHeight;
    }

    const std::vector<TextItem> header = ReportHeaderItems(in);
    for (int c = 0; c < 2; ++c) {
        const ReportColumn& col = page.Columns[c];
        // The first page column always carries its header, even without lines.
        if (c > 0 && col.Count == 0) continue;
        const double left = c * (kColumnWidth + kColumnGap);
        p.fillRect(rect(left, top, kColumnWidth, kHeaderHeight), kHeaderBackground);
        QPen dotted(Qt::black);
        dotted.setStyle(Qt::DotLine);
        dotted.setWidthF(kDottedLineWidth * k);
        p.setPen(dotted);
        p.drawLine(QPointF(left * k, (top + kHeaderHeight) * k), QPointF((left + kColumnWidth) * k, (top + kHeaderHeight) * k));
        p.setPen(Qt::black);
        for (const TextItem& t : header) item(left, top, t);

        p.setFont(ReportFont(kCellPointSize, false));
        for (std::size_t j = 0; j < col.Count; ++j) {
            const ReportLine& line = data_.Lines[col.First + j];
            const double y = top + kHeaderHeight + static_cast<double>(j) * kLineHeight + kCellTop;
            for (std::size_t i = 0; i < data_.FieldCount && i < 3; ++i) {
                const CellBox& box = kCellBoxes[i];
                const int align = (box.RightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop |
                                  Qt::TextSingleLine | Qt::TextDontClip;
                p.drawText(rect(left + box.Left, y, box.Right - box.Left, kLineHeight), align, Q(line.Cells[i]));
            }
        }
    }

    // The page footer at the foot of the printable area.
    const double footer = kPrintableHeight - kFooterHeight;
    QPen thick(Qt::black);
    thick.setWidthF(kFooterLineWidth * k);
    p.setPen(thick);
    p.drawLine(QPointF(0, (footer + 2.1) * k), QPointF(kPrintableWidth * k, (footer + 2.1) * k));
    p.setPen(Qt::black);
    for (const TextItem& t : ReportFooterItems(in, static_cast<int>(index) + 1)) item(0, footer, t);
}

void TFQRAPrint::Paint(QPrinter* printer) const {
    QPainter p;
    if (!p.begin(printer)) return;
    const double k = printer->resolution() / 25.4;
    std::size_t first = 0, last = pages_.size();
    if (printer->fromPage() > 0) first = std::min<std::size_t>(static_cast<std::size_t>(printer->fromPage()) - 1, last);
    if (printer->toPage() > 0) last = std::min<std::size_t>(static_cast<std::size_t>(printer->toPage()), last);
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) printer->newPage();
        PaintPage(p, k, i);
    }
    p.end();
}

bool TFQRAPrint::PrintToPdf(const QString& path) const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(Q(data_.Input.FileName));
    SetupPrinter(printer);
    Paint(&printer);
    return QFile::exists(path);
}

void TFQRAPrint::Preview(QWidget* parent) const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(Q(data_.Input.FileName));
    SetupPrinter(printer);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("TFQRAPrint"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [this](QPrinter* target) { Paint(target); });
    preview.resize(900, 1000);
    RunModal(preview);
}

}  // namespace kolvex::ui
