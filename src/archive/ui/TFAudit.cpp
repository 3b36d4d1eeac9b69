// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/TFAudit.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/AuditTrail.h"
#include "base/ui/DialogKit.h"

namespace kolvex::ui {

namespace {

const char* const kActions[] = {audit::ParameterStore, audit::ClockSet,      audit::ArchiveErase, audit::Download,
                                audit::RecordDeletion, audit::TableDeletion, audit::Repair,       audit::Conversion};

enum Column { ColTime, ColUser, ColProgram, ColAction, ColObject, ColDetails, ColCount };

}  // namespace

TFAudit::TFAudit(const std::string& folder, QWidget* parent) : QDialog(parent), folder_(folder) {
    setObjectName(QStringLiteral("TFAudit"));
    Hooks = DefaultDialogHooks(this);
    filterL_ = new QLabel(this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("Filter_E"));
    filter_->setClearButtonEnabled(true);
    filterL_->setBuddy(filter_);
    actionL_ = new QLabel(this);
    action_ = new QComboBox(this);
    action_->setObjectName(QStringLiteral("Action_CB"));
    actionL_->setBuddy(action_);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("Result_L"));
    QFont bold = result_->font();
    bold.setBold(true);
    result_->setFont(bold);
    result_->setWordWrap(true);
    problems_ = new QListWidget(this);
    problems_->setObjectName(QStringLiteral("Problems_LB"));
    problems_->setMaximumHeight(110);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("Audit_LV"));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(ColCount);
    list_->setAlternatingRowColors(true);
    list_->setUniformRowHeights(true);
    trail_ = new QLabel(this);
    trail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verify_ = MakeButton(this, "Verify_BB", QStyle::SP_BrowserReload);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);

    auto* filters = new QHBoxLayout;
    filters->addWidget(filterL_);
    filters->addWidget(filter_, 1);
    filters->addSpacing(12);
    filters->addWidget(actionL_);
    filters->addWidget(action_);
    auto* top = new QVBoxLayout(this);
    top->addWidget(result_);
    top->addWidget(problems_);
    top->addLayout(filters);
    top->addWidget(list_, 1);
    top->addWidget(trail_);
    top->addLayout(ButtonRow(this).Action(verify_).Stretch().Close(close_).Layout());
    resize(980, 560);

    connect(filter_, &QLineEdit::textChanged, this, &TFAudit::ApplyFilter);
    connect(action_, &QComboBox::currentIndexChanged, this, &TFAudit::ApplyFilter);
    connect(verify_, &QPushButton::clicked, this, &TFAudit::Reload);
    ApplyCaptions();
}

void TFAudit::ApplyCaptions() {
    setWindowTitle(Tx("Auditní protokol", "Audit trail"));
    filterL_->setText(Tx("&Hledat", "&Filter"));
    filter_->setPlaceholderText(Tx("text v kterémkoli sloupci", "text in any column"));
    actionL_->setText(Tx("&Akce", "&Action"));
    const int current = action_->currentIndex();
    {
        const QSignalBlocker block(action_);
        action_->clear();
        action_->addItem(Tx("Všechny akce", "All actions"), QString());
        for (const char* a : kActions) action_->addItem(Q(AuditActionText(a, CurrentLanguage())), QString::fromLatin1(a));
        action_->setCurrentIndex(current < 0 ? 0 : current);
    }
    list_->setHeaderLabels({Tx("Čas", "Time"), Tx("Uživatel", "User"), Tx("Program", "Program"), Tx("Akce", "Action"),
                            Tx("Objekt", "Object"), Tx("Podrobnosti", "Details")});
    verify_->setText(Tx("&Ověřit znovu", "&Verify again"));
    close_->setText(Tx("&Zavřít", "&Close"));
    trail_->setText(Tx("Soubor: ", "File: ") + Q(AuditFilePath(folder_)));
    AuditVerification v;
    v.Entries = entries_;
    v.Tables = tables_;
    v.Problems.resize(problemCount_);
    result_->setText(Q(AuditVerificationText(v, CurrentLanguage())));
    // The rows' action and object texts follow the language too.
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = list_->topLevelItem(i);
        const std::string a = it->data(ColAction, Qt::UserRole).toString().toStdString();
        it->setText(ColAction, Q(AuditActionText(a, CurrentLanguage())));
        const auto entry = nlohmann::json::parse(it->data(ColObject, Qt::UserRole).toString().toStdString(), nullptr, false);
        it->setText(ColObject, Q(AuditObjectText(entry, CurrentLanguage())));
    }
}

void TFAudit::Reload() {
    list_->clear();
    problems_->clear();
    std::vector<AuditLine> lines;
    AuditVerification v;
    try {
        const std::string path = AuditFilePath(folder_);
        lines = ReadAuditTrail(path);
        v = VerifyAuditTrail(path);
    } catch (const std::exception& e) {
        Hooks.Error(e);
        v.Problems.push_back({0, "", e.what()});
    }
    std::vector<bool> broken(lines.size() + 1, false);
    for (const auto& p : v.Problems) {
        if (p.Line && p.Line <= lines.size()) broken[p.Line] = true;
        problems_->addItem(Q((p.Path.empty() ? std::string() : p.Path + ": ") + p.Text));
    }
    for (const AuditLine& l : lines) {
        auto* it = new QTreeWidgetItem(list_);
        if (!l.Valid) {
            it->setText(ColDetails, Q(l.Text));
        } else {
            const nlohmann::json& e = l.Entry;
            std::string local = e.value("local", std::string());
            if (local.size() > 10 && local[10] == 'T') local[10] = ' ';
            it->setText(ColTime, Q(local));
            it->setText(ColUser, Q(e.value("user", std::string()) + "@" + e.value("host", std::string())));
            it->setText(ColProgram, Q(e.value("program", std::string()) + " " + e.value("version", std::string())));
            it->setData(ColAction, Qt::UserRole, Q(e.value("action", std::string())));
            it->setData(ColObject, Qt::UserRole, Q(e.dump()));
            it->setText(ColDetails, Q(AuditDetailsText(e)));
            it->setToolTip(ColDetails, Q(AuditDetailsText(e)));
        }
        if (broken[l.Number])
            for (int c = 0; c < ColCount; ++c) it->setBackground(c, QColor(255, 200, 200));
    }
    ok_ = v.Ok();
    problemCount_ = v.Problems.size();
    entries_ = v.Entries;
    tables_ = v.Tables;
    problems_->setVisible(!ok_);
    QPalette pal = result_->palette();
    pal.setColor(QPalette::WindowText, ok_ ? QColor(0, 110, 0) : QColor(180, 0, 0));
    result_->setPalette(pal);
    ApplyCaptions();
    for (int c = 0; c < ColDetails; ++c) list_->resizeColumnToContents(c);
    ApplyFilter();
    list_->scrollToBottom();
}

void TFAudit::ApplyFilter() {
    const QString text = filter_->text().trimmed();
    const QString action = action_->currentData().toString();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = list_->topLevelItem(i);
        bool show = action.isEmpty() || it->data(ColAction, Qt::UserRole).toString() == action;
        if (show && !text.isEmpty()) {
            show = false;
            for (int c = 0; c < ColCount && !show; ++c) show = it->text(c).contains(text, Qt::CaseInsensitive);
        }
        it->setHidden(!show);
    }
}

void TFAudit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) ApplyCaptions();
    QDialog::changeEvent(event);
}

}  // namespace kolvex::ui
