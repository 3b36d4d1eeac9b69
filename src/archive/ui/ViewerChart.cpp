// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/ViewerChart.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TFProgress.h"
#include "archive/FileOps.h"
#include "archive/ui/ViewerSupport.h"

namespace kolvex::ui {

namespace {

// The index of the data point nearest to key, or -1 without data.
int Nearest(const QCPGraph* g, double key) {
    const auto data = g->data();
    if (data->isEmpty()) return -1;
    auto it = data->findBegin(key, false);
    if (it == data->constEnd()) return data->size() - 1;
    int i = static_cast<int>(it - data->constBegin());
    if (i > 0 && std::abs((it - 1)->key - key) <= std::abs(it->key - key)) --i;
    return i;
}

}  // namespace

ViewerChart::ViewerChart(TADM& adm, QWidget* parent) : QCustomPlot(parent), adm_(adm) { Build(); }

void ViewerChart::Build() {
    setObjectName(QStringLiteral("Graf_Ch"));
    legend->setVisible(false);
    setPlottingHint(QCP::phFastPolylines, true);
    setNoAntialiasingOnDrag(true);
    setMinimumHeight(120);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    setLocale(locale);

    // The title row: left-aligned, blue, bold, 16 pixels.
    plotLayout()->insertRow(0);
    auto* title = new QCPTextElement(this);
    title->setObjectName(QStringLiteral("Title"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    title->setMargins(QMargins(8, 6, 8, 2));
    plotLayout()->addElement(0, 0, title);

    // The bottom axis: date-time values, labels on two lines; no top axis.
    ticker_ = QSharedPointer<DayTicker>(new DayTicker);
    xAxis->setTicker(ticker_);
    xAxis2->setVisible(false);
    yAxis2->setVisible(true);
    yAxis2->setTickLabels(true);
    for (QCPAxis* axis : {yAxis, yAxis2}) {
        QFont f = axis->labelFont();
        f.setBold(true);
        axis->setLabelFont(f);
    }

    series1_ = addGraph(xAxis, yAxis);
    series1_->setName(QStringLiteral("Series1"));
    series1_->setPen(QPen(Qt::red, 1));
    series1_->setAdaptiveSampling(true);
    series2_ = addGraph(xAxis, yAxis2);
    series2_->setName(QStringLiteral("Series2"));
    series2_->setPen(QPen(QColor(0, 128, 0), 2));
    series2_->setAdaptiveSampling(true);

    // The hover cross-hair on its own layer, so moving it redraws only itself.
    addLayer(QStringLiteral("crosshair"), layer(QStringLiteral("main")), QCustomPlot::limAbove);
    QCPLayer* crossLayer = layer(QStringLiteral("crosshair"));
    crossLayer->setMode(QCPLayer::lmBuffered);
    crossV_ = new QCPItemStraightLine(this);
    crossH_ = new QCPItemStraightLine(this);
    for (QCPItemStraightLine* line : {crossV_, crossH_}) {
        line->setLayer(crossLayer);
        line->setClipToAxisRect(true);
        line->setVisible(false);
        line->setSelectable(false);
    }
    tracer1_ = new QCPItemTracer(this);
    tracer2_ = new QCPItemTracer(this);
    tracer1_->position->setAxes(xAxis, yAxis);
    tracer2_->position->setAxes(xAxis, yAxis2);
    for (QCPItemTracer* t : {tracer1_, tracer2_}) {
        t->setLayer(crossLayer);
        t->setStyle(QCPItemTracer::tsCircle);
        t->setSize(7);
        t->setVisible(false);
        t->setSelectable(false);
    }
    crossText_ = new QCPItemText(this);
    crossText_->setLayer(crossLayer);
    crossText_->setClipToAxisRect(true);
    crossText_->position->setType(QCPItemPosition::ptAbsolute);
    crossText_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    crossText_->setTextAlignment(Qt::AlignLeft);
    crossText_->setPadding(QMargins(6, 4, 6, 4));
    crossText_->setVisible(false);
    crossText_->setSelectable(false);

    // A chart of many points is shown at the detail of its view.
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (data_.Detail.Reduced() && !loading_) ShowDetail();
    });
    connect(this, &QCustomPlot::mousePress, this, &ViewerChart::MousePress);
    connect(this, &QCustomPlot::mouseMove, this, &ViewerChart::MouseMove);
    connect(this, &QCustomPlot::mouseRelease, this, &ViewerChart::MouseRelease);
    connect(this, &QCustomPlot::mouseWheel, this, &ViewerChart::Wheel);
    connect(this, &QCustomPlot::mouseDoubleClick, this, &ViewerChart::ResetZoom);
    setMouseTracking(true);
    // Ctrl+drag or a drag with the right button draws the rectangle to zoom to.
    setSelectionRectMode(QCP::srmNone);
    connect(selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& rect, QMouseEvent*) { ZoomToRectangle(rect); });
    ApplyPaletteColours();

