// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/StatisticsPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <cmath>

#include "archive/SummaryReport.h"
#include "archive/ui/ViewerChart.h"
#include "base/DateTime.h"
#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/ErrorDisplay.h"

namespace kolvex::ui {

namespace {
constexpr int kDelayMs = 250;
const QColor kCursorColour[2] = {QColor(0, 0, 200), QColor(160, 0, 160)};
}  // namespace

StatisticsPanel::StatisticsPanel(kolvex::TADM& adm, ViewerChart* chart, QWidget* parent)
    : QWidget(parent), adm_(adm), chart_(chart) {
    setObjectName(QStringLiteral("Stat_P"));
    title_ = new QLabel(this);
    title_->setWordWrap(true);
    figures_ = new QTableWidget(this);
    figures_->setObjectName(QStringLiteral("StatFigures"));
    excursionsL_ = new QLabel(this);
    excursions_ = new QTableWidget(this);
    excursions_->setObjectName(QStringLiteral("StatExcursions"));
    for (QTableWidget* t : {figures_, excursions_}) {
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->verticalHeader()->hide();
        t->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->setWordWrap(false);
    }
    connect(excursions_, &QTableWidget::cellClicked, this, [this](int row, int) { ShowExcursion(row); });

    auto* cursorRow = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        cursorSB_[i] = new QToolButton(this);
        cursorSB_[i]->setObjectName(i == 0 ? QStringLiteral("StatCursorA_SB") : QStringLiteral("StatCursorB_SB"));
        cursorSB_[i]->setCheckable(true);
        cursorSB_[i]->setText(i == 0 ? QStringLiteral("A") : QStringLiteral("B"));
        connect(cursorSB_[i], &QToolButton::toggled, this, [this, i](bool on) {
            if (on) {
                arming_ = i;
                cursorSB_[1 - i]->setChecked(false);
            } else if (arming_ == i) {
                arming_ = -1;
            }
        });
        cursorRow->addWidget(cursorSB_[i]);
    }
    cursorRow->addStretch(1);
    cursorL_ = new QLabel(this);
    cursorL_->setObjectName(QStringLiteral("StatCursor_L"));
    cursorL_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(title_);
    column->addWidget(figures_, 3);
    column->addWidget(excursionsL_);
    column->addWidget(excursions_, 2);
    column->addLayout(cursorRow);
    column->addWidget(cursorL_);

    delay_ = new QTimer(this);
    delay_->setSingleShot(true);
    delay_->setInterval(kDelayMs);
    connect(delay_, &QTimer::timeout, this, &StatisticsPanel::Refresh);
    // Zoom and scroll: the summary follows the visible period.
    connect(chart_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange&) {
        if (isVisible()) delay_->start();
    });
    chart_->installEventFilter(this);
    ApplyCaptions();
}

void StatisticsPanel::ApplyCaptions() {
    excursionsL_->setText(Tx("Překročení mezí alarmu (klepnutím zobrazíte v grafu)",
                             "Alarm excursions (click to show in the chart)"));
    cursorSB_[0]->setToolTip(Tx("Kurzor A: klepněte do grafu", "Cursor A: click into the chart"));
    cursorSB_[1]->setToolTip(Tx("Kurzor B: klepněte do grafu", "Cursor B: click into the chart"));
    Fill();
    UpdateCursors();
}

void StatisticsPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void StatisticsPanel::Refresh() {
    delay_->stop();
    kolvex::Table& t = adm_.Table1;
    summary_ = {};
    if (t.IsOpen() && !t.ControlsDisabled()) {
        const kolvex::AxisRange r = chart_->BottomRange();
        try {
            summary_ = kolvex::SummariseTable(t, adm_.ParameterRecord, {false, r.Min, r.Max});
        } catch (const std::exception&) {
            summary_ = {};  // a table that cannot be read shows no figures
        }
    }
    Fill();
}

