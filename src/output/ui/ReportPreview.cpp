// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/ReportPreview.h"

#include <QAction>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"
#include "output/ReportLayout.h"
#include "output/ui/TFQRAPrint.h"

namespace kolvex::ui {

using namespace kolvex::report;

namespace {
constexpr double kMinZoom = 0.5, kMaxZoom = 12.0;  // screen pixels per millimetre
const QColor kBackdrop(128, 128, 128);
}  // namespace

// ---- the page view ------------------------------------------------------------

ReportPageView::ReportPageView(const TFQRAPrint& report, double printerDpi, QWidget* parent)
    : QAbstractScrollArea(parent), report_(report), printerDpi_(printerDpi > 0 ? printerDpi : 1200) {
    setObjectName(QStringLiteral("Pages"));
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
    UpdateScrollBars();
}

std::size_t ReportPageView::PageCount() const { return report_.PageCount(); }

int ReportPageView::PageWidth() const { return static_cast<int>(std::lround(kPageWidth * zoom_)); }
int ReportPageView::PageHeight() const { return static_cast<int>(std::lround(kPageHeight * zoom_)); }

std::size_t ReportPageView::CurrentPage() const {
    const std::size_t n = PageCount();
    if (n == 0) return 0;
    // The page that holds the upper third of the view.
    const qint64 y = verticalScrollBar()->value() + viewport()->height() / 3;
    return std::min<std::size_t>(static_cast<std::size_t>(std::max<qint64>(y / Stride(), 0)), n - 1);
}

void ReportPageView::ShowPage(std::size_t index) {
    if (PageCount() == 0) return;
    index = std::min(index, PageCount() - 1);
    verticalScrollBar()->setValue(static_cast<int>(std::min<qint64>(static_cast<qint64>(index) * Stride(), INT_MAX)));
}

void ReportPageView::SetZoom(double pixelsPerMm) {
    fit_ = Fit::None;
    ApplyZoom(pixelsPerMm);
}

void ReportPageView::ApplyZoom(double pixelsPerMm) {
    pixelsPerMm = std::clamp(pixelsPerMm, kMinZoom, kMaxZoom);
    if (std::fabs(pixelsPerMm - zoom_) < 1e-6) return;
    const std::size_t page = CurrentPage();
    zoom_ = pixelsPerMm;
    cache_.clear();
    UpdateScrollBars();
    ShowPage(page);
    viewport()->update();
}

void ReportPageView::FitWidth() {
    fit_ = Fit::Width;
    Refit();
}

void ReportPageView::FitPage() {
    fit_ = Fit::Page;
    Refit();
}

void ReportPageView::Refit() {
    const double width = (viewport()->width() - 2 * kGap) / kPageWidth;
    if (fit_ == Fit::Width) ApplyZoom(width);
    if (fit_ == Fit::Page) ApplyZoom(std::min(width, (viewport()->height() - 2 * kGap) / kPageHeight));
}

void ReportPageView::UpdateScrollBars() {
    const qint64 height = static_cast<qint64>(PageCount()) * Stride() + kGap;
    const int v = viewport()->height(), w = viewport()->width();
    verticalScrollBar()->setPageStep(v);
    verticalScrollBar()->setRange(0, static_cast<int>(std::clamp<qint64>(height - v, 0, INT_MAX)));
    horizontalScrollBar()->setPageStep(w);
    horizontalScrollBar()->setRange(0, std::max(PageWidth() + 2 * kGap - w, 0));
}

void ReportPageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    Refit();
}

void ReportPageView::scrollContentsBy(int, int) {
    viewport()->update();
    const std::size_t page = CurrentPage();
    if (page != shownPage_) {
        shownPage_ = page;
        emit CurrentPageChanged(page);
    }
}

const QImage& ReportPageView::PageImage(std::size_t index) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first != index) continue;
        cache_.splice(cache_.begin(), cache_, it);
        return cache_.front().second;
    }
    // Painted as on the printer (its resolution, fonts and margins) and
    // scaled to the screen, so that the preview shows the printout.
    QImage image(PageWidth(), PageHeight(), QImage::Format_RGB32);
    image.fill(Qt::white);
    const int dotsPerMeter = static_cast<int>(std::lround(printerDpi_ / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    {
        const double k = printerDpi_ / 25.4;  // printer dots per millimetre
        QPainter p(&image);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        p.scale(zoom_ / k, zoom_ / k);
        p.translate(kMarginLeft * k, kMarginTop * k);
        report_.DrawPage(p, k, index);
    }
    ++drawn_;
    cache_.emplace_front(index, std::move(image));
    // Keep what fits the budget, at least the page just drawn and one more.
    qsizetype bytes = 0;
    std::size_t kept = 0;
    for (auto it = cache_.begin(); it != cache_.end();) {
        bytes += it->second.sizeInBytes();
        if (kept >= 2 && bytes > kCacheBytes) {
            it = cache_.erase(it);
        } else {
            ++kept;
            ++it;
        }
    }
    return cache_.front().second;
}

void ReportPageView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    p.fillRect(event->rect(), kBackdrop);
    const std::size_t n = PageCount();
    if (n == 0) return;
    const qint64 top = verticalScrollBar()->value();
    const int x = std::max((viewport()->width() - PageWidth()) / 2, kGap) - horizontalScrollBar()->value();
    const qint64 bottom = top + viewport()->height();
    for (std::size_t i = static_cast<std::size_t>(std::max<qint64>(top / Stride(), 0));
         i < n && static_cast<qint64>(i) * Stride() + kGap < bottom; ++i) {
        const int y = static_cast<int>(static_cast<qint64>(i) * Stride() + kGap - top);
        const QRect page(x, y, PageWidth(), PageHeight());
        if (!page.intersects(event->rect())) continue;
        p.fillRect(page.translated(3, 3), QColor(60, 60, 60));  // a shadow
        p.drawImage(page.topLeft(), PageImage(i));
    }
}

