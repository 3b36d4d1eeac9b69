// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TFSetPC.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ConfigDefaults.h"
#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/Help.h"
#include "base/ui/ModalRunner.h"
#include "base/Errors.h"
#include "link/CommSettings.h"
#include "link/NetPort.h"
#include "link/PortNames.h"
#include "app/BuiltinPort.h"

namespace kolvex::ui {

void CentreOnScreen(QWidget* w) {
    w->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    }
}

void ApplyPortSettings(AppContext& ctx) {
    CommSettings comm = CommFromConfig(ctx.Config);
    auto stopUnusedSimulator = [&ctx] {
        if (ctx.Simulator && !(ctx.Port.IsOpen() && SamePortName(ctx.Port.PortName, kSimulatedPort)))
            ctx.Simulator->Stop();
    };
    try {
        ApplyCommSettings(ctx.Port, comm);
    } catch (...) {
        CommToConfig(comm, ctx.Config);
        stopUnusedSimulator();
        throw;
    }
    CommToConfig(comm, ctx.Config);
    stopUnusedSimulator();
}

QString PortListText(const PortEntry& entry) {
    QString text = QString::fromStdString(entry.Name);
    if (!entry.Device.empty()) text += QStringLiteral("  ") + QString::fromStdString(entry.Device);
    // A description that only repeats the device's name adds nothing.
    const QString description = QString::fromStdString(entry.Description);
    const QString device = QString::fromStdString(entry.Device);
    if (!description.isEmpty() && description != device && description != device.section(QLatin1Char('/'), -1))
        text += QStringLiteral("  ") + description;
    // A port this user cannot open says why.
    if (entry.Problem != PortProblem::None)
        text += QStringLiteral("  [") + Q(PortProblemText(entry.Problem, entry.Device)) + QLatin1Char(']');
    return text;
}

// ---- TFSetPC ---------------------------------------------------------------

