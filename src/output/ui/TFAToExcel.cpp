// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/TFAToExcel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <optional>

#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TFProgress.h"
#include "base/Errors.h"
#include "archive/FileOps.h"
#include "archive/SummaryReport.h"
#include "output/TableOutput.h"
#include "output/ui/PeriodGroup.h"

namespace kolvex::ui {

namespace {

constexpr int kHelpContext = 1324;

QString XlsxFilter() { return Tx("Sešit Excel (*.xlsx)", "Excel workbook (*.xlsx)"); }
QString CsvFilter() { return Tx("Text CSV (*.csv)", "CSV text (*.csv)"); }

}  // namespace

TFAToExcel::TFAToExcel(kolvex::ArchiveContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFAToExcel"));
    Hooks = DefaultOutputHooks(this);
    ChooseFile = [this](const QString& suggested) -> std::optional<SaveChoice> {
        QFileDialog dialog(this, Tx("Přenos dat do Excelu", "Convert to Excel"));
        dialog.setObjectName(QStringLiteral("Excel_SD"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters({XlsxFilter(), CsvFilter()});
        dialog.setDefaultSuffix(QStringLiteral("xlsx"));
        dialog.setDirectory(QFileInfo(suggested).absolutePath());
        dialog.selectFile(QFileInfo(suggested).fileName());
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter == CsvFilter() ? QStringLiteral("csv") : QStringLiteral("xlsx"));
        });
        if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        SaveChoice c;
        c.Path = dialog.selectedFiles().front();
        // The extension decides; without one, the chosen type does.
        const QString suffix = QFileInfo(c.Path).suffix().toLower();
        c.Csv = suffix == QLatin1String("csv") || (suffix != QLatin1String("xlsx") && dialog.selectedNameFilter() == CsvFilter());
        return c;
    };
    OpenFile = OpenInRegisteredApplication;
    OpenFolder = OpenContainingFolder;

    period_ = new PeriodGroup(kolvex::PeriodDialog::Export, true, this);
    excel_ = MakeButton(this, "Excel_BB", QStyle::SP_DialogSaveButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    excel_->setDefault(true);

    auto* top = new QVBoxLayout(this);
    top->addWidget(period_);
    top->addSpacing(4);
    top->addLayout(FootRow(this, help_, kHelpContext, {excel_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(excel_, &QPushButton::clicked, this, &TFAToExcel::Excel_BBClick);

    ApplyCaptions();
    period_->Load(ctx_.Config.ExportPeriod, ctx_.Config.StepIndex);
}

void TFAToExcel::ApplyCaptions() {
    setWindowTitle(Tx("Přenos dat do Excelu", "Convert to Excel"));
    excel_->setText(QStringLiteral("&Excel"));
    help_->setText(Tx("&Nápověda", "&Help"));
    close_->setText(Tx("&Zavřít", "&Close"));
    period_->ApplyCaptions();
}

QString TFAToExcel::SuggestedPath() const {
    const std::string table = ctx_.Adm.Table1.Path();
    if (table.empty()) return QDir::current().filePath(QStringLiteral("export.xlsx"));
    return Q(kolvex::ReplaceExtension(table, ".xlsx"));
}

void TFAToExcel::Excel_BBClick() {
    if (!ctx_.Adm.Table1.IsOpen()) {
        // Nothing to export: no file is asked for.
        Hooks.Error(kolvex::EADM(kolvex::Tr("Tabulka není otevřena", "The table is not open")));
        done(QDialog::Rejected);
        return;
    }
    const std::optional<SaveChoice> choice = ChooseFile ? ChooseFile(SuggestedPath()) : std::nullopt;
    if (!choice || choice->Path.isEmpty()) return;  // nothing chosen: the dialog stays
    const kolvex::Lang lang = kolvex::CurrentLanguage();
    bool saved = false;
    std::uint64_t rows = 0;
    std::unique_ptr<TFProgress> progress;
    try {
        const bool all = period_->IsAll();
        const double start = period_->EffectiveStart(), end = period_->EffectiveEnd();
        kolvex::Table& table = ctx_.Adm.Table1;
        kolvex::TablePositionGuard guard(table);
        progress = std::make_unique<TFProgress>(this);
        progress->SetMessage(Tx("Převod dat do Excelu", "Convert do Excel"), true);
        progress->show();
        const std::vector<kolvex::OutputField> fields = kolvex::OutputFields(table, ctx_.Adm.ParameterRecord);
        const std::vector<kolvex::ExportColumn> columns = kolvex::ExportColumnsOf(fields);
        const std::string path = choice->Path.toStdString();
        // The workbook's second sheet: the summary of the period.
        std::optional<kolvex::SummaryDocument> summary;
        if (!choice->Csv)
            summary = kolvex::MakeSummaryDocument(
                kolvex::SummariseTable(table, ctx_.Adm.ParameterRecord, {all, start, end}), lang);
        std::unique_ptr<kolvex::RowSink> sink =
            choice->Csv ? kolvex::OpenCsvExport(path, columns, lang)
                        : kolvex::OpenXlsxExport(path,
                                                 kolvex::MakeExportHeader(table, ctx_.Adm.ParameterRecord, all, start,
                                                                          end, period_->StepIndex(), lang),
                                                 columns, SheetRows, summary ? &*summary : nullptr);
        // An abort keeps the rows written so far: the file is completed all the same.
        kolvex::ExportRecords(table, fields, start, end, period_->StepSeconds(), *sink, [&](int percent) {
            const bool aborted = progress->SetProgress(percent);
            QCoreApplication::processEvents();
            return aborted || progress->Aborted();
        });
        sink->Close();
        rows = sink->Rows();
        saved = true;
        written_ = choice->Path;
    } catch (const std::exception& e) {
        if (progress) progress->close();
        progress.reset();
        Hooks.Error(e);
    }
    if (progress) progress->close();
    progress.reset();
    if (saved) {
        // Say what was made; the user opens the file or its folder from there.
        status_ = SavedText(written_, rows, false);
        const auto next = Hooks.Saved ? Hooks.Saved(written_, status_) : OutputHooks::AfterSave::Nothing;
        if (next == OutputHooks::AfterSave::OpenFolder && OpenFolder) OpenFolder(written_);
        // A file that no application opens: its folder instead, the user is
        // told, and the dialog stays as it was.
        if (next == OutputHooks::AfterSave::OpenFile &&
            !OpenWrittenFile(written_, OpenFile, OpenFolder, Hooks, QStringLiteral("Upozornění"),
                             QStringLiteral("Propojení na aplikaci Microsoft Excel není dostupné...\n") +
                                 QDir::toNativeSeparators(written_)))
            return;
    }
    done(QDialog::Accepted);
}

void TFAToExcel::done(int result) {
    period_->Store(ctx_.Config.ExportPeriod, &ctx_.Config.StepIndex);
    QDialog::done(result);
}

void TFAToExcel::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
