// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The print preview of the listing. It knows the page count from the report's
// plan and draws a page only when it comes into view, from the same painting
// as the printout, so a report of thousands of pages opens at once and its
// memory does not grow with the page count. The print button prints the
// report through the system's printer dialog (which also offers a PDF file).

#include <QAbstractScrollArea>
#include <QDialog>
#include <QImage>

#include <cstddef>
#include <list>
#include <utility>

class QAction;
class QLabel;
class QPrinter;
class QSpinBox;
class QToolBar;

namespace kolvex::ui {

class TFQRAPrint;

// The pages one below the other, each drawn when it comes into view and kept
// for a few pages (by image size) so that scrolling back costs nothing.
class ReportPageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    ReportPageView(const TFQRAPrint& report, double printerDpi, QWidget* parent = nullptr);

    std::size_t PageCount() const;
    // The page at the top of the view (0-based).
    std::size_t CurrentPage() const;
    void ShowPage(std::size_t index);
    // Screen pixels per millimetre of paper.
    double Zoom() const { return zoom_; }
    void SetZoom(double pixelsPerMm);
    // The page's width, or the whole page, fills the view, also after the
    // view is resized (until the next SetZoom).
    void FitWidth();
    void FitPage();
    // Pages drawn so far (for tests and the benchmark).
    std::size_t PagesDrawn() const { return drawn_; }

signals:
    void CurrentPageChanged(std::size_t index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int PageWidth() const;
    int PageHeight() const;
    int Stride() const { return PageHeight() + kGap; }
    void UpdateScrollBars();
    const QImage& PageImage(std::size_t index);
    void ApplyZoom(double pixelsPerMm);
    void Refit();

    enum class Fit { None, Width, Page };

    static constexpr int kGap = 12;
    static constexpr qsizetype kCacheBytes = 24 << 20;

    const TFQRAPrint& report_;
    double printerDpi_;
    double zoom_ = 3.0;
    Fit fit_ = Fit::Width;
    std::size_t drawn_ = 0;
    std::size_t shownPage_ = 0;
    std::list<std::pair<std::size_t, QImage>> cache_;  // most recent first
};

class ReportPreview : public QDialog {
    Q_OBJECT
public:
    // The printer is set up for the report; the print button prints on it.
    ReportPreview(const TFQRAPrint& report, QPrinter& printer, QWidget* parent = nullptr);

    void ApplyCaptions();
    ReportPageView* View() const { return view_; }
    // The printer dialog, then the report printed on the printer chosen.
    void Print();

private:
    void PageChanged(std::size_t index);

    const TFQRAPrint& report_;
    QPrinter& printer_;
    ReportPageView* view_;
    QToolBar* bar_;
    QAction *first_, *prior_, *next_, *last_, *zoomIn_, *zoomOut_, *fitWidth_, *fitPage_, *print_;
    QSpinBox* page_;
    QLabel* count_;
};

}  // namespace kolvex::ui