TFSetPC::TFSetPC(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFSetPC"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Hooks = DefaultDialogHooks(this);

    gbRS232_ = new QGroupBox(this);
    gbRS232_->setObjectName(QStringLiteral("GBRS232"));
    portNameL_ = new QLabel(gbRS232_);
    portNameL_->setObjectName(QStringLiteral("PortName_L"));
    portCB_ = new QComboBox(gbRS232_);
    portCB_->setObjectName(QStringLiteral("Port_CB"));
    portCB_->setEditable(false);
    portCB_->setMinimumWidth(260);
    portCB_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    portNameL_->setBuddy(portCB_);
    netPortL_ = new QLabel(gbRS232_);
    netPortL_->setObjectName(QStringLiteral("NetPort_L"));
    netPortE_ = new QLineEdit(gbRS232_);
    netPortE_->setObjectName(QStringLiteral("NetPort_E"));
    netPortE_->setPlaceholderText(QStringLiteral("rfc2217://host:port, /dev/…"));
    netPortE_->setClearButtonEnabled(true);
    netPortL_->setBuddy(netPortE_);
    adresaL_ = new QLabel(gbRS232_);
    adresaL_->setObjectName(QStringLiteral("Adresa_L"));
    eAdrQuend_ = new QSpinBox(gbRS232_);
    eAdrQuend_->setObjectName(QStringLiteral("EAdrQuend"));
    eAdrQuend_->setRange(0, 255);
    detailsBB_ = MakeButton(this, "Details_BB", QStyle::SP_FileDialogDetailedView);
    refreshBB_ = MakeButton(gbRS232_, "Refresh_BB", QStyle::SP_BrowserReload);

    auto* grid = new QGridLayout(gbRS232_);
    grid->addWidget(portNameL_, 0, 0);
    grid->addWidget(portCB_, 0, 1);
    grid->addWidget(refreshBB_, 0, 2);
    grid->addWidget(netPortL_, 1, 0);
    grid->addWidget(netPortE_, 1, 1, 1, 2);
    grid->addWidget(adresaL_, 2, 0);
    grid->addWidget(eAdrQuend_, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);

    setUpBB_ = MakeButton(this, "SetUp_BB", QStyle::SP_DialogApplyButton);
    setUpBB_->setDefault(true);
    helpBB_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    closeBB_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);

    // Details on the left; Help sits between Set-up and Close.
    QBoxLayout* buttons = ButtonRow(this)
                              .Action(detailsBB_)
                              .Stretch()
                              .Action(setUpBB_)
                              .Help(helpBB_, kHelpContext)
                              .Close(closeBB_)
                              .Layout();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbRS232_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(setUpBB_, &QPushButton::clicked, this, &TFSetPC::SetUp_BBClick);
    connect(detailsBB_, &QPushButton::clicked, this, &TFSetPC::Details_BBClick);
    connect(refreshBB_, &QPushButton::clicked, this, &TFSetPC::Refresh_BBClick);
    // One port at a time: a port chosen from the list replaces a typed one,
    // and typing one leaves nothing chosen in the list.
    connect(portCB_, &QComboBox::activated, this, [this] { netPortE_->clear(); });
    connect(netPortE_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.trimmed().isEmpty()) portCB_->setCurrentIndex(-1);
    });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { ShowHelpTopic(this, kHelpContext); });

    // Serial devices come and go while the dialog is open: device nodes
    // appear in /dev, stable names a moment later in /dev/serial/by-id.
    plugDelay_ = new QTimer(this);
    plugDelay_->setSingleShot(true);
    plugDelay_->setInterval(700);
    connect(plugDelay_, &QTimer::timeout, this, &TFSetPC::Refresh_BBClick);
    devWatcher_ = new QFileSystemWatcher(this);
    for (const char* folder : {"/dev", "/dev/serial", kSerialByIdFolder})
        if (QDir(QString::fromLatin1(folder)).exists()) devWatcher_->addPath(QString::fromLatin1(folder));
    connect(devWatcher_, &QFileSystemWatcher::directoryChanged, this, [this] { plugDelay_->start(); });

    // FormCreate: captions, the hidden address, the port list of the last
    // enumeration with the configured port selected.
    ApplyCaptions();
    ctx_.Config.BusAddress = 255;
    adresaL_->hide();
    eAdrQuend_->hide();
    eAdrQuend_->setValue(255);
    FillPortList(ctx_.Config.ComPort);
    if (IsNetworkPort(ctx_.Config.ComPort)) netPortE_->setText(QString::fromStdString(ctx_.Config.ComPort));
    CentreOnScreen(this);
}

void TFSetPC::FillPortList(const std::string& name) {
    portCB_->clear();
    for (const PortEntry& entry : ctx_.Port.PortList)
        portCB_->addItem(PortListText(entry), QString::fromStdString(entry.Name));
    // A configured device path that is not listed (unplugged) stays choosable.
    // A network port is shown in its own field.
    if (IsDevicePath(name) && !IsNetworkPort(name) && portCB_->findData(QString::fromStdString(name)) < 0)
        portCB_->addItem(QString::fromStdString(name), QString::fromStdString(name));
    portCB_->setCurrentIndex(-1);  // nothing chosen when the port is not listed (or typed)
    for (int i = 0; i < portCB_->count(); ++i) {
        if (SamePortName(portCB_->itemData(i).toString().toStdString(), name)) {
            portCB_->setCurrentIndex(i);
            break;
        }
    }
}

void TFSetPC::Refresh_BBClick() {
    std::string chosen =
        portCB_->currentIndex() >= 0 ? portCB_->currentData().toString().toStdString() : ctx_.Config.ComPort;
    if (!netPortE_->text().trimmed().isEmpty()) chosen.clear();  // a typed port stays the choice
    ctx_.Port.EnumeratePorts();
    FillPortList(chosen);
}

