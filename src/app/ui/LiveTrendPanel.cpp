// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/LiveTrendPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include <qcustomplot.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"
#include "archive/ChartNavigation.h"
#include "archive/ui/ViewerSupport.h"
#include "logger/LoggerOps.h"

namespace kolvex::ui {

namespace {

const QColor kInputColour[2] = {QColor(Qt::red), QColor(0, 128, 0)};  // the viewer's series colours

// The freedesktop notification service when the session offers one, else
// the system tray's balloon, else nothing.
void DesktopNotify(const QString& title, const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service)) {
        QDBusInterface notifications(service, QStringLiteral("/org/freedesktop/Notifications"), service, bus);
        notifications.asyncCall(QStringLiteral("Notify"), QStringLiteral("kolvex12"), 0u,
                                QStringLiteral("dialog-warning"), title, text, QStringList(), QVariantMap(), -1);
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    static QSystemTrayIcon* tray = nullptr;
    if (!tray) {
        tray = new QSystemTrayIcon(QIcon::fromTheme(QStringLiteral("dialog-warning")), qApp);
        tray->show();
    }
    tray->showMessage(title, text, QSystemTrayIcon::Warning);
}

NotifyHook& Hook() {
    static NotifyHook hook;
    return hook;
}

}  // namespace

void SetNotifyHook(NotifyHook hook) { Hook() = std::move(hook); }

LiveTrendPanel::LiveTrendPanel(AppContext& ctx, QLabel* const (&values)[2], QWidget* parent)
    : QWidget(parent), ctx_(ctx), values_{values[0], values[1]} {
    setObjectName(QStringLiteral("LiveTrend_P"));

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("LiveTrendButton_P"));
    windowL_ = new QLabel(bar);
    windowCB_ = new QComboBox(bar);
    windowCB_->setObjectName(QStringLiteral("Okno_CB"));
    windowCB_->addItems({QStringLiteral("10 min"), QStringLiteral("1 h"), QStringLiteral("8 h"), QString()});
    windowCB_->setCurrentIndex(static_cast<int>(settings_.Window));
    resetBB_ = new QPushButton(bar);
    resetBB_->setObjectName(QStringLiteral("StatReset_BB"));
    recordChB_ = new QCheckBox(bar);
    recordChB_->setObjectName(QStringLiteral("Zaznam_ChB"));
    fileSB_ = new QToolButton(bar);
    fileSB_->setObjectName(QStringLiteral("ZaznamSoubor_SB"));
    fileSB_->setText(QStringLiteral("…"));
    fileL_ = new QLabel(bar);
    fileL_->setObjectName(QStringLiteral("ZaznamSoubor_L"));
    fileL_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(windowL_);
    row->addWidget(windowCB_);
    row->addSpacing(8);
    row->addWidget(resetBB_);
    row->addSpacing(16);
    row->addWidget(recordChB_);
    row->addWidget(fileSB_);
    row->addWidget(fileL_, 1);

    BuildChart();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(chart_, 1);

    connect(windowCB_, &QComboBox::currentIndexChanged, this, &LiveTrendPanel::WindowChanged);
    connect(resetBB_, &QPushButton::clicked, this, &LiveTrendPanel::ResetStatistics);
    connect(recordChB_, &QCheckBox::toggled, this, &LiveTrendPanel::RecordToggled);
    connect(fileSB_, &QToolButton::clicked, this, [this] {
        if (ChooseRecordFile() && recordChB_->isChecked()) csv_.Close();  // the next reading opens the new file
    });

    ApplyCaptions();
    hide();  // shown while the live display is on
}

