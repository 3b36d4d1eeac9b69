// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archiving parameters editor: reads the logger's archiving parameters,
// shows them on an archiving tab and one tab per input (a page that fits the
// input's sensor), and writes the edited block back. The computations live in
// logger/ArchiveParamsModel; this class moves values between the controls and
// that model.

#include <QDialog>

#include "logger/LoggerContext.h"
#include "logger/ArchiveParamsModel.h"
#include "base/ui/DialogHooks.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;

namespace kolvex::ui {

class TSpinFEdit;

class TFAParama : public QDialog {
    Q_OBJECT
public:
    explicit TFAParama(kolvex::LoggerContext& ctx, QWidget* parent = nullptr);
    // Reads the logger's parameters and sets up every tab; throws the failed
    // operation's error.
    void OpenSequence();
    // Sets every caption from the current language.
    void ApplyCaptions();

    // The store's errors and refusals, and the erase question.
    DialogHooks Hooks;

public slots:
    void Perioda_SBUpClick();
    void Perioda_SBDownClick();
    // The store sequence. A refused value or a No to the erase question keeps
    // the dialog open with every edit and shows the field concerned; after
    // storing, or after a failed write, the dialog closes.
    void SetUp_BBClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct InputControls {
        QWidget* tab = nullptr;
        QLabel* heading = nullptr;
        QCheckBox* alarm = nullptr;
        QStackedWidget* book = nullptr;
        QLabel* nameL[3] = {};
        QLabel* unitL[2] = {};
        QLabel* rangeL[3] = {};
        QLabel* recordL[3] = {};
        QLabel* alarmL[3] = {};
        // temperature page
        QLineEdit* tName = nullptr;
        QComboBox* tUnit = nullptr;
        QLabel *tUnitR = nullptr, *tUnitZ = nullptr, *tUnitA = nullptr;
        QLineEdit *tRangeLo = nullptr, *tRangeHi = nullptr;
        TSpinFEdit *tRecLo = nullptr, *tRecHi = nullptr, *tAlarmLo = nullptr, *tAlarmHi = nullptr;
        // current/voltage page
        QLineEdit *iName = nullptr, *iUnit = nullptr;
        QLabel *iUnitR = nullptr, *iUnitZ = nullptr, *iUnitA = nullptr, *iSignal = nullptr;
        TSpinFEdit *iSigLo = nullptr, *iSigHi = nullptr, *iRangeLo = nullptr, *iRangeHi = nullptr;
        TSpinFEdit *iRecLo = nullptr, *iRecHi = nullptr, *iAlarmLo = nullptr, *iAlarmHi = nullptr;
        // humidity page
        QLineEdit *hName = nullptr, *hUnit = nullptr, *hRangeLo = nullptr, *hRangeHi = nullptr;
        TSpinFEdit *hRecLo = nullptr, *hRecHi = nullptr, *hAlarmLo = nullptr, *hAlarmHi = nullptr;
    };

    QWidget* BuildArchiveTab();
    QWidget* BuildInputTab(int n);
    QWidget* StartInputPage(int n, int k, const char* pageName);
    QWidget* BuildTemperaturePage(int n);
    QWidget* BuildCurrentPage(int n);
    QWidget* BuildHumidityPage(int n);

    void SetUpAlarmSwitch(int n);
    void SetUpTemperaturePage(int n);
    void SetUpCurrentPage(int n);
    void SetUpHumidityPage(int n);
    void CurrentLimitsUpdate(int n);
    void TemperatureUnitChanged(int n);
    void ShowPeriod();
    ArchiveParamsEntry CollectEntry() const;
    // Brings the tab of a field forward and gives the field the focus.
    void ShowField(const ParamFieldRef& field);
    QWidget* FieldWidget(const ParamFieldRef& field) const;

    kolvex::LoggerContext& ctx_;
    InputTable tables_[2];
    PeriodSelection period_{0, 0};
    // The logger's block as read and the fields as first shown: what decides
    // which fields the user changed.
    ArchiveParamsBaseline base_;
    bool settingUp_ = false;

    QTabWidget* tabs_ = nullptr;
    QLabel *nazevMereniL_ = nullptr, *nazevSouborL_ = nullptr, *periodaL_ = nullptr;
    QLineEdit *nazevMereni_ = nullptr, *soubor_ = nullptr, *perioda_ = nullptr;
    QWidget* periodaSb_ = nullptr;
    QToolButton *periodaUp_ = nullptr, *periodaDown_ = nullptr;
    QCheckBox* cyklicky_ = nullptr;
    QGroupBox* ukladani_ = nullptr;
    QCheckBox *hodn1_ = nullptr, *hodn2_ = nullptr;
    QGroupBox* presnost_ = nullptr;
    QRadioButton *presnost0_ = nullptr, *presnost1_ = nullptr;
    InputControls in_[2];
    QPushButton *help_ = nullptr, *setUp_ = nullptr, *close_ = nullptr;
};

}  // namespace kolvex::ui
