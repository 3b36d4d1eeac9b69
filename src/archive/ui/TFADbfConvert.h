// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The conversion dialog of old-structure archive tables: shows the table's
// name and the inputs its records hold, lets the user rename the inputs and
// their units, and converts the table into the current layout (the work is
// done by kolvex::OldDatabaseConversion). Its captions are Czech in both
// languages.
//
// DialogOldStructureConverter is what the data module calls when the user
// agrees to convert: it creates one dialog per conversion and shows it
// modally. InstallOldDatabaseConverter sets it up at start-up together with
// the hidden dialog instance the main window keeps.

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "archive/ArchiveContext.h"
#include "archive/Adm.h"
#include "archive/OldConversion.h"
#include "base/ui/DialogHooks.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace kolvex::ui {

class TFADbfConvert : public QDialog {
    Q_OBJECT
public:
    // Convert_BB closes with Ok after the conversion, Close_BB with Abort.
    enum Result { Ok = QDialog::Accepted, Abort = 3 };

    explicit TFADbfConvert(kolvex::TADM& adm, QWidget* parent = nullptr);
    ~TFADbfConvert() override;

    // Every caption (Czech only, whatever the language).
    void ApplyCaptions();

    // Shows the file name, closes the data module's table without writing
    // its parameter file and checks the old table (EADbfConvert when it
    // cannot be converted). The old table stays open in the dialog.
    bool PrepareConversion(const std::string& path);
    // Reads the legacy parameter file (EADM when it cannot be opened; the
    // check sum message on a mismatch) and fills or hides the edits.
    void FormShow();

    kolvex::OldDatabaseConversion& Conversion() { return *conversion_; }

    // The plain message box (no icon) of the check sum, and the errors of the
    // convert button (the dialog then stays open).
    DialogHooks Hooks;

public slots:
    void Convert_BBClick();
    void Close_BBClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    kolvex::TADM& adm_;
    std::unique_ptr<kolvex::OldDatabaseConversion> conversion_;
    QLabel *label5_, *dbfName_, *label1_, *label2_, *vstup1_, *vstup2_, *label7_;
    QLineEdit *name1_, *jedn1_, *name2_, *jedn2_;
    QPushButton *convert_, *close_;
};

class DialogOldStructureConverter : public QObject, public kolvex::OldStructureConverter {
    Q_OBJECT
public:
    // Dialogs get parentWindow as their parent. The data module must outlive
    // this object; the destructor removes it from the data module.
    DialogOldStructureConverter(kolvex::TADM& adm, QWidget* parentWindow);
    ~DialogOldStructureConverter() override;

    // Creates the dialog, prepares the conversion, runs FormShow and shows
    // the dialog modally; true when it closed with Ok. Errors of the
    // preparation and of FormShow travel to the caller.
    bool Convert(kolvex::TADM& adm, const std::string& path) override;

    // The hidden instance created at start-up; it takes no part in conversions.
    TFADbfConvert* HiddenWindow() const { return hidden_; }
    void SetHiddenWindow(TFADbfConvert* w) { hidden_ = w; }

    // Test hooks: called with each new dialog before it is prepared, and in
    // place of the modal run (the default is RunModal).
    std::function<void(TFADbfConvert&)> OnCreated;
    std::function<int(TFADbfConvert&)> RunDialog;

private:
    kolvex::TADM& adm_;
    QPointer<QWidget> parentWindow_;
    QPointer<TFADbfConvert> hidden_;
};

// Creates the hidden conversion window and the converter (both children of
// parent) and installs the converter in ctx.Adm. The main window calls this
// once at start-up, after the data module exists.
DialogOldStructureConverter* InstallOldDatabaseConverter(kolvex::ArchiveContext& ctx, QWidget* parent);

}  // namespace kolvex::ui