void LiveTrendPanel::BuildChart() {
    // The archive viewer's look: the palette's background, no top axis, the
    // date-time bottom axis, input 1 red on the left axis, input 2 green
    // (pen 2) on the right.
    chart_ = new QCustomPlot(this);
    chart_->setObjectName(QStringLiteral("LiveGraf_Ch"));
    chart_->setPlottingHint(QCP::phFastPolylines, true);
    chart_->setMinimumHeight(120);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    chart_->setLocale(locale);

    auto ticker = QSharedPointer<DayTicker>(new DayTicker);
    chart_->xAxis->setTicker(ticker);
    chart_->xAxis2->setVisible(false);
    chart_->yAxis2->setVisible(true);
    chart_->yAxis2->setTickLabels(true);
    QCPAxis* axes[2] = {chart_->yAxis, chart_->yAxis2};
    for (int i = 0; i < 2; ++i) {
        QFont f = axes[i]->labelFont();
        f.setBold(true);
        axes[i]->setLabelFont(f);
        series_[i] = chart_->addGraph(chart_->xAxis, axes[i]);
        series_[i]->setPen(QPen(kInputColour[i], i == 0 ? 1 : 2));
        series_[i]->setAdaptiveSampling(true);
        for (int k = 0; k < 2; ++k) {
            auto* line = new QCPItemStraightLine(chart_);
            line->point1->setAxes(chart_->xAxis, axes[i]);
            line->point2->setAxes(chart_->xAxis, axes[i]);
            line->setPen(QPen(kInputColour[i], 1, Qt::DashLine));
            line->setClipToAxisRect(true);
            line->setSelectable(false);
            line->setVisible(false);
            limitLines_[i][k] = line;
        }
    }

    // The statistics of each input are the legend's entries, in a row above
    // the plot so that they never cover a reading.
    chart_->legend->setVisible(true);
    chart_->legend->setBorderPen(Qt::NoPen);
    chart_->plotLayout()->insertRow(0);
    chart_->axisRect()->insetLayout()->take(chart_->legend);
    chart_->plotLayout()->addElement(0, 0, chart_->legend);
    chart_->legend->setMargins(QMargins(8, 4, 8, 0));
    chart_->plotLayout()->setRowStretchFactor(0, 0.001);
    chart_->xAxis->setRange(0, 1);
    ApplyChartPalette(chart_);
}

void LiveTrendPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || !chart_) return;
    // A light or dark theme: background, grid and neutral text anew.
    ApplyChartPalette(chart_);
    ApplyInputLook();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

// ---- captions ---------------------------------------------------------------

