// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/TFAParamC.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"

namespace kolvex::ui {

namespace {
constexpr int kDialogHelpContext = 1130;
constexpr int kHelpButtonContext = 1308;
constexpr int kClientWidth = 465;
constexpr int kClientHeight = 259;
constexpr int kRadioGroupHeight = 97;

QRadioButton* MakeRadio(QWidget* parent, QButtonGroup* group, int id, const QString& name) {
    auto* r = new QRadioButton(parent);
    r->setObjectName(name);
    group->addButton(r, id);
    return r;
}
}  // namespace

TFAParamC::TFAParamC(kolvex::ConfigRecord& config, QWidget* parent) : QDialog(parent), config_(config) {
    setObjectName(QStringLiteral("TFAParamC"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // The file name source.
    fileNameRG_ = new QGroupBox(this);
    fileNameRG_->setObjectName(QStringLiteral("FileName_RG"));
    fileNameGroup_ = new QButtonGroup(this);
    auto* fileNameColumn = new QVBoxLayout(fileNameRG_);
    for (int i = 0; i < 3; ++i) {
        fileNameItems_[i] = MakeRadio(fileNameRG_, fileNameGroup_, i, QStringLiteral("FileName_RG%1").arg(i));
        fileNameColumn->addWidget(fileNameItems_[i]);
    }
    fileNameRG_->setFixedHeight(kRadioGroupHeight);

    // The split periods, each with its example file name.
    ukladaniGB_ = new QGroupBox(this);
    ukladaniGB_->setObjectName(QStringLiteral("Ukladani_GB"));
    auto* splitGrid = new QGridLayout(ukladaniGB_);
    splitGrid->setHorizontalSpacing(14);
    static const char* const kSplitNames[4][2] = {{"UkladaniRok_ChB", "UkladaniRok_L"},
                                                  {"UkladaniMesic_ChB", "UkladaniMesic_L"},
                                                  {"UkladaniTyden_ChB", "UkladaniTyden_L"},
                                                  {"UkladaniDen_ChB", "UkladaniDen_L"}};
    for (int i = 0; i < 4; ++i) {
        split_[i] = new QCheckBox(ukladaniGB_);
        split_[i]->setObjectName(QString::fromLatin1(kSplitNames[i][0]));
        splitL_[i] = new QLabel(ukladaniGB_);
        splitL_[i]->setObjectName(QString::fromLatin1(kSplitNames[i][1]));
        QPalette pal = splitL_[i]->palette();
        pal.setColor(QPalette::WindowText, pal.color(QPalette::Disabled, QPalette::WindowText));
        splitL_[i]->setPalette(pal);
        splitGrid->addWidget(split_[i], i, 0);
        splitGrid->addWidget(splitL_[i], i, 1);
    }
    splitGrid->setColumnStretch(1, 1);

    // The reading mode; the bookmark box sits on the line of the blank third
    // item, so the group shows two choices and the box.
    cteniRG_ = new QGroupBox(this);
    cteniRG_->setObjectName(QStringLiteral("Cteni_RG"));
    cteniGroup_ = new QButtonGroup(this);
    auto* cteniColumn = new QVBoxLayout(cteniRG_);
    for (int i = 0; i < 3; ++i) cteniItems_[i] = MakeRadio(cteniRG_, cteniGroup_, i, QStringLiteral("Cteni_RG%1").arg(i));
    cteniColumn->addWidget(cteniItems_[0]);
    cteniColumn->addWidget(cteniItems_[1]);
    zalozkaCB_ = new QCheckBox(cteniRG_);
    zalozkaCB_->setObjectName(QStringLiteral("Zalozka_CB"));
    auto* third = new QHBoxLayout;
    third->setSpacing(0);
    third->addWidget(cteniItems_[2]);
    third->addWidget(zalozkaCB_);
    third->addStretch(1);
    cteniItems_[2]->hide();  // covered by the bookmark box
    cteniColumn->addLayout(third);
    cteniRG_->setFixedHeight(kRadioGroupHeight);

    standardBB_ = MakeButton(this, "Standard_BB", QStyle::SP_BrowserReload);
    helpBB_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    setUpBB_ = MakeButton(this, "SetUp_BB", QStyle::SP_DialogOkButton);
    setUpBB_->setDefault(true);
    QBoxLayout* buttons = ButtonRow(this, Qt::Vertical)
                              .Stretch()
                              .Action(standardBB_)
                              .Help(helpBB_, kHelpButtonContext)
                              .Action(setUpBB_)
                              .Layout();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(fileNameRG_, 0, 0);
    grid->addWidget(cteniRG_, 0, 1);
    grid->addWidget(ukladaniGB_, 1, 0, Qt::AlignTop);
    grid->addLayout(buttons, 1, 1, Qt::AlignRight | Qt::AlignBottom);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(1, 1);

    connect(fileNameGroup_, &QButtonGroup::idClicked, this, &TFAParamC::FileName_RGClick);
    connect(standardBB_, &QPushButton::clicked, this, &TFAParamC::Standard_BBClick);
    connect(setUpBB_, &QPushButton::clicked, this, &TFAParamC::SetUp_BBClick);

    ApplyCaptions();
    LoadControls();

    // A fixed border: the designed client size, or more when the fonts need it.
    const QSize hint = sizeHint();
    setFixedSize(qMax(hint.width(), kClientWidth), qMax(hint.height(), kClientHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TFAParamC::ApplyCaptions() {
    setWindowTitle(Tx("Parametry ukládání archivace", "Reading parameters"));
    fileNameRG_->setTitle(Tx("Jméno souboru", "File name"));
    fileNameItems_[0]->setText(Tx("Podle jména souboru v archivaci", "Parameter in archiving"));
    fileNameItems_[1]->setText(Tx("Podle výrobního čísla", "Serial number"));
    fileNameItems_[2]->setText(Tx("Vybrané uživatelem", "User selected"));
    ukladaniGB_->setTitle(Tx("Dělit data do souboru", "Devide data into file"));
    split_[0]->setText(Tx("rok", "year"));
    split_[1]->setText(Tx("měsíc", "month"));
    split_[2]->setText(Tx("týden", "week"));
    split_[3]->setText(Tx("den", "day"));
    splitL_[0]->setText(Tx("(soubor-2004.dbf)", "(file-2004.dbf)"));
    splitL_[1]->setText(Tx("(soubor-2004-08.dbf)", "(file-2004-08.dbf)"));
    splitL_[2]->setText(Tx("(soubor-2004-w36.dbf)", "(file-2004-w36.dbf)"));
    splitL_[3]->setText(Tx("(soubor-2004-08-31.dbf)", "(file-2004-08-31.dbf)"));
    cteniRG_->setTitle(Tx("Čtení archivace z přístroje", "Reading data from logger"));
    cteniItems_[0]->setText(Tx("od záložky", "from bookmark"));
    cteniItems_[1]->setText(Tx("všechno", "all"));
    cteniItems_[2]->setText(QStringLiteral(" "));
    zalozkaCB_->setText(Tx("Vložit záložku", "Insert bookmark"));
    zalozkaCB_->setToolTip(QStringLiteral("Označení posleního záznamu přečteného do PC"));  // both languages
    standardBB_->setText(Tx("&Standardně", "&Standard"));
    helpBB_->setText(Tx("&Nápověda", "&Help"));
    setUpBB_->setText(Tx("&Nastavit", "&Set-up"));
}

namespace {
// Selects item `index` of a radio group; an index the group does not hold
// leaves no item selected.
void SelectItem(QButtonGroup* group, QRadioButton* const* items, int count, int index) {
    group->setExclusive(false);
    for (int i = 0; i < count; ++i) items[i]->setChecked(i == index);
    group->setExclusive(true);
}
}  // namespace

void TFAParamC::LoadControls() {
    SelectItem(fileNameGroup_, fileNameItems_, 3, config_.NameSource);
    for (int i = 0; i < 4; ++i) split_[i]->setChecked((config_.SplitFlags & (1 << i)) != 0);
    SelectItem(cteniGroup_, cteniItems_, 3, config_.ReadMode);
    zalozkaCB_->setChecked(config_.InsertBookmark != 0);
    FileName_RGClick();
}

int TFAParamC::FileNameItem() const { return fileNameGroup_->checkedId(); }
int TFAParamC::CteniItem() const { return cteniGroup_->checkedId(); }

void TFAParamC::StoreControls() {
    config_.NameSource = FileNameItem();
    std::int32_t flags = 0;
    for (int i = 0; i < 4; ++i)
        if (split_[i]->isChecked()) flags |= 1 << i;
    config_.SplitFlags = flags;
    config_.ReadMode = CteniItem();
    config_.InsertBookmark = zalozkaCB_->isChecked() ? 1 : 0;
}

void TFAParamC::FileName_RGClick() {
    // The user's own file is never split.
    ukladaniGB_->setVisible(FileNameItem() != 2);
}

void TFAParamC::Standard_BBClick() {
    SelectItem(fileNameGroup_, fileNameItems_, 3, 0);
    split_[0]->setChecked(true);
    for (int i = 1; i < 4; ++i) split_[i]->setChecked(false);
    SelectItem(cteniGroup_, cteniItems_, 3, 0);
    zalozkaCB_->setChecked(true);
    FileName_RGClick();
}

void TFAParamC::SetUp_BBClick() {
    StoreControls();
    accept();
}

void TFAParamC::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kDialogHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