    // Both vertical axes neutral until a table is shown.
    ApplyAxisLook(yAxis, series1_, looks_.Left);
    ApplyAxisLook(yAxis2, series2_, looks_.Right);
    xAxis->setRange(0, 1);
}

bool ViewerChart::event(QEvent* e) {
    if (e->type() == QEvent::Leave && !dragging_) HideCrossHair();
    if (e->type() == QEvent::PaletteChange && crossText_) {
        ApplyPaletteColours();
        Replot();
    }
    if (e->type() == QEvent::Resize && ticker_) UpdateTickCount();
    return QCustomPlot::event(e);
}

// ---- settings and loading ---------------------------------------------------------

void ViewerChart::ApplyAxisLook(QCPAxis* axis, QCPGraph* series, const ChartAxisLook& look) {
    const QColor colour = ColourFromRecord(look.Colour);
    const QColor c = look.Neutral ? ChartColoursOf(palette()).Text : colour;
    axis->setLabel(look.Neutral ? QString() : Q(look.Title));
    axis->setLabelColor(c);
    axis->setBasePen(QPen(c));
    axis->setTickPen(QPen(c));
    axis->setSubTickPen(QPen(c));
    axis->setTickLabelColor(c);
    if (series && !look.Neutral) {
        QPen pen = series->pen();
        pen.setColor(colour);
        series->setPen(pen);
    }
    if (!look.Automatic) {
        const AxisRange r = MakeRange(look.Min, look.Max);
        axis->setRange(r.Min, r.Max);
    }
}

void ViewerChart::SetTitle() {
    if (auto* title = qobject_cast<QCPTextElement*>(plotLayout()->element(0, 0)))
        title->setText(Q(ChartTitle(adm_.Table1.FileName(), CurrentLanguage())));
}

void ViewerChart::ApplySettings(const PeriodSettings& period) {
    const ChartLooks looks = ChartLooksOf(adm_.ParameterRecord, adm_.Table1.FieldCount());
    const ChartPeriod p = ChartPeriodOf(period);
    allMode_ = p.All;
    if (!allMode_) navigator_.SetLimits(p.Start, p.End);
    SetTitle();
    looks_ = looks;
    ApplyAxisLook(yAxis, looks_.Series[0].Coloured ? series1_ : nullptr, looks_.Left);
    ApplyAxisLook(yAxis2, looks_.Series[1].Coloured ? series2_ : nullptr, looks_.Right);
}

void ViewerChart::ApplyCaptions() {
    setAccessibleName(Tx("Graf archivu", "Archive chart"));
    setAccessibleDescription(
        Tx("Průběh hodnot v čase. Tažení myší posouvá, Ctrl+tažení nebo tažení pravým tlačítkem zvětší vybraný "
           "obdélník, dvojklik vrátí 100 %, kolečko zvětšuje kolem ukazatele; z klávesnice tlačítky nad grafem.",
           "The values over time. Dragging scrolls, Ctrl+drag or a right-button drag zooms to the rectangle, a "
           "double-click goes back to 100 %, the wheel zooms around the pointer; from the keyboard with the buttons "
           "above the chart."));
    // The chart title follows the language.
    if (!adm_.Table1.IsOpen()) return;
    SetTitle();
    Replot();
}

void ViewerChart::Fill(const PeriodSettings& period) {
    Table& t = adm_.Table1;
    if (!t.IsOpen()) return;
    ApplySettings(period);
    HideCrossHair();
    // The ranges set while loading do not ask for the detail one by one.
    loading_ = true;
    struct Loaded {
        bool& flag;
        ~Loaded() { flag = false; }
    } loaded{loading_};

    TFProgress progress(this);
    progress.SetMessage(QStringLiteral("Načítání grafu"), true);  // both languages
    progress.show();
    series1_->data()->clear();
    series2_->data()->clear();
    // The progress window follows the share of records passed; it is
    // redrawn (and the abort button read) when the share changes, at most
    // every 20 ms, which is often enough for the eye and the hand.
    int shown = -1;
    QElapsedTimer sinceShown;
    const ChartProgress onProgress = [&](int percent) {
        if (percent == shown || (shown >= 0 && sinceShown.elapsed() < 20)) return true;
        shown = percent;
        sinceShown.start();
        QCoreApplication::processEvents();
        return !progress.SetProgress(percent);
    };
    try {
        LoadChartData(t, adm_.ParameterRecord, looks_, ChartPeriodOf(period), onProgress, data_);
    } catch (...) {
        progress.close();
        throw;
    }
    progress.close();

    navigator_.SetLimits(data_.Bottom.Min, data_.Bottom.Max);
    xAxis->setRange(data_.Bottom.Min, data_.Bottom.Max);
    // Remembered for the 100 % vertical button.
    leftRemembered_ = data_.Left;
    rightRemembered_ = data_.Right;
    yAxis->setRange(leftRemembered_.Min, leftRemembered_.Max);
    yAxis2->setRange(rightRemembered_.Min, rightRemembered_.Max);

    loading_ = false;
    ShowDetail();
    UpdateTickCount();
    Replot();
}

