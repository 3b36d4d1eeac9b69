#pragma once
// The print dialog: period with step selector and the footer text of the
// printed listing. Print_BB walks the open table into a report, shows its
// preview and closes the dialog; closing stores PrintPeriod, StepIndex and
// the footer text (into the table's parameter record).

#include <QDialog>

#include <functional>

#include "app/AppContext.h"
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

    explicit TFANastTisk(kolvex::AppContext& ctx, QWidget* parent = nullptr);

    void ApplyCaptions();
    PeriodGroup* Period() const { return period_; }
    QLineEdit* Footer() const { return ePata_; }

    // Shows the prepared report; the default is the print preview window.
    std::function<void(const TFQRAPrint& report)> ShowPreview;
    // The time of printing (local now); tests put a fixed clock in.
    std::function<double()> Clock;
    OutputHooks Hooks;

public slots:
    void Print_BBClick();
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    kolvex::AppContext& ctx_;
    PeriodGroup* period_;
    QLabel* textZapati_;
    QLineEdit* ePata_;
    QPushButton *print_, *help_, *close_;
};

}  // namespace kolvex::ui
