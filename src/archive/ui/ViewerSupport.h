// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pieces of the archive viewer that do not need its window: the cell texts of
// the grid, the regional date and time separators, the colours of the
// parameter file, the chart's date-time ticker and its colours from the
// palette, and the question box of the data module.

#include <QColor>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <string>

#include <qcustomplot.h>

#include "archive/Adm.h"

class QWidget;

namespace kolvex::ui {

// The first separator of the regional short date format ('/' when none) and
// of the time format (':' when none).
QChar LocaleDateSeparator();
QChar LocaleTimeSeparator();

// A floating-point cell: " %6.*f %s" with the descriptor's decimals (limited
// to 0..15 so a damaged parameter file cannot ask for absurd widths), the
// regional decimal separator and the unit.
QString FloatCellText(double value, int decimals, const std::string& unit);
// A date-time cell: "dd/mm/yyyy hh:nn:ss", the '/' and ':' replaced by the
// regional separators.
QString DateTimeCellText(double dateTime);

// 0x00BBGGRR of the parameter file to a colour and back.
QColor ColourFromRecord(std::int32_t bgr);
std::int32_t ColourToRecord(const QColor& c);

// Date-time values (days since 1899-12-30) to seconds since 1970-01-01 as
// wall-clock time, and back. No time zone takes part.
inline constexpr double kUnixEpochDays = 25569.0;
inline double DaysToSeconds(double days) { return (days - kUnixEpochDays) * 86400.0; }
inline double SecondsToDays(double seconds) { return seconds / 86400.0 + kUnixEpochDays; }

// The ticker of the chart's bottom axis, whose coordinates are date-time
// values in days: ticks and labels come from a date-time ticker working in
// UTC seconds, so a timestamp is labelled exactly as stored (no time-zone or
// daylight-saving shift).
class DayTicker : public QCPAxisTicker {
public:
    DayTicker();
    QString Format() const;
    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override;

private:
    QSharedPointer<QCPAxisTickerDateTime> inner_;
};

// The label format of the bottom axis: "dd/mm.yy hh:nn:ss" with the date on
// the first line and the time on the second, the '/' and ':' regional.
QString ChartAxisLabelFormat();

// The colours of a chart that come from the palette (light or dark theme):
// background, text, grid, the cross-hair and its note. The series, alarm and
// axis colours of the data stay as they are.
struct ChartColours {
    QColor Background, Text, Grid, SubGrid, Title, CrossHair, NoteBack, NoteText;
};
ChartColours ChartColoursOf(const QPalette& palette);
// Background, grid, neutral text and legend of `chart` from its palette.
void ApplyChartPalette(QCustomPlot* chart);

// The data module's Yes/No questions in the common question box.
class QtAnswerer : public kolvex::Answerer {
public:
    explicit QtAnswerer(QWidget* parent = nullptr) : parent_(parent) {}
    bool Confirm(const std::string& question) override;

private:
    QWidget* parent_;
};

}  // namespace kolvex::ui
