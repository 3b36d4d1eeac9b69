// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The export dialog: period with step selector. Excel_BB asks for the file
// (an .xlsx workbook by default, CSV when chosen), writes the thinned records
// of the open table into it, opens it in the desktop's spreadsheet program
// and closes the dialog; closing stores ExportPeriod and StepIndex.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "archive/ArchiveContext.h"
#include "output/WorkbookExport.h"
#include "output/ui/OutputSupport.h"

class QPushButton;

namespace kolvex::ui {

class PeriodGroup;

class TFAToExcel : public QDialog {
    Q_OBJECT
public:
    explicit TFAToExcel(kolvex::ArchiveContext& ctx, QWidget* parent = nullptr);

    void ApplyCaptions();
    PeriodGroup* Period() const { return period_; }

    struct SaveChoice {
        QString Path;
        bool Csv = false;
    };
    // The save dialog, preset with the suggested path; nullopt when cancelled.
    std::function<std::optional<SaveChoice>(const QString& suggested)> ChooseFile;
    // Opens the written file with the desktop's default application; false
    // when there is none.
    std::function<bool(const QString& path)> OpenFile;
    // Opens the folder of the written file (when the file cannot be opened).
    std::function<bool(const QString& path)> OpenFolder;
    OutputHooks Hooks;
    // Rows of one worksheet (smaller in tests).
    std::uint32_t SheetRows = kolvex::kSheetRows;

    // The table's name with ".xlsx" in the table's folder.
    QString SuggestedPath() const;
    // The path of the last export (empty before one).
    QString WrittenPath() const { return written_; }
    // The status line after an export ("" before one).
    QString StatusText() const { return status_; }

public slots:
    void Excel_BBClick();
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    kolvex::ArchiveContext& ctx_;
    PeriodGroup* period_;
    QPushButton *excel_, *help_, *close_;
    QString written_;
    QString status_;
};

}  // namespace kolvex::ui