void StatisticsPanel::Fill() {
    const kolvex::Lang lang = kolvex::CurrentLanguage();
    const char dec = kolvex::DecimalSeparator();
    title_->setText(QStringLiteral("<b>%1</b><br>%2")
                        .arg(Tx("Statistika zobrazeného období", "Statistics of the period shown"),
                             Q(summary_.All ? std::string() : kolvex::SummaryPeriodText(summary_, lang))));
    const kolvex::SummaryDocument doc = kolvex::MakeSummaryDocument(summary_, lang);
    // The period's rows and the inputs' figures in one table: label, then a
    // column per input.
    int columns = 2;
    for (const kolvex::SummarySection& sec : doc.Sections)
        if (sec.Title == doc.Sections[1].Title) columns = std::max<int>(columns, static_cast<int>(sec.Heading.size()));
    figures_->clear();
    figures_->setColumnCount(columns);
    QStringList heading;
    for (int c = 0; c < columns; ++c)
        heading << (c < static_cast<int>(doc.Sections[1].Heading.size()) ? Q(doc.Sections[1].Heading[c]) : QString());
    figures_->setHorizontalHeaderLabels(heading);
    std::vector<std::vector<kolvex::SummaryCell>> rows;
    for (std::size_t s = 0; s < 2 && s < doc.Sections.size(); ++s)
        for (const auto& r : doc.Sections[s].Rows)
            if (!(s == 0 && r.size() > 1 && r[0].Label == doc.Sections[0].Rows[0][0].Label)) rows.push_back(r);
    figures_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[r].size()) && c < columns; ++c) {
            auto* item = new QTableWidgetItem(Q(kolvex::SummaryCellText(rows[r][c], dec)));
            if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            else item->setToolTip(item->text());  // the label may be cut short
            figures_->setItem(r, c, item);
        }
    // The values keep their width; the labels take what is left.
    figures_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    figures_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);

    // The excursions of all inputs, each with its period for the click.
    rows_.clear();
    const kolvex::SummarySection* exc = doc.Sections.size() > 2 ? &doc.Sections[2] : nullptr;
    excursions_->clear();
    excursions_->setColumnCount(exc ? static_cast<int>(exc->Heading.size()) : 0);
    if (exc) {
        QStringList h;
        for (const std::string& s : exc->Heading) h << Q(s);
        excursions_->setHorizontalHeaderLabels(h);
    }
    for (const kolvex::InputSummary& in : summary_.Inputs)
        for (const kolvex::Excursion& e : in.Excursions) rows_.push_back({e.Start, e.End});
    excursions_->setRowCount(static_cast<int>(rows_.size()));
    if (exc && !rows_.empty())
        for (int r = 0; r < static_cast<int>(exc->Rows.size()) && r < static_cast<int>(rows_.size()); ++r)
            for (int c = 0; c < static_cast<int>(exc->Rows[r].size()); ++c)
                excursions_->setItem(r, c, new QTableWidgetItem(Q(kolvex::SummaryCellText(exc->Rows[r][c], dec))));
    excursions_->resizeColumnsToContents();
}

void StatisticsPanel::ShowExcursion(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const auto [start, end] = rows_[static_cast<std::size_t>(row)];
    // The excursion in the middle, with as much time either side as it lasts
    // (at least an hour in all).
    const double pad = std::max((end - start), 1.0 / 48);
    chart_->ShowPeriod(start - pad, end + pad);
}

bool StatisticsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && arming_ >= 0 && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && chart_->axisRect()->rect().contains(me->pos())) {
            const int which = arming_;
            SetCursor(which, chart_->xAxis->pixelToCoord(me->position().x()));
            cursorSB_[which]->setChecked(false);
            return true;  // the click places the cursor and does not drag
        }
    }
    return QWidget::eventFilter(watched, event);
}

void StatisticsPanel::SetCursor(int which, double time) {
    if (which < 0 || which > 1) return;
    if (!line_[which]) {
        line_[which] = new QCPItemStraightLine(chart_);
        line_[which]->setPen(QPen(kCursorColour[which], 1.5, Qt::DashDotLine));
        line_[which]->setLayer(QStringLiteral("overlay"));
    }
    at_[which] = time;
    placed_[which] = true;
    line_[which]->point1->setCoords(time, 0);
    line_[which]->point2->setCoords(time, 1);
    UpdateCursors();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

bool StatisticsPanel::ValueAt(const QCPGraph* g, double t, double& value) {
    if (!g || g->data()->isEmpty()) return false;
    auto it = g->data()->findEnd(t, false);  // the first point after t
    if (it == g->data()->constBegin()) return false;
    --it;
    if (std::isnan(it->value)) return false;
    value = it->value;
    return true;
}

QString StatisticsPanel::CursorText() const { return cursorL_->text(); }

void StatisticsPanel::UpdateCursors() {
    QStringList lines;
    const QCPGraph* graphs[2] = {chart_->Series1(), chart_->Series2()};
    const char dec = kolvex::DecimalSeparator();
    auto num = [dec](double v, int decimals) {
        QString s = QString::number(v, 'f', decimals);
        return s.replace(QLatin1Char('.'), QLatin1Char(dec));
    };
    for (int i = 0; i < 2; ++i) {
        if (!placed_[i]) continue;
        QString line = QStringLiteral("%1: %2").arg(i == 0 ? QStringLiteral("A") : QStringLiteral("B"),
                                                   Q(kolvex::FormatDayFirst(at_[i])));
        for (const QCPGraph* g : graphs) {
            double v = 0;
            if (g && g->visible() && ValueAt(g, at_[i], v)) line += QStringLiteral("   ") + num(v, 2);
        }
        lines << line;
    }
    if (placed_[0] && placed_[1]) {
        lines << Tx("B − A: ", "B − A: ") + Q(kolvex::DurationText(std::abs(at_[1] - at_[0]) * 86400.0)) +
                     (at_[1] < at_[0] ? QStringLiteral(" (−)") : QString());
        for (int k = 0; k < 2; ++k) {
            const QCPGraph* g = graphs[k];
            double a = 0, b = 0;
            if (!g || !g->visible() || !ValueAt(g, at_[0], a) || !ValueAt(g, at_[1], b)) continue;
            const QString axis = (k == 0 ? chart_->yAxis : chart_->yAxis2)->label();
            const QString name = axis.isEmpty() ? Tx("Vstup %1", "Input %1").arg(k + 1) : axis;
            lines << QStringLiteral("Δ %1: %2").arg(name, num(b - a, 2));
        }
    }
    if (lines.isEmpty()) lines << Tx("Kurzory: stiskněte A nebo B a klepněte do grafu.",
                                     "Cursors: press A or B, then click into the chart.");
    cursorL_->setText(lines.join(QLatin1Char('\n')));
}

}  // namespace kolvex::ui
