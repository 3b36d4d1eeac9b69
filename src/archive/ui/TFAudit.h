// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The audit trail of the data folder as a list: every change the program
// made to a logger or a table, newest last, filtered by a text and an
// action, with the result of the trail's verification above it.

#include <QDialog>
#include <string>

#include "base/ui/DialogHooks.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace kolvex::ui {

class TFAudit : public QDialog {
    Q_OBJECT
public:
    // The trail in `folder` (the data folder).
    explicit TFAudit(const std::string& folder, QWidget* parent = nullptr);
    void ApplyCaptions();
    // Reads the trail and verifies it; errors go to Hooks.Error.
    void Reload();

    QTreeWidget* List() const { return list_; }
    QLabel* Result() const { return result_; }
    QListWidget* Problems() const { return problems_; }
    QLineEdit* Filter() const { return filter_; }
    QComboBox* ActionFilter() const { return action_; }

    DialogHooks Hooks;

public slots:
    void ApplyFilter();

protected:
    void changeEvent(QEvent* event) override;

private:
    std::string folder_;
    QLabel *filterL_, *actionL_, *result_, *trail_;
    QLineEdit* filter_;
    QComboBox* action_;
    QTreeWidget* list_;
    QListWidget* problems_;
    QPushButton *verify_, *close_;
    bool ok_ = true;
    std::size_t problemCount_ = 0, entries_ = 0, tables_ = 0;
};

}  // namespace kolvex::ui