int ViewerChart::PlotPixels() const {
    const int width = axisRect()->width() > 0 ? axisRect()->width() : this->width();
    return std::max(width, 100);
}

void ViewerChart::ShowDetail() {
    std::vector<ChartPoint> points[2];
    const QCPRange view = xAxis->range();
    ChartViewPoints(adm_.Table1, data_, view.lower, view.upper, PlotPixels(), points);
    QCPGraph* series[2] = {series1_, series2_};
    for (int k = 0; k < 2; ++k) {
        if (data_.Column[k] < 0) {
            series[k]->data()->clear();
            continue;
        }
        QVector<QCPGraphData> d;
        d.reserve(static_cast<qsizetype>(points[k].size()));
        for (const ChartPoint& p : points[k]) d.append(QCPGraphData(p.Key, p.Value));
        series[k]->data()->set(d, data_.Sorted());
    }
}

void ViewerChart::UpdateTickCount() {
    // Labels keep a gap of 30 % of their own width.
    const QFontMetrics fm(xAxis->tickLabelFont());
    const int label = fm.horizontalAdvance(QStringLiteral("00/00.00"));
    const int width = axisRect()->width() > 0 ? axisRect()->width() : this->width();
    ticker_->setTickCount(std::max(2, static_cast<int>(width / (label * 1.3))));
}

void ViewerChart::Replot() { replot(QCustomPlot::rpQueuedReplot); }

// ---- navigation ---------------------------------------------------------------------

AxisRange ViewerChart::BottomRange() const { return {xAxis->range().lower, xAxis->range().upper}; }
AxisRange ViewerChart::LeftRange() const { return {yAxis->range().lower, yAxis->range().upper}; }
AxisRange ViewerChart::RightRange() const { return {yAxis2->range().lower, yAxis2->range().upper}; }

void ViewerChart::SetBottomRange(const AxisRange& r) {
    const AxisRange m = MakeRange(r.Min, r.Max);
    xAxis->setRange(m.Min, m.Max);
    HideCrossHair();
    Replot();
}

void ViewerChart::ToStart() { SetBottomRange(navigator_.ToStart(BottomRange())); }
void ViewerChart::ToEnd() { SetBottomRange(navigator_.ToEnd(BottomRange())); }
void ViewerChart::ZoomOut() { SetBottomRange(navigator_.ZoomOut(BottomRange())); }
void ViewerChart::ZoomIn() { SetBottomRange(navigator_.ZoomIn(BottomRange())); }
void ViewerChart::FullWidth() { SetBottomRange(navigator_.FullWidth()); }

void ViewerChart::FullHeight() {
    yAxis->setRange(leftRemembered_.Min, leftRemembered_.Max);
    yAxis2->setRange(rightRemembered_.Min, rightRemembered_.Max);
    Replot();
}

void ViewerChart::Press(int direction) { navigator_.Press(direction, BottomRange()); }
void ViewerChart::StepOnce() { SetBottomRange(navigator_.Step(BottomRange())); }
void ViewerChart::ShowPeriod(double start, double end) { SetBottomRange(Limited({start, end})); }

AxisRange ViewerChart::Limited(AxisRange r) const {
    const double start = navigator_.ChartStart(), end = navigator_.ChartEnd();
    r = MakeRange(r.Min, r.Max);
    if (r.Span() >= end - start) return MakeRange(start, end);
    if (r.Min < start) r = {start, start + r.Span()};
    if (r.Max > end) r = {end - r.Span(), end};
    return r;
}

// ---- printing -------------------------------------------------------------------------