void TFSetPC::ApplyCaptions() {
    setWindowTitle(Tx("Počítač", "Computer"));
    gbRS232_->setTitle(QStringLiteral("RS&232"));  // not translated
    portNameL_->setText(Tx("Číslo portu", "Port name"));
    netPortL_->setText(Tx("Síťový port nebo &zařízení", "Network port or &device"));
    netPortE_->setToolTip(Tx("Port za síťovým sériovým serverem (rfc2217://počítač:port nebo tcp://počítač:port) "
                             "nebo sériové zařízení, které v seznamu není (např. /dev/pts/3)",
                             "A port behind a network serial server (rfc2217://host:port or tcp://host:port) "
                             "or a serial device that is not in the list (for example /dev/pts/3)"));
    adresaL_->setText(Tx("Adresa", "Address"));
    detailsBB_->setText(Tx("Detaily", "Details"));
    refreshBB_->setText(Tx("&Obnovit", "&Refresh"));
    refreshBB_->setToolTip(Tx("Znovu vyhledat sériové porty", "Search the serial ports again"));
    setUpBB_->setText(Tx("&Nastavit", "&Set-up"));
    helpBB_->setText(Tx("&Nápověda", "&Help"));
    closeBB_->setText(Tx("&Zavřít", "&Close"));
}