void LiveTrendPanel::ApplyCaptions() {
    windowL_->setText(Tx("Okno:", "Window:"));
    windowCB_->setItemText(3, Tx("vše", "all"));
    windowCB_->setToolTip(Tx("Zobrazený úsek grafu", "Visible span of the chart"));
    resetBB_->setText(Tx("Vynulovat statistiku", "Reset statistics"));
    recordChB_->setText(Tx("Záznam do souboru", "Record to file"));
    recordChB_->setToolTip(Tx("Každé čtení se připíše do souboru CSV", "Every reading is appended to a CSV file"));
    fileSB_->setToolTip(Tx("Soubor záznamu...", "Recording file..."));
    fileSB_->setAccessibleName(Tx("Soubor záznamu", "Recording file"));
    chart_->setAccessibleName(Tx("Průběh měření", "Live trend"));
    chart_->setAccessibleDescription(Tx("Hodnoty obou vstupů od zapnutí měření, alarmové meze čárkovaně; "
                                        "v legendě minimum, maximum a průměr",
                                        "Both inputs since measuring was switched on, the alarm limits dashed; "
                                        "minimum, maximum and mean in the legend"));
    RefreshLegend();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

// ---- settings ---------------------------------------------------------------

void LiveTrendPanel::LoadSettings() {
    // The configuration path is fixed at start-up, after this panel exists.
    if (settingsLoaded_ || ctx_.ConfigPath.empty()) return;
    settingsLoaded_ = true;
    std::string refusal;
    settings_ = LoadLiveSettings(LiveSettingsPath(ctx_.ConfigPath), &refusal);
    if (!refusal.empty()) ShowError(this, BoxText(refusal));
    const QSignalBlocker block(windowCB_);
    windowCB_->setCurrentIndex(static_cast<int>(settings_.Window));
    fileL_->setText(Q(settings_.RecordFile));
}

void LiveTrendPanel::SaveSettings() {
    if (ctx_.ConfigPath.empty()) return;
    (void)SaveLiveSettings(LiveSettingsPath(ctx_.ConfigPath), settings_);  // a settings file is no reason to complain
}

void LiveTrendPanel::WindowChanged(int index) {
    settings_.Window = static_cast<TrendWindow>(std::clamp(index, 0, 3));
    SaveSettings();
    RefreshChart();
}

// ---- switching on and off -------------------------------------------------------

void LiveTrendPanel::DescribeInputs() {
    // A table input's alarm limits need its characteristic table; without it
    // the input is simply drawn without limits.
    const LoggerImage& image = ctx_.Logger.Image;
    std::optional<InputTable> tables[2];
    for (int n = 0; n < 2; ++n) {
        const std::uint8_t code = image.InputInfo.InputType[n];
        const bool recorded = (image.Parameters.ArchiveFlags & (n == 0 ? kFlagRecordInput1 : kFlagRecordInput2)) != 0;
        if (recorded && (code == 47 || code == 63)) {
            try {
                tables[n] = ctx_.Ops.ReadInputTable(n);
            } catch (const std::exception&) {
            }
        }
    }
    const InputTable* const tablePtr[2] = {tables[0] ? &*tables[0] : nullptr, tables[1] ? &*tables[1] : nullptr};
    inputs_ = DescribeLiveInputs(image, tablePtr);
    for (int n = 0; n < 2; ++n) alarms_[n].SetLimits(inputs_[n].AlarmLow, inputs_[n].AlarmHigh, inputs_[n].Hysteresis);
}

void LiveTrendPanel::SetLive(bool on) {
    LoadSettings();
    if (!on) {
        hide();
        csv_.Close();
        return;
    }
    DescribeInputs();
    history_.Clear();
    for (LiveStatistics& s : stats_) s.Reset();
    csv_.Close();  // reopened with this run's inputs at the first reading
    ApplyInputLook();
    RefreshChart();
    show();
}

void LiveTrendPanel::ParametersStored() {
    if (isHidden()) return;
    // The history and the statistics stay; names, units, limits and the
    // alarm watch follow the stored block from the next reading on. The
    // recording file gets a new heading line when its columns changed.
    const std::array<LiveInput, 2> before = inputs_;
    DescribeInputs();
    const auto columns = [](const std::array<LiveInput, 2>& in) {
        return CsvHeadingText(LiveCsvColumns(in, CurrentLanguage()), DecimalSeparator());
    };
    if (columns(before) != columns(inputs_)) csv_.Close();
    ApplyInputLook();
    RefreshChart();
}

void LiveTrendPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first time it shows, the trend takes a little more than half of
    // the room it shares with the viewer; later the user's split stays.
    QTimer::singleShot(0, this, [this] {
        auto* split = qobject_cast<QSplitter*>(parentWidget());
        if (!split || splitSet_ || split->height() <= 0 || isHidden()) return;
        splitSet_ = true;
        const int total = split->height();
        split->setSizes({total * 55 / 100, total - total * 55 / 100});
    });
}