void ViewerChart::Print() {
    // Screen resolution: the chart's fonts keep their size relative to the
    // drawing (the output itself stays vector graphics).
    QPrinter printer(QPrinter::ScreenResolution);
    if (!printFile_.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile_);
    } else if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        // Without a printer the set-up offers a PDF file beside the table.
        printer.setOutputFileName(Q(ReplaceExtension(adm_.Table1.Path(), ".pdf")));
    }
    printer.setPageOrientation(QPageLayout::Landscape);
    // The printer set-up: the printer (or a PDF file), paper and orientation.
    QPrintDialog psd(&printer, this);
    psd.setObjectName(QStringLiteral("PSD"));
    psd.setOption(QAbstractPrintDialog::PrintToFile, true);
    psd.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (RunModal(psd) != QDialog::Accepted) return;

    HideCrossHair();
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        ShowError(this, Tx("Tisk grafu se nezdařil", "The graph was not printed"));
        return;
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // Margins of 10 % of the page on all four sides; the chart is drawn at
    // its size on the screen and scaled to the rest of the page.
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF area(page.width() * 0.10, page.height() * 0.10, page.width() * 0.80, page.height() * 0.80);
    const int logicalWidth = std::max(600, width());
    const double scale = area.width() / logicalWidth;
    const int logicalHeight = static_cast<int>(area.height() / scale);
    painter.translate(area.topLeft());
    painter.scale(scale, scale);
    toPainter(&painter, logicalWidth, logicalHeight);
    painter.end();
}

// ---- the mouse --------------------------------------------------------------------------

void ViewerChart::MousePress(QMouseEvent* event) {
    if (StartRectangleZoom(event)) return;
    if (event->button() != Qt::LeftButton || !Usable()) return;
    if (!axisRect()->rect().contains(event->pos())) return;
    dragging_ = true;
    dragStartX_ = event->pos().x();
    dragStartRange_ = BottomRange();
    setCursor(Qt::ClosedHandCursor);
}

void ViewerChart::MouseMove(QMouseEvent* event) {
    if (dragging_) {
        const int width = std::max(1, axisRect()->width());
        const double delta = -(event->pos().x() - dragStartX_) * dragStartRange_.Span() / width;
        const AxisRange view = BottomRange();
        // Only a view inside the chart is kept there; a view zoomed out
        // beyond it moves freely.
        AxisRange moved{dragStartRange_.Min + delta, dragStartRange_.Max + delta};
        if (view.Span() < ChartEnd() - ChartStart()) moved = Limited(moved);
        xAxis->setRange(moved.Min, moved.Max);
        HideCrossHair();
        Replot();
        return;
    }
    ShowCrossHair(event->pos().x(), event->pos().y());
}

void ViewerChart::MouseRelease(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    unsetCursor();
}

void ViewerChart::Wheel(QWheelEvent* event) {
    if (!Usable()) return;
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    const AxisRange view = BottomRange();
    const double centre = xAxis->pixelToCoord(event->position().x());
    const double factor = std::pow(0.85, steps);
    AxisRange r{centre - (centre - view.Min) * factor, centre + (view.Max - centre) * factor};
    xAxis->setRange(Limited(r).Min, Limited(r).Max);
    event->accept();
    ShowCrossHair(event->position().x(), event->position().y());
    Replot();
}

// The chart draws the rectangle itself when its mode is set before it takes
// the press (the press signal comes first): Ctrl with the left button, or the
// right button, inside the plot.
bool ViewerChart::StartRectangleZoom(QMouseEvent* event) {
    const bool rectangle = Usable() && axisRect()->rect().contains(event->pos()) &&
                           (event->button() == Qt::RightButton ||
                            (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier)));
    setSelectionRectMode(rectangle ? QCP::srmCustom : QCP::srmNone);
    if (rectangle) HideCrossHair();
    return rectangle;
}

void ViewerChart::ZoomToRectangle(const QRect& rect) {
    setSelectionRectMode(QCP::srmNone);
    // A click or a line is no rectangle to zoom to.
    if (rect.width() < 4 || rect.height() < 4 || !Usable()) return;
    const QRect r = rect.normalized();
    const AxisRange bottom = Limited({xAxis->pixelToCoord(r.left()), xAxis->pixelToCoord(r.right())});
    xAxis->setRange(bottom.Min, bottom.Max);
    for (QCPAxis* axis : {yAxis, yAxis2}) {
        const AxisRange v = MakeRange(axis->pixelToCoord(r.bottom()), axis->pixelToCoord(r.top()));
        axis->setRange(v.Min, v.Max);
    }
    HideCrossHair();
    Replot();
}

