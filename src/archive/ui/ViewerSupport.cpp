// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/ViewerSupport.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>

#include "base/Language.h"
#include "base/ui/ErrorDisplay.h"
#include "logger/Conversion.h"
#include "base/DateTime.h"

namespace kolvex::ui {

namespace {

QChar FirstSeparator(const QString& format, QChar fallback) {
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || c.isLetter() || c.isSpace()) continue;
        return c;
    }
    return fallback;
}


}  // namespace

QChar LocaleDateSeparator() {
    return FirstSeparator(QLocale().dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
}

QChar LocaleTimeSeparator() {
    return FirstSeparator(QLocale().timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
}

QString FloatCellText(double value, int decimals, const std::string& unit) {
    return QString::fromStdString(FormatValueCell(value, decimals, unit, DecimalSeparator()));
}

QString DateTimeCellText(double dateTime) {
    return QString::fromStdString(
        FormatDayFirst(dateTime, " ", LocaleDateSeparator().toLatin1(), LocaleTimeSeparator().toLatin1()));
}

QColor ColourFromRecord(std::int32_t bgr) {
    const auto v = static_cast<std::uint32_t>(bgr);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

std::int32_t ColourToRecord(const QColor& c) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
                                     (static_cast<std::uint32_t>(c.blue()) << 16));
}

DayTicker::DayTicker() : inner_(new QCPAxisTickerDateTime) {
    inner_->setDateTimeSpec(Qt::UTC);
    inner_->setDateTimeFormat(ChartAxisLabelFormat());

}

QString DayTicker::Format() const { return inner_->dateTimeFormat(); }

void DayTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                         QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) {
    // The date-time ticker rounds its step to the nearest calendar step,
    // which may give more labels than asked for; then it is asked for fewer
    // until the labels keep their distance.
    const QCPRange seconds(DaysToSeconds(range.lower), DaysToSeconds(range.upper));
    for (int n = tickCount(); n >= 1; --n) {
        inner_->setTickCount(n);
        inner_->generate(seconds, locale, formatChar, precision, ticks, subTicks, tickLabels);
        const auto shown = std::count_if(ticks.begin(), ticks.end(),
                                         [&](double t) { return t >= seconds.lower && t <= seconds.upper; });
        if (shown <= tickCount()) break;
    }
    for (double& t : ticks) t = SecondsToDays(t);
    if (subTicks)
        for (double& t : *subTicks) t = SecondsToDays(t);
}

QString ChartAxisLabelFormat() {
    // "dd/mm.yy hh:nn:ss" in Qt's notation, one line for the date, one for the time.
    return QStringLiteral("dd") + LocaleDateSeparator() + QStringLiteral("MM.yy\nHH") + LocaleTimeSeparator() +
           QStringLiteral("mm") + LocaleTimeSeparator() + QStringLiteral("ss");
}

ChartColours ChartColoursOf(const QPalette& palette) {
    ChartColours c;
    c.Background = palette.color(QPalette::Base);
    c.Text = palette.color(QPalette::Text);
    const bool dark = c.Background.lightness() < 128;
    // Grid lines a little apart from the background, sub-grid closer to it.
    c.Grid = dark ? c.Background.lighter(190) : QColor(200, 200, 200);
    c.SubGrid = dark ? c.Background.lighter(140) : QColor(225, 225, 225);
    // The title's blue, lighter on a dark background to keep its contrast.
    c.Title = dark ? QColor(120, 160, 255) : QColor(0, 0, 255);
    c.CrossHair = dark ? QColor(170, 170, 170) : QColor(90, 90, 90);
    c.NoteBack = dark ? QColor(60, 60, 52, 235) : QColor(255, 255, 225, 235);
    c.NoteText = dark ? QColor(235, 235, 235) : QColor(0, 0, 0);
    return c;
}

void ApplyChartPalette(QCustomPlot* chart) {
    const ChartColours c = ChartColoursOf(chart->palette());
    chart->setBackground(c.Background);
    chart->axisRect()->setBackground(c.Background);
    for (QCPAxis* axis : chart->axisRect()->axes()) {
        axis->grid()->setPen(QPen(c.Grid, 0, Qt::DotLine));
        axis->grid()->setSubGridPen(QPen(c.SubGrid, 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(Qt::NoPen);
    }
    // The bottom axis carries no data colour: it takes the text colour.
    chart->xAxis->setBasePen(QPen(c.Text));
    chart->xAxis->setTickPen(QPen(c.Text));
    chart->xAxis->setSubTickPen(QPen(c.Text));
    chart->xAxis->setTickLabelColor(c.Text);
    chart->xAxis->setLabelColor(c.Text);
    chart->legend->setBrush(c.Background);
    chart->legend->setTextColor(c.Text);
}

bool QtAnswerer::Confirm(const std::string& question) { return AskYesNo(parent_, BoxText(question)); }

}  // namespace kolvex::ui