void TFSetPC::SetUp_BBClick() {
    const std::string typed = netPortE_->text().trimmed().toStdString();
    if (!typed.empty() && typed.front() == '/') {
        // A device path: anything under /dev that opens as a terminal.
        std::string reason;
        if (typed.rfind("/dev/", 0) != 0) {
            reason = Tr("zařízení musí ležet ve složce /dev", "a device must lie under /dev");
        } else {
            int error = 0;
            const PortProblem problem = CheckTerminal(typed, &error);
            if (problem != PortProblem::None) reason = PortProblemText(problem, typed, error);
        }
        if (!reason.empty()) {
            Hooks.Error(ESetPC(Tr("Port  " + typed + "  nelze použít: ", "Port  " + typed + "  cannot be used: ") +
                               reason));
            netPortE_->setFocus();
            netPortE_->selectAll();
            return;
        }
    } else if (!typed.empty() && !ParseNetworkPort(typed)) {
        // Refused before anything is stored; the dialog stays open.
        Hooks.Error(ESetPC(Tr("Síťový port  " + typed +
                                  "  nemá správný tvar: napište rfc2217://počítač:port nebo tcp://počítač:port "
                                  "(port 1 až 65535) nebo cestu k zařízení, např. /dev/ttyUSB0",
                              "Network port  " + typed +
                                  "  is malformed: write rfc2217://host:port or tcp://host:port (port 1 to 65535), "
                                  "or a device path such as /dev/ttyUSB0")));
        netPortE_->setFocus();
        netPortE_->selectAll();
        return;
    }
    ctx_.Config.BusAddress = static_cast<std::uint8_t>(eAdrQuend_->value());
    const bool wasNetwork = IsNetworkPort(ctx_.Config.ComPort);
    if (!typed.empty()) {
        ctx_.Config.ComPort = typed;
        // A network reply also waits for the round trip: a local reply
        // time-out is raised to the network default when switching over.
        if (IsNetworkPort(typed) && !wasNetwork && ctx_.Config.TSlot < kNetworkSlotMs)
            ctx_.Config.TSlot = kNetworkSlotMs;
    } else {
        ctx_.Config.ComPort = portCB_->currentIndex() >= 0
                                  ? StoredPortName(portCB_->currentData().toString().toStdString())
                                  : std::string();
    }
    try {
        ApplyPortSettings(ctx_);
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
    accept();  // closes with OK in any case
}

void TFSetPC::Details_BBClick() {
    TFSetPCAdvanced details(ctx_, this);
    RunModal(details);
}

// ---- TFSetPCAdvanced -------------------------------------------------------

TFSetPCAdvanced::TFSetPCAdvanced(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFSetPCAdvanced"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    rs232GB_ = new QGroupBox(this);
    rs232GB_->setObjectName(QStringLiteral("RS232_GB"));
    auto makeTime = [this](const char* name) {
        auto* s = new QSpinBox(rs232GB_);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(10, 10000);
        s->setSingleStep(10);
        s->setAlignment(Qt::AlignRight);
        return s;
    };
    tIdleSE_ = makeTime("TIdle_SE");
    tSlotSE_ = makeTime("TSlot_SE");
    auto* idleL = new QLabel(QStringLiteral("T.iddle"), rs232GB_);  // not translated
    idleL->setObjectName(QStringLiteral("TIdle_L"));
    idleL->setBuddy(tIdleSE_);
    auto* slotL = new QLabel(QStringLiteral("T.Slot"), rs232GB_);
    slotL->setObjectName(QStringLiteral("TSlot_L"));
    slotL->setBuddy(tSlotSE_);
    errorNumberL_ = new QLabel(rs232GB_);
    errorNumberL_->setObjectName(QStringLiteral("ErrorNumber_L"));
    pocetChybL_ = new QLabel(rs232GB_);
    pocetChybL_->setObjectName(QStringLiteral("PocetChyb_L"));
    pocetChybL_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* grid = new QGridLayout(rs232GB_);
    grid->addWidget(idleL, 0, 0);
    grid->addWidget(tIdleSE_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms"), rs232GB_), 0, 2);
    grid->addWidget(slotL, 1, 0);
    grid->addWidget(tSlotSE_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms"), rs232GB_), 1, 2);
    grid->addWidget(errorNumberL_, 2, 0);
    grid->addWidget(pocetChybL_, 2, 1);

    setUpBB_ = MakeButton(this, "SetUp_BB", QStyle::SP_DialogApplyButton);
    setUpBB_->setDefault(true);
    defaultBB_ = MakeButton(this, "Default_BB", QStyle::SP_DialogResetButton);
    helpBB_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    closeBB_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    auto* buttons = new QGridLayout;
    buttons->addWidget(setUpBB_, 0, 0);
    buttons->addWidget(defaultBB_, 0, 1);
    buttons->addWidget(helpBB_, 1, 0);
    buttons->addWidget(closeBB_, 1, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(rs232GB_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(setUpBB_, &QPushButton::clicked, this, &TFSetPCAdvanced::SetUp_BBClick);
    connect(defaultBB_, &QPushButton::clicked, this, &TFSetPCAdvanced::Default_BBClick);
    ConnectHelp(helpBB_, this, kHelpButtonContext);
    connect(closeBB_, &QPushButton::clicked, this, &QDialog::reject);
    connect(tIdleSE_, &QSpinBox::editingFinished, this, &TFSetPCAdvanced::TIdle_SEExit);
    connect(tSlotSE_, &QSpinBox::editingFinished, this, &TFSetPCAdvanced::TSlot_SEExit);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { ShowHelpTopic(this, kHelpContext); });

    FormActivate();
    CentreOnScreen(this);
}

void TFSetPCAdvanced::ApplyCaptions() {
    setWindowTitle(Tx("Počítač - detaily", "Computer - details"));
    rs232GB_->setTitle(QStringLiteral("RS&232"));  // not translated
    errorNumberL_->setText(Tx("Počet chyb", "Errors"));
    setUpBB_->setText(Tx("&Nastavit", "&Set-up"));
    defaultBB_->setText(Tx("&Standardně", "&Default"));
    helpBB_->setText(Tx("&Nápověda", "&Help"));
    closeBB_->setText(Tx("&Zavřít", "&Close"));
}

void TFSetPCAdvanced::FormActivate() {
    ApplyCaptions();
    tIdleSE_->setValue(ctx_.Config.TIdle);
    tSlotSE_->setValue(ctx_.Config.TSlot);
    pocetChybL_->setText(QString::number(ctx_.Port.ErrorCount));
}

void TFSetPCAdvanced::showEvent(QShowEvent* e) {
    FormActivate();
    QDialog::showEvent(e);
}

void TFSetPCAdvanced::TIdle_SEExit() { tIdleSE_->setValue(RoundDownToTen(tIdleSE_->value())); }

void TFSetPCAdvanced::TSlot_SEExit() { tSlotSE_->setValue(RoundDownToTen(tSlotSE_->value())); }

void TFSetPCAdvanced::Default_BBClick() {
    tIdleSE_->setValue(20);
    tSlotSE_->setValue(100);
}

void TFSetPCAdvanced::SetUp_BBClick() {
    // Set-up by the Enter key does not leave the fields; round here as well
    // so that only multiples of 10 are stored.
    TIdle_SEExit();
    TSlot_SEExit();
    ctx_.Config.TIdle = static_cast<std::uint16_t>(tIdleSE_->value());
    ctx_.Config.TSlot = static_cast<std::uint16_t>(tSlotSE_->value());
    accept();
}

}  // namespace kolvex::ui
