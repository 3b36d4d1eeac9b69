// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TFLoggers.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/LoggerSettings.h"
#include "base/ui/DialogKit.h"

namespace kolvex::ui {

TFLoggers::TFLoggers(std::string settingsFolder, std::string dataFolder, QWidget* parent)
    : QDialog(parent), settingsFolder_(std::move(settingsFolder)), dataFolder_(std::move(dataFolder)) {
    setObjectName(QStringLiteral("TFLoggers"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    folderL_ = new QLabel(this);
    folderL_->setObjectName(QStringLiteral("Folder_L"));
    folderL_->setWordWrap(true);
    folderL_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list_ = new QTableWidget(0, 4, this);
    list_->setObjectName(QStringLiteral("Loggers_TW"));
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setMinimumSize(640, 200);
    refreshBB_ = MakeButton(this, "Refresh_BB", QStyle::SP_BrowserReload);
    closeBB_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    closeBB_->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderL_);
    layout->addWidget(list_, 1);
    layout->addLayout(ButtonRow(this).Action(refreshBB_).Stretch().Close(closeBB_).Layout());
    connect(refreshBB_, &QPushButton::clicked, this, &TFLoggers::Refresh);
    ApplyCaptions();  // fills the list too
}

void TFLoggers::ApplyCaptions() {
    setWindowTitle(Tx("Nastavené záznamníky", "Configured loggers"));
    list_->setHorizontalHeaderLabels({Tx("Název", "Name"), Tx("Port", "Port"), Tx("Poslední běh", "Last run"),
                                      Tx("Výsledek", "Result")});
    refreshBB_->setText(Tx("&Obnovit", "&Refresh"));
    closeBB_->setText(Tx("&Zavřít", "&Close"));
    Refresh();
}

void TFLoggers::Refresh() {
    const auto loggers = ListConfiguredLoggers(settingsFolder_, dataFolder_);
    folderL_->setText(loggers.empty() ? Tx("Ve složce  %1  nejsou nastaveny žádné záznamníky (NÁZEV.conf).",
                                           "No loggers are set up in  %1  (NAME.conf).")
                                            .arg(QString::fromStdString(settingsFolder_))
                                      : Tx("Nastavení: %1", "Settings: %1").arg(QString::fromStdString(settingsFolder_)));
    list_->setRowCount(static_cast<int>(loggers.size()));
    for (int row = 0; row < static_cast<int>(loggers.size()); ++row) {
        const auto& l = loggers[static_cast<std::size_t>(row)];
        QString result = !l.Problem.empty()        ? QString::fromStdString(l.Problem)
                         : l.LastOutcome.empty()   ? Tx("dosud neběžel", "not run yet")
                                                   : QString::fromStdString(l.LastOutcome);
        if (l.Problem.empty() && l.LastExcursions > 0)
            result += Tx(", mimo meze: %1×", ", alarm excursions: %1").arg(l.LastExcursions);
        const QString cells[] = {QString::fromStdString(l.Name), QString::fromStdString(l.Port),
                                 QString::fromStdString(l.LastRun), result};
        for (int col = 0; col < 4; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setToolTip(col == 3 ? result : QString::fromStdString(l.LogFile));
            if (col == 3 && ((!l.LastOutcome.empty() && l.LastOutcome != "ok") || l.LastExcursions > 0))
                item->setForeground(Qt::red);
            list_->setItem(row, col, item);
        }
    }
    list_->resizeColumnsToContents();
}

}  // namespace kolvex::ui
