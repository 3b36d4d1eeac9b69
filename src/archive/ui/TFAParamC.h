// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The storing parameters dialog: where a download's target file name comes
// from, into which period files the records are split, whether the logger is
// read from the bookmark or completely, and whether the bookmark is moved.
// The settings live in the configuration record; only the set-up button
// changes them.

#include <QDialog>

#include "base/ConfigRecord.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kolvex::ui {

class TFAParamC : public QDialog {
    Q_OBJECT
public:
    explicit TFAParamC(kolvex::ConfigRecord& config, QWidget* parent = nullptr);

    void ApplyCaptions();
    // The controls from the settings, and back.
    void LoadControls();
    void StoreControls();

    int FileNameItem() const;
    int CteniItem() const;

public slots:
    void FileName_RGClick();
    void Standard_BBClick();
    void SetUp_BBClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    kolvex::ConfigRecord& config_;
    QGroupBox* fileNameRG_;
    QButtonGroup* fileNameGroup_;
    QRadioButton* fileNameItems_[3];
    QGroupBox* ukladaniGB_;
    QCheckBox* split_[4];
    QLabel* splitL_[4];
    QGroupBox* cteniRG_;
    QButtonGroup* cteniGroup_;
    QRadioButton* cteniItems_[3];
    QCheckBox* zalozkaCB_;
    QPushButton *standardBB_, *helpBB_, *setUpBB_;
};

}  // namespace kolvex::ui
