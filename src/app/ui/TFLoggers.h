// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The loggers served by the nightly template units: name, port, the last
// run's time and result from each logger's log.

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kolvex::ui {

class TFLoggers : public QDialog {
    Q_OBJECT
public:
    // Lists the settings files of `settingsFolder`; the logs are looked for
    // in `dataFolder` unless a file names its own.
    TFLoggers(std::string settingsFolder, std::string dataFolder, QWidget* parent = nullptr);
    void ApplyCaptions();
    void Refresh();

private:
    std::string settingsFolder_, dataFolder_;
    QLabel* folderL_;
    QTableWidget* list_;
    QPushButton* refreshBB_;
    QPushButton* closeBB_;
};

}  // namespace kolvex::ui