// ---- the preview window ---------------------------------------------------------

ReportPreview::ReportPreview(const TFQRAPrint& report, QPrinter& printer, QWidget* parent)
    : QDialog(parent), report_(report), printer_(printer) {
    setObjectName(QStringLiteral("TFQRAPrint"));
    view_ = new ReportPageView(report, printer.resolution(), this);
    bar_ = new QToolBar(this);
    const QStyle* st = style();
    first_ = bar_->addAction(st->standardIcon(QStyle::SP_MediaSkipBackward), QString(), [this] { view_->ShowPage(0); });
    prior_ = bar_->addAction(st->standardIcon(QStyle::SP_ArrowLeft), QString(), [this] {
        const std::size_t p = view_->CurrentPage();
        view_->ShowPage(p > 0 ? p - 1 : 0);
    });
    page_ = new QSpinBox(this);
    page_->setObjectName(QStringLiteral("Page"));
    page_->setRange(1, static_cast<int>(std::max<std::size_t>(report.PageCount(), 1)));
    page_->setKeyboardTracking(false);
    bar_->addWidget(page_);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("PageCount"));
    bar_->addWidget(count_);
    next_ = bar_->addAction(st->standardIcon(QStyle::SP_ArrowRight), QString(),
                            [this] { view_->ShowPage(view_->CurrentPage() + 1); });
    last_ = bar_->addAction(st->standardIcon(QStyle::SP_MediaSkipForward), QString(), [this] {
        if (view_->PageCount() > 0) view_->ShowPage(view_->PageCount() - 1);
    });
    bar_->addSeparator();
    zoomOut_ = bar_->addAction(QStringLiteral("−"), [this] { view_->SetZoom(view_->Zoom() / 1.25); });
    zoomIn_ = bar_->addAction(QStringLiteral("+"), [this] { view_->SetZoom(view_->Zoom() * 1.25); });
    fitWidth_ = bar_->addAction(QString(), [this] { view_->FitWidth(); });
    fitPage_ = bar_->addAction(QString(), [this] { view_->FitPage(); });
    bar_->addSeparator();
    print_ = bar_->addAction(QIcon::fromTheme(QStringLiteral("document-print")), QString(), [this] { Print(); });
    print_->setObjectName(QStringLiteral("Print"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar_);
    layout->addWidget(view_, 1);

    connect(page_, &QSpinBox::valueChanged, this, [this](int v) {
        if (v >= 1 && static_cast<std::size_t>(v - 1) != view_->CurrentPage()) view_->ShowPage(static_cast<std::size_t>(v - 1));
    });
    connect(view_, &ReportPageView::CurrentPageChanged, this, &ReportPreview::PageChanged);
    ApplyCaptions();
    PageChanged(0);
}

void ReportPreview::ApplyCaptions() {
    setWindowTitle(Tx("Náhled tisku", "Print preview"));
    first_->setToolTip(Tx("První strana", "First page"));
    prior_->setToolTip(Tx("Předchozí strana", "Previous page"));
    next_->setToolTip(Tx("Další strana", "Next page"));
    last_->setToolTip(Tx("Poslední strana", "Last page"));
    zoomOut_->setToolTip(Tx("Zmenšit", "Zoom out"));
    zoomIn_->setToolTip(Tx("Zvětšit", "Zoom in"));
    fitWidth_->setText(Tx("Na šířku", "Fit width"));
    fitPage_->setText(Tx("Celá strana", "Whole page"));
    print_->setText(Tx("&Tisk…", "&Print…"));
    count_->setText(QStringLiteral(" ") + Tx("z", "of") + QStringLiteral(" %1 ").arg(report_.PageCount()));
}

void ReportPreview::PageChanged(std::size_t index) {
    const QSignalBlocker block(page_);
    page_->setValue(static_cast<int>(index) + 1);
    const bool any = report_.PageCount() > 0;
    first_->setEnabled(any && index > 0);
    prior_->setEnabled(any && index > 0);
    next_->setEnabled(any && index + 1 < report_.PageCount());
    last_->setEnabled(any && index + 1 < report_.PageCount());
}

void ReportPreview::Print() {
    QPrintDialog dialog(&printer_, this);
    dialog.setMinMax(1, static_cast<int>(std::max<std::size_t>(report_.PageCount(), 1)));
    if (RunModal(dialog) == QDialog::Accepted) report_.Paint(&printer_);
}

}  // namespace kolvex::ui
