// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/SummaryPage.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

#include "base/DateTime.h"
#include "base/ui/ErrorDisplay.h"

namespace kolvex::ui {

using namespace kolvex::report;

namespace {

constexpr double kPrintableHeight = kPageHeight - kMarginTop - kMarginBottom;
constexpr double kChartTop = kTitleHeight + 2, kChartHeight = 62;
constexpr double kChartLeft = 14, kChartRight = kPrintableWidth - 14;
constexpr double kRow = 3.7;
// The viewer's default colours of the two series.
const QColor kSeriesColour[2] = {QColor(255, 0, 0), QColor(0, 128, 0)};

QFont Font(double pointSize, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

std::string Short(double t) {
    const std::string s = FormatDayFirst(t);
    return s.substr(0, s.size() >= 3 ? s.size() - 3 : s.size());  // without the seconds
}

}  // namespace

SummaryPageData MakeSummaryPage(kolvex::Table& table, const kolvex::ArchiveParameterRecord& record,
                                const kolvex::ReportInput& input, double deltaHOverR, char decimalSeparator) {
    SummaryPageData page;
    page.Input = input;
    page.DecimalSeparator = decimalSeparator;
    const kolvex::PeriodSummary s =
        kolvex::SummariseTable(table, record, kolvex::SummaryPeriodOf(input.Start, input.End), deltaHOverR);
    page.Doc = kolvex::MakeSummaryDocument(s, input.Language);
    page.Chart = kolvex::CollectSummaryChart(table, s);
    return page;
}

namespace {

// Puts one line of text at a position in millimetres, aligned at x.
class PageText {
public:
    PageText(QPainter& p, double k) : p_(p), k_(k) {}
    void operator()(double x, double y, const std::string& t, double size, bool bold, const QColor& c = Qt::black,
                    int align = Qt::AlignLeft) const {
        p_.setFont(Font(size, bold));
        p_.setPen(c);
        const double w = 80;
        const double k = k_;
        const QRectF r = align == Qt::AlignRight ? QRectF((x - w) * k, y * k, w * k, 6 * k)
                         : align == Qt::AlignHCenter ? QRectF((x - w / 2) * k, y * k, w * k, 6 * k)
                                                     : QRectF(x * k, y * k, kPrintableWidth * k, 6 * k);
        p_.drawText(r, align | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, Q(t));
    }

private:
    QPainter& p_;
    double k_;
};

// One input's curve, its limits and its axis labels: the first input on the
// left axis, the second on the right.
void PaintChartSeries(QPainter& p, double k, const PageText& text, const QRectF& frame, const kolvex::SummaryChart& ch,
                      std::size_t sIdx, char decimalSeparator) {
    const double span = ch.End - ch.Start;
    auto xOf = [&](double t) { return frame.left() + (t - ch.Start) / span * frame.width(); };
    const kolvex::SummaryChartSeries& ser = ch.Series[sIdx];
    const QColor colour = kSeriesColour[sIdx];
    double lo = ser.Min, hi = ser.Max;
    if (!(hi > lo)) {
        lo -= 1;
        hi += 1;
    }
    const double margin = (hi - lo) / 20;
    lo -= margin;
    hi += margin;
    auto yOf = [&](double v) { return frame.bottom() - (v - lo) / (hi - lo) * frame.height(); };
    const int dec = std::clamp(ser.Input.Decimals, 0, 3);
    auto num = [&](double v) {
        std::string s = QString::number(v, 'f', dec).toStdString();
        for (char& c : s)
            if (c == '.') c = decimalSeparator;
        return s;
    };
    const bool left = sIdx == 0;
    const double axisX = left ? kChartLeft - 0.8 : kChartRight + 0.8;
    const int align = left ? Qt::AlignRight : Qt::AlignLeft;
    for (double v : {lo + margin, hi - margin}) text(axisX, yOf(v) / k - 1.5, num(v), 6.5, false, colour, align);
    text(left ? kChartLeft : kChartRight, kChartTop - 4, ser.Input.Name + (ser.Input.Unit.empty() ? "" : " (" + ser.Input.Unit + ")"),
         7, true, colour, left ? Qt::AlignLeft : Qt::AlignRight);
    p.save();
    p.setClipRect(frame);
    QPen limitPen(colour, 0.3 * k, Qt::DashLine);
    for (const auto& lim : {ser.Input.Low, ser.Input.High}) {
        if (!lim) continue;
        p.setPen(limitPen);
        p.drawLine(QPointF(frame.left(), yOf(*lim)), QPointF(frame.right(), yOf(*lim)));
    }
    QPainterPath path;
    bool open = false;
    for (std::size_t i = 0; i < ser.Time.size(); ++i) {
        if (std::isnan(ser.Value[i])) {
            open = false;
            continue;
        }
        const QPointF pt(xOf(ser.Time[i]), yOf(ser.Value[i]));
        if (open) path.lineTo(pt);
        else path.moveTo(pt);
        open = true;
    }
    p.setPen(QPen(colour, 0.25 * k));
    p.drawPath(path);
    p.restore();
    for (const auto& lim : {ser.Input.Low, ser.Input.High})
        if (lim) text(axisX, yOf(*lim) / k - 1.5, num(*lim), 6.5, true, colour, align);
}

// The chart's frame, its time labels and up to two series.
void PaintChart(QPainter& p, double k, const PageText& text, const kolvex::SummaryChart& ch, char decimalSeparator) {
    const QRectF frame(kChartLeft * k, kChartTop * k, (kChartRight - kChartLeft) * k, kChartHeight * k);
    p.setPen(QPen(Qt::black, 0.2 * k));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
    const double span = ch.End - ch.Start;
    for (int i = 0; i <= 4; ++i) {
        const double t = ch.Start + span * i / 4;
        const double x = (frame.left() + (t - ch.Start) / span * frame.width()) / k;
        text(x, kChartTop + kChartHeight + 0.8, Short(t), 7, false, Qt::black,
             i == 0 ? Qt::AlignLeft : i == 4 ? Qt::AlignRight : Qt::AlignHCenter);
    }
    for (std::size_t sIdx = 0; sIdx < ch.Series.size() && sIdx < 2; ++sIdx)
        PaintChartSeries(p, k, text, frame, ch, sIdx, decimalSeparator);
}

// One section of the summary from y on, as far as the footer leaves room;
// gives the y below it.
double PaintSection(const PageText& text, const kolvex::SummarySection& sec, double y, double footer, char dec,
                    kolvex::Lang language) {
    text(0, y, sec.Title, 9, true, QColor(0, 0, 128));
    y += kRow + 0.8;
    const std::size_t cols = std::max(sec.Heading.size(), sec.Rows.empty() ? 0 : sec.Rows.front().size());
    // Label rows: the label, then the values; lists: equal columns.
    std::vector<double> x;
    if (sec.Heading.empty() || sec.Heading.front().empty()) {
        x.push_back(0);
        for (std::size_t c = 1; c < cols; ++c) x.push_back(70 + 52 * static_cast<double>(c - 1));
    } else {
        for (std::size_t c = 0; c < cols; ++c) x.push_back(kPrintableWidth * static_cast<double>(c) / static_cast<double>(cols));
    }
    if (!sec.Heading.empty()) {
        for (std::size_t c = 0; c < sec.Heading.size(); ++c) text(x[c], y, sec.Heading[c], 8, true);
        y += kRow;
    }
    std::size_t shown = 0;
    for (const auto& row : sec.Rows) {
        if (y + 2 * kRow > footer) break;
        for (std::size_t c = 0; c < row.size() && c < x.size(); ++c)
            text(x[c], y, kolvex::SummaryCellText(row[c], dec), 8, false);
        y += kRow;
        ++shown;
    }
    if (shown < sec.Rows.size()) {
        text(0, y, Tr(language, "… a dalších ", "… and ") + std::to_string(sec.Rows.size() - shown) +
                       Tr(language, " řádků", " more rows"), 8, false);
        y += kRow;
    }
    return y + 1.5;
}

}  // namespace

void PaintSummaryPage(QPainter& p, double k, const SummaryPageData& page, int pageNumber) {
    const PageText text(p, k);
    for (const TextItem& t : ReportTitleItems(page.Input)) text(t.Left, t.Top, t.Text, t.PointSize, t.Bold);
    PaintChart(p, k, text, page.Chart, page.DecimalSeparator);

    // The summary's sections.
    double y = kChartTop + kChartHeight + 6;
    const double footer = kPrintableHeight - kFooterHeight;
    for (const kolvex::SummarySection& sec : page.Doc.Sections) {
        if (y + 2 * kRow > footer) break;
        y = PaintSection(text, sec, y, footer, page.DecimalSeparator, page.Input.Language);
    }

    QPen thick(Qt::black);
    thick.setWidthF(0.53 * k);
    p.setPen(thick);
    p.drawLine(QPointF(0, (footer + 2.1) * k), QPointF(kPrintableWidth * k, (footer + 2.1) * k));
    p.setPen(Qt::black);
    for (const TextItem& t : ReportFooterItems(page.Input, pageNumber)) text(t.Left, footer + t.Top, t.Text, t.PointSize, t.Bold);
}

}  // namespace kolvex::ui
