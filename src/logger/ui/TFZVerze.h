// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logger information dialog: manufacturer, type, version and serial
// number from the logger's identification block.

#include <QDialog>

#include "logger/LoggerContext.h"

class QLabel;
class QPushButton;

namespace kolvex::ui {

class TFZVerze : public QDialog {
    Q_OBJECT
public:
    explicit TFZVerze(kolvex::LoggerContext& ctx, QWidget* parent = nullptr);
    // Reads the logger type and the identification block and fills the
    // value labels; throws the failed operation's error.
    void OpenSequence();
    // Sets every caption from the current language.
    void ApplyCaptions();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    kolvex::LoggerContext& ctx_;
    QLabel *manuf_, *type_, *version_, *serNum_;
    QLabel *manufH_, *typeH_, *versionH_, *serNumH_;
    QPushButton *close_, *help_;
};

}  // namespace kolvex::ui
