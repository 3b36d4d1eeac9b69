// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The communication settings: the port dialog "Computer" and its details
// dialog with the line timing, and the routine that turns the stored
// settings into a configured, open port.

#include <QDialog>

#include "app/AppContext.h"
#include "base/ui/DialogHooks.h"

class QComboBox;
class QFileSystemWatcher;
class QTimer;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kolvex::ui {

// Applies the communication settings of the configuration record to the
// port and opens it (ESetPC when the port is not in the list, EComm when it
// cannot be opened). The built-in simulated logger is stopped when the port
// in use is no longer "SIM".
void ApplyPortSettings(kolvex::AppContext& ctx);

// The list entry of a port: alias, device and description, two spaces apart.
QString PortListText(const kolvex::PortEntry& entry);

class TFSetPC : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 1110;

    explicit TFSetPC(kolvex::AppContext& ctx, QWidget* parent = nullptr);
    void ApplyCaptions();

    // The error box of a refused network port and of a port that fails to open.
    DialogHooks Hooks;

public slots:
    void SetUp_BBClick();
    void Details_BBClick();
    // Enumerates the ports again and refills the list, keeping the choice.
    // Also run by itself shortly after a serial device comes or goes.
    void Refresh_BBClick();

private:
    // Fills Port_CB from the port list and selects `name`.
    void FillPortList(const std::string& name);

    kolvex::AppContext& ctx_;
    QPushButton* refreshBB_;
    QFileSystemWatcher* devWatcher_;
    QTimer* plugDelay_;
    QGroupBox* gbRS232_;
    QLabel* portNameL_;
    QComboBox* portCB_;
    // A network serial server: "rfc2217://host:port" or "tcp://host:port".
    // A name typed here is the port; choosing from the list clears it.
    QLabel* netPortL_;
    QLineEdit* netPortE_;
    QLabel* adresaL_;
    QSpinBox* eAdrQuend_;
    QPushButton* detailsBB_;
    QPushButton* setUpBB_;
    QPushButton* helpBB_;
    QPushButton* closeBB_;
};

class TFSetPCAdvanced : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 1200;
    static constexpr int kHelpButtonContext = 1115;

    explicit TFSetPCAdvanced(kolvex::AppContext& ctx, QWidget* parent = nullptr);
    // Captions, the two times and the error count (run when the dialog
    // becomes active).
    void FormActivate();
    void ApplyCaptions();

public slots:
    void SetUp_BBClick();
    void Default_BBClick();
    void TIdle_SEExit();
    void TSlot_SEExit();

protected:
    void showEvent(QShowEvent* e) override;

private:
    kolvex::AppContext& ctx_;
    QGroupBox* rs232GB_;
    QSpinBox* tIdleSE_;
    QSpinBox* tSlotSE_;
    QLabel* errorNumberL_;
    QLabel* pocetChybL_;
    QPushButton* setUpBB_;
    QPushButton* defaultBB_;
    QPushButton* helpBB_;
    QPushButton* closeBB_;
};

// Centres a dialog on the screen's work area.
void CentreOnScreen(QWidget* w);

}  // namespace kolvex::ui