void LiveTrendPanel::ApplyInputLook() {
    QCPAxis* axes[2] = {chart_->yAxis, chart_->yAxis2};
    for (int n = 0; n < 2; ++n) {
        const LiveInput& in = inputs_[n];
        const QColor c = in.Recorded ? kInputColour[n] : ChartColoursOf(chart_->palette()).Text;
        axes[n]->setLabel(in.Recorded ? Q(AxisTitle(in.Name, in.Unit)) : QString());
        axes[n]->setLabelColor(c);
        axes[n]->setBasePen(QPen(c));
        axes[n]->setTickPen(QPen(c));
        axes[n]->setSubTickPen(QPen(c));
        axes[n]->setTickLabelColor(c);
        series_[n]->setVisible(in.Recorded);
        if (in.Recorded) series_[n]->addToLegend();
        else series_[n]->removeFromLegend();
        const std::optional<double> limit[2] = {in.AlarmLow, in.AlarmHigh};
        for (int k = 0; k < 2; ++k) {
            QCPItemStraightLine* line = limitLines_[n][k];
            line->setVisible(in.Recorded && limit[k].has_value());
            if (limit[k]) {
                line->point1->setCoords(0, *limit[k]);
                line->point2->setCoords(1, *limit[k]);
            }
        }
    }
    RefreshLegend();
}

// ---- readings -------------------------------------------------------------------

void LiveTrendPanel::AddReading(double time, const std::optional<std::array<std::uint16_t, 2>>& raw) {
    if (!raw) {
        history_.AddGap(time);
        // One empty line marks a failure in the file; the retries of the
        // same failure add no more.
        const auto& p = history_.Points();
        if (p.size() >= 1 && p.back().Time == time) Record(time, std::nullopt);
        RefreshChart();
        return;
    }
    std::optional<double> shown[2];
    std::array<double, 2> values{};
    for (int n = 0; n < 2; ++n) {
        values[static_cast<std::size_t>(n)] = LiveValue(ctx_.Logger.Image, n, (*raw)[static_cast<std::size_t>(n)]);
        if (!inputs_[n].Recorded) continue;
        const double v = values[static_cast<std::size_t>(n)];
        shown[n] = v;
        stats_[n].Add(time, v);
        bool crossed = false;
        const AlarmState state = alarms_[n].Add(v, &crossed);
        if (state != AlarmState::Normal) {
            QPalette pal = values_[n]->palette();
            pal.setColor(QPalette::WindowText, kValueAlarm);
            values_[n]->setPalette(pal);
        }
        if (crossed) {
            const QString text =
                Q(AlarmNotificationText(n, inputs_[n], state, v, DecimalSeparator(), CurrentLanguage()));
            emit AlarmCrossed(n, text);
            const QString title = Tx("kolvex12 – alarm", "kolvex12 – alarm");
            if (Hook()) Hook()(title, text);
            else DesktopNotify(title, text);
        }
    }
    history_.Add(time, shown);
    Record(time, values);
    RefreshChart();
}

