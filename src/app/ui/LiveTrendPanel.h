// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live trend under the main window's value panels: a chart of both
// inputs since the live display was switched on (the archive viewer's look:
// input 1 on the left axis, input 2 on the right, the alarm limits as dashed
// lines), the statistics of each input in the chart's legend, the visible
// window, and the recording of every reading into a CSV file. The main
// window hands it each reading; the work is done by the core.

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/AppContext.h"
#include "app/LiveRecording.h"
#include "app/LiveTrend.h"

class QCheckBox;
class QComboBox;
class QCPGraph;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QPushButton;
class QToolButton;

namespace kolvex::ui {

// The value text of a panel while its input is beyond an alarm limit.
inline const QColor kValueAlarm{230, 110, 0};  // dark orange

// Shows a desktop notification (title, text); tests install their own.
using NotifyHook = std::function<void(const QString& title, const QString& text)>;
void SetNotifyHook(NotifyHook hook);

class LiveTrendPanel : public QWidget {
    Q_OBJECT
public:
    // `values` are the panels' value boxes, which turn the alarm colour.
    LiveTrendPanel(kolvex::AppContext& ctx, QLabel* const (&values)[2], QWidget* parent = nullptr);

    // The live display was switched on (after its reads succeeded) or off.
    // On: the inputs are taken from the logger image, history, statistics and
    // alarms start afresh, and the panel shows. Off: the panel hides.
    void SetLive(bool on);
    // New archiving parameters were stored in the logger (the logger image
    // holds them): the inputs' names, units and alarm limits are taken anew
    // while the history and the statistics stay.
    void ParametersStored();
    // One reading of the live display at `time` (date-time value); no raw
    // values when it failed.
    void AddReading(double time, const std::optional<std::array<std::uint16_t, 2>>& raw);
    void ApplyCaptions();

    // The recording file; empty asks the user when recording is switched on.
    void SetRecordFile(const QString& path);
    QString RecordFile() const;

    const kolvex::LiveHistory& History() const { return history_; }
    const kolvex::LiveStatistics& Statistics(int input) const { return stats_[input]; }
    kolvex::AlarmState Alarm(int input) const { return alarms_[input].State(); }
    QCustomPlot* Chart() const { return chart_; }

signals:
    // A reading crossed an alarm limit (once per crossing).
    void AlarmCrossed(int input, const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildChart();
    // The inputs and their alarm watch from the logger image.
    void DescribeInputs();
    void LoadSettings();
    void SaveSettings();
    void ResetStatistics();
    void WindowChanged(int index);
    void RecordToggled(bool on);
    bool ChooseRecordFile();
    void Record(double time, const std::optional<std::array<double, 2>>& values);
    void StopRecording(const QString& why);
    void RefreshChart();
    void RefreshLegend();
    void ApplyInputLook();

    kolvex::AppContext& ctx_;
    QLabel* values_[2];
    bool settingsLoaded_ = false;
    bool splitSet_ = false;
    kolvex::LiveSettings settings_;

    QLabel* windowL_ = nullptr;
    QComboBox* windowCB_ = nullptr;
    QPushButton* resetBB_ = nullptr;
    QCheckBox* recordChB_ = nullptr;
    QToolButton* fileSB_ = nullptr;
    QLabel* fileL_ = nullptr;
    QCustomPlot* chart_ = nullptr;
    QCPGraph* series_[2] = {nullptr, nullptr};
    QCPItemStraightLine* limitLines_[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};  // [input][low, high]

    std::array<kolvex::LiveInput, 2> inputs_;
    kolvex::LiveHistory history_;
    kolvex::LiveStatistics stats_[2];
    kolvex::AlarmWatch alarms_[2];
    kolvex::LiveCsvFile csv_;
};

}  // namespace kolvex::ui
