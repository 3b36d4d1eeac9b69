// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The print dialog: period with step selector and the footer text of the
// printed listing. Print_BB walks the open table into a report, shows its
// preview and closes the dialog; closing stores PrintPeriod, StepIndex and
// the footer text (into the table's parameter record).

#include <QDialog>

#include <functional>
#include <optional>

#include "archive/ArchiveContext.h"
#include "output/TableOutput.h"
#include "output/ui/OutputSupport.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kolvex::ui {

class PeriodGroup;
class TFQRAPrint;

class TFANastTisk : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFooterLength = 32;

    explicit TFANastTisk(kolvex::ArchiveContext& ctx, QWidget* parent = nullptr);

    void ApplyCaptions();
    PeriodGroup* Period() const { return period_; }
    QLineEdit* Footer() const { return ePata_; }

    // Shows the prepared report; the default is the print preview window.
    std::function<void(const TFQRAPrint& report)> ShowPreview;
    // The time of printing (local now); tests put a fixed clock in.
    std::function<double()> Clock;
    // Whether the report begins with the page of the period summary.
    bool SummaryPage = true;
    // The file name for "PDF…", preset with the suggested path; "" when cancelled.
    std::function<QString(const QString& suggested)> ChoosePdf;
    // Open the written file, or its folder; false when that failed.
    std::function<bool(const QString& path)> OpenFile;
    std::function<bool(const QString& path)> OpenFolder;
    OutputHooks Hooks;
    // The status line after a PDF was written ("" before one).
    QString StatusText() const { return status_; }

public slots:
    void Print_BBClick();
    // Prepares the report and writes it straight into a PDF file.
    void Pdf_BBClick();
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The summary page before the listing, when asked for.
    void AddSummaryPage(TFQRAPrint& report);
    kolvex::ArchiveContext& ctx_;
    PeriodGroup* period_;
    QLabel* textZapati_;
    QLineEdit* ePata_;
    QPushButton *print_, *pdf_, *help_, *close_;
    QString status_;

    // The request of the dialog's current settings.
    kolvex::ReportRequest Request() const;
    // Collects the report with the progress window; nullopt when aborted.
    std::optional<kolvex::ReportPlan> Collect(const kolvex::ReportRequest& rq);
};

}  // namespace kolvex::ui