void ViewerChart::ResetZoom(QMouseEvent* event) {
    if (!Usable() || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    unsetCursor();
    FullHeight();
    FullWidth();
}

// ---- colours from the palette -----------------------------------------------------------

void ViewerChart::ApplyPaletteColours() {
    ApplyChartPalette(this);
    const ChartColours c = ChartColoursOf(palette());
    if (auto* title = qobject_cast<QCPTextElement*>(plotLayout()->element(0, 0))) title->setTextColor(c.Title);
    for (QCPItemStraightLine* line : {crossV_, crossH_}) line->setPen(QPen(c.CrossHair, 1, Qt::DashLine));
    crossText_->setBrush(c.NoteBack);
    crossText_->setPen(QPen(c.CrossHair));
    crossText_->setColor(c.NoteText);
    // A vertical axis without data keeps no colour of its own.
    const std::pair<QCPAxis*, bool> neutral[2] = {{yAxis, looks_.Left.Neutral}, {yAxis2, looks_.Right.Neutral}};
    for (const auto& [axis, isNeutral] : neutral) {
        if (!isNeutral) continue;
        axis->setLabelColor(c.Text);
        axis->setBasePen(QPen(c.Text));
        axis->setTickPen(QPen(c.Text));
        axis->setSubTickPen(QPen(c.Text));
        axis->setTickLabelColor(c.Text);
    }
}

// ---- the cross-hair -------------------------------------------------------------------------

void ViewerChart::HideCrossHair() {
    if (!crossV_ || !crossV_->visible()) return;
    for (QCPAbstractItem* item : std::initializer_list<QCPAbstractItem*>{crossV_, crossH_, tracer1_, tracer2_, crossText_})
        item->setVisible(false);
    crossText_->setText(QString());
    layer(QStringLiteral("crosshair"))->replot();
}

void ViewerChart::ShowCrossHair(double x, double y) {
    if (!Usable() || !axisRect()->rect().contains(QPoint(int(x), int(y)))) {
        HideCrossHair();
        return;
    }
    const double key = xAxis->pixelToCoord(x);
    const QCPGraph* main = !series1_->data()->isEmpty() ? series1_ : series2_;
    const int i = Nearest(main, key);
    if (i < 0) {
        HideCrossHair();
        return;
    }
    const double t = (main->data()->constBegin() + i)->key;
    QString text = DateTimeCellText(t);
    const QCPGraph* graphs[2] = {series1_, series2_};
    QCPItemTracer* tracers[2] = {tracer1_, tracer2_};
    for (int k = 0; k < 2; ++k) {
        const int j = Nearest(graphs[k], t);
        if (j < 0) {
            tracers[k]->setVisible(false);
            continue;
        }
        const double v = (graphs[k]->data()->constBegin() + j)->value;
        if (std::isnan(v)) {  // where the line breaks there is no value
            tracers[k]->setVisible(false);
            continue;
        }
        const ChartSeriesLook& s = looks_.Series[k];
        text += QLatin1Char('\n') + Q(s.Label) + QStringLiteral(":") + FloatCellText(v, s.Decimals, s.Unit);
        tracers[k]->position->setCoords((graphs[k]->data()->constBegin() + j)->key, v);
        tracers[k]->setPen(QPen(graphs[k]->pen().color(), 1.5));
        tracers[k]->setBrush(ChartColoursOf(palette()).Background);
        tracers[k]->setVisible(true);
    }
    crossV_->point1->setCoords(t, 0);
    crossV_->point2->setCoords(t, 1);
    crossH_->point1->setType(QCPItemPosition::ptAbsolute);
    crossH_->point2->setType(QCPItemPosition::ptAbsolute);
    crossH_->point1->setCoords(0, y);
    crossH_->point2->setCoords(1, y);
    crossV_->setVisible(true);
    crossH_->setVisible(true);
    crossText_->setText(text);
    // The box stays inside the plot: to the right of the pointer, or to its
    // left near the right edge.
    const QRect area = axisRect()->rect();
    const QFontMetrics fm(crossText_->font());
    const QRect box = fm.boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft, text).adjusted(0, 0, 14, 10);
    double px = xAxis->coordToPixel(t) + 12;
    if (px + box.width() > area.right()) px = xAxis->coordToPixel(t) - 12 - box.width();
    double py = y + 14;
    if (py + box.height() > area.bottom()) py = y - 14 - box.height();
    crossText_->position->setCoords(std::max<double>(area.left() + 2, px), std::max<double>(area.top() + 2, py));
    crossText_->setVisible(true);
    layer(QStringLiteral("crosshair"))->replot();
}

QString ViewerChart::CrossHairText() const {
    return crossText_ && crossText_->visible() ? crossText_->text() : QString();
}

}  // namespace kolvex::ui