void LiveTrendPanel::ResetStatistics() {
    for (LiveStatistics& s : stats_) s.Reset();
    RefreshLegend();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

// ---- recording ------------------------------------------------------------------

void LiveTrendPanel::SetRecordFile(const QString& path) {
    LoadSettings();
    settings_.RecordFile = path.toStdString();
    fileL_->setText(path);
    SaveSettings();
    csv_.Close();
}

QString LiveTrendPanel::RecordFile() const { return Q(settings_.RecordFile); }

bool LiveTrendPanel::ChooseRecordFile() {
    QFileDialog dialog(this, Tx("Soubor záznamu", "Recording file"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // readings are appended
    dialog.setNameFilter(Tx("Text CSV (*.csv)", "CSV text (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (!settings_.RecordFile.empty()) dialog.selectFile(Q(settings_.RecordFile));
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    SetRecordFile(dialog.selectedFiles().first());
    return true;
}

void LiveTrendPanel::RecordToggled(bool on) {
    LoadSettings();
    if (!on) {
        csv_.Close();
        return;
    }
    if (settings_.RecordFile.empty() && !ChooseRecordFile()) {
        const QSignalBlocker block(recordChB_);
        recordChB_->setChecked(false);
    }
}

void LiveTrendPanel::Record(double time, const std::optional<std::array<double, 2>>& values) {
    if (!recordChB_->isChecked() || settings_.RecordFile.empty()) return;
    try {
        if (!csv_.IsOpen())
            csv_.Open(settings_.RecordFile,
                      CsvHeadingText(LiveCsvColumns(inputs_, CurrentLanguage()), DecimalSeparator()));
        csv_.Append(LiveCsvLine(inputs_, time, values, DecimalSeparator()));
    } catch (const std::exception& e) {
        StopRecording(Q(e.what()));
    }
}

void LiveTrendPanel::StopRecording(const QString& why) {
    csv_.Close();
    {
        const QSignalBlocker block(recordChB_);
        recordChB_->setChecked(false);
    }
    // Not inside the reading: the message box runs its own event loop.
    QTimer::singleShot(0, this, [this, why] { ShowError(this, why); });
}

// ---- the chart ------------------------------------------------------------------

void LiveTrendPanel::RefreshLegend() {
    const char sep = DecimalSeparator();
    for (int n = 0; n < 2; ++n) {
        const LiveInput& in = inputs_[n];
        const QString head = in.Unit.empty() ? Q(in.Name) : Q(in.Name + " (" + in.Unit + ")");
        series_[n]->setName(head + QStringLiteral(":  ") +
                            Q(StatisticsText(stats_[n], in.Decimals, sep, CurrentLanguage())));
    }
}

void LiveTrendPanel::RefreshChart() {
    const auto& points = history_.Points();
    for (int n = 0; n < 2; ++n) {
        QVector<double> keys, vals;
        keys.reserve(static_cast<qsizetype>(points.size()));
        vals.reserve(static_cast<qsizetype>(points.size()));
        for (const LivePoint& p : points) {
            keys.push_back(p.Time);
            vals.push_back(p.Value[n]);  // NaN leaves a gap
        }
        series_[n]->setData(keys, vals, true);
    }

    // The bottom axis ends at the newest reading and spans the chosen window
    // (or everything since switching on), with the viewer's 1/33 margin.
    // Until the window has filled, it starts at the first reading and the
    // line grows to the right.
    const double span = TrendWindowDays(settings_.Window);
    const double firstTime = points.empty() ? 0 : points.front().Time;
    double end = points.empty() ? 0 : points.back().Time;
    double start = span > 0 ? end - span : firstTime;
    if (span > 0 && start < firstTime) {
        start = firstTime;
        end = firstTime + span;
    }
    if (end - start < 1.0 / 86400) end = start + 1.0 / 1440;  // a minute at first
    const double margin = (end - start) / 33;
    chart_->xAxis->setRange(start, end + margin);

    // Each vertical axis covers the visible readings and those alarm limits
    // that lie in the input's record range.
    QCPAxis* axes[2] = {chart_->yAxis, chart_->yAxis2};
    const auto first = std::lower_bound(points.begin(), points.end(), start,
                                        [](const LivePoint& p, double t) { return p.Time < t; });
    for (int n = 0; n < 2; ++n) {
        const LiveInput& in = inputs_[n];
        double lo = INFINITY, hi = -INFINITY;
        for (auto it = first; it != points.end(); ++it) {
            const double v = it->Value[n];
            if (std::isnan(v)) continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const double rangeLo = std::min(in.RangeLow, in.RangeHigh), rangeHi = std::max(in.RangeLow, in.RangeHigh);
        for (const std::optional<double>& limit : {in.AlarmLow, in.AlarmHigh}) {
            if (!limit || *limit < rangeLo || *limit > rangeHi) continue;
            lo = std::min(lo, *limit);
            hi = std::max(hi, *limit);
        }
        if (!std::isfinite(lo)) {
            lo = rangeLo;
            hi = rangeHi;
        }
        if (hi - lo < 1e-9) {
            lo -= 1;
            hi += 1;
        }
        const double pad = (hi - lo) / 33;
        axes[n]->setRange(lo - pad, hi + pad);
    }
    RefreshLegend();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace kolvex::ui
