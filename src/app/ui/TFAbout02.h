// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box with the application's identity, and the system
// information window it opens.

#include <QDialog>

class QLabel;
class QPushButton;

namespace kolvex::ui {

class TFAbout02 : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout02(QWidget* parent = nullptr);
    void ApplyCaptions();

public slots:
    void System_BBClick();

private:
    QLabel* manufL_;
    QLabel* versionL_;
    QLabel* licenseL_;
    QPushButton* closeBB_;
    QPushButton* systemBB_;
};

class TFInfoSystem : public QDialog {
    Q_OBJECT
public:
    explicit TFInfoSystem(QWidget* parent = nullptr);
    void ApplyCaptions();

private:
    QLabel* osL_;
    QLabel* platformL_;
    QLabel* verzeL_;
    QLabel* stOS_;
    QLabel* stPlatform_;
    QLabel* stVerze_;
    QPushButton* closeBB_;
};

}  // namespace kolvex::ui
