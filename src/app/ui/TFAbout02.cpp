// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TFAbout02.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ProgramVersion.h"
#include "base/Language.h"
#include "app/SystemInfo.h"
#include "base/ui/DialogKit.h"
#include "base/ui/Icons.h"
#include "base/ui/ModalRunner.h"
#include "app/ui/TFSetPC.h"

namespace kolvex::ui {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text = QString()) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

}  // namespace

// ---- TFAbout02 -------------------------------------------------------------

TFAbout02::TFAbout02(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFAbout02"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);

    auto* picturePanel = new QFrame(panel);
    picturePanel->setObjectName(QStringLiteral("Panel2"));
    picturePanel->setFrameShape(QFrame::StyledPanel);
    auto* image = MakeLabel(picturePanel, "Image1");
    image->setPixmap(LoggerPicture(96));
    image->setAlignment(Qt::AlignCenter);
    auto* pictureLayout = new QVBoxLayout(picturePanel);
    pictureLayout->addWidget(image);

    // Fixed texts, the same in both languages.
    auto* label2 = MakeLabel(panel, "Label2", QStringLiteral("KOLVEX12"));
    QFont title = label2->font();
    title.setPointSizeF(title.pointSizeF() * 1.8);
    title.setBold(true);
    label2->setFont(title);
    auto* comments = MakeLabel(panel, "Comments", QStringLiteral("Quendal"));
    QFont bold = comments->font();
    bold.setBold(true);
    comments->setFont(bold);
    manufL_ = MakeLabel(panel, "Manuf_L");
    versionL_ = MakeLabel(panel, "Version_L");
    auto* label1 = MakeLabel(panel, "Label1", QStringLiteral("2.0.10.01"));
    auto* lDatum = MakeLabel(panel, "LDatum", QStringLiteral("06.12.2006"));
    auto* label3 = MakeLabel(panel, "Label3", QStringLiteral("Windows 95 / 98 / ME / 2000 / XP"));
    // The licence the program is distributed under.
    licenseL_ = MakeLabel(panel, "License_L");
    licenseL_->setWordWrap(true);

    auto* text = new QGridLayout;
    text->addWidget(label2, 0, 0, 1, 2);
    text->addWidget(comments, 1, 0, 1, 2);
    text->addWidget(manufL_, 2, 0, 1, 2);
    text->addWidget(versionL_, 3, 0);
    text->addWidget(label1, 3, 1);
    text->addWidget(lDatum, 4, 1);
    text->addWidget(label3, 5, 0, 1, 2);
    text->addWidget(licenseL_, 6, 0, 1, 2);
    text->setColumnStretch(1, 1);
    text->setVerticalSpacing(4);

    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->addWidget(picturePanel, 0, Qt::AlignTop);
    panelLayout->addSpacing(8);
    panelLayout->addLayout(text, 1);

    closeBB_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    closeBB_->setAutoDefault(true);  // the only one; Enter closes wherever the focus is
    closeBB_->setDefault(true);
    systemBB_ = MakeButton(this, "System_BB", QStyle::SP_ComputerIcon);
    systemBB_->setText(QStringLiteral("&System"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    // Close answers OK, not Cancel.
    layout->addLayout(ButtonRow(this).Action(systemBB_).Stretch().Action(closeBB_).Layout());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(closeBB_, &QPushButton::clicked, this, &QDialog::accept);
    connect(systemBB_, &QPushButton::clicked, this, &TFAbout02::System_BBClick);

    // FormCreate: a language flag above 1 counts as Czech.
    if (LanguageValue() > 1) SetLanguage(0);
    ApplyCaptions();
    CentreOnScreen(this);
}

void TFAbout02::ApplyCaptions() {
    setWindowTitle(Tx("Informace o aplikaci", "Information"));
    manufL_->setText(QStringLiteral("Marvenik"));
    versionL_->setText(Tx("Verze", "Version"));
    licenseL_->setText(Tx("Licence: GNU GPL verze 3 nebo pozdější (" KOLVEX_LICENSE ")",
                          "License: GNU GPL version 3 or later (" KOLVEX_LICENSE ")"));
    closeBB_->setText(Tx("&Zavřít", "&Close"));
}

void TFAbout02::System_BBClick() {
    TFInfoSystem info(this);
    RunModal(info);
}

// ---- TFInfoSystem ----------------------------------------------------------

TFInfoSystem::TFInfoSystem(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFInfoSystem"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    osL_ = MakeLabel(this, "OS_L");
    platformL_ = MakeLabel(this, "Platform_L");
    verzeL_ = MakeLabel(this, "Verze_L");
    auto makeValue = [this](const char* name) {
        QLabel* l = MakeLabel(this, name, QStringLiteral("unknown"));
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setMinimumWidth(260);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    stOS_ = makeValue("STOS");
    stPlatform_ = makeValue("STPlatform");
    stVerze_ = makeValue("STVerze");
    closeBB_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    closeBB_->setAutoDefault(true);
    closeBB_->setDefault(true);
    connect(closeBB_, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout;
    grid->addWidget(osL_, 0, 0);
    grid->addWidget(stOS_, 0, 1);
    grid->addWidget(platformL_, 1, 0);
    grid->addWidget(stPlatform_, 1, 1);
    grid->addWidget(verzeL_, 2, 0);
    grid->addWidget(stVerze_, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(ButtonRow(this).Stretch().Action(closeBB_).Layout());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // FormCreate: captions, then the system query.
    ApplyCaptions();
    const SystemInfo info = QuerySystemInfo();
    stOS_->setText(QString::fromStdString(info.OS));
    stPlatform_->setText(QString::fromStdString(info.Platform));
    stVerze_->setText(QString::fromStdString(info.Version));
    CentreOnScreen(this);
}

void TFInfoSystem::ApplyCaptions() {
    setWindowTitle(Tx("Systémové inforamce", "System information"));
    osL_->setText(Tx("Operační systém", "Operation system"));
    platformL_->setText(Tx("Platforma", "Platform"));
    verzeL_->setText(Tx("Verze", "Version"));
    closeBB_->setText(Tx("&Zavřít", "&Close"));
}

}  // namespace kolvex::ui
