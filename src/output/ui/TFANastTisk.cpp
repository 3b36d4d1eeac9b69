// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/TFANastTisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "base/ui/DialogKit.h"
#include "base/Errors.h"
#include "base/ui/TFProgress.h"
#include "archive/FileOps.h"
#include "base/DateTime.h"
#include "output/TableOutput.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/SummaryPage.h"
#include "output/ui/TFQRAPrint.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1321;
}

TFANastTisk::TFANastTisk(kolvex::ArchiveContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFANastTisk"));
    Hooks = DefaultOutputHooks(this);
    Clock = [] { return kolvex::NowLocal(); };
    ShowPreview = [this](const TFQRAPrint& report) { report.Preview(this); };
    OpenFile = OpenInRegisteredApplication;
    OpenFolder = OpenContainingFolder;
    ChoosePdf = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, Tx("Tisk do PDF", "Print to PDF"), suggested,
                                            Tx("Dokument PDF (*.pdf)", "PDF document (*.pdf)"));
    };

    period_ = new PeriodGroup(kolvex::PeriodDialog::Print, true, this);
    textZapati_ = new QLabel(this);
    textZapati_->setObjectName(QStringLiteral("TextZapati_L"));
    ePata_ = new QLineEdit(this);
    ePata_->setObjectName(QStringLiteral("EPata"));
    ePata_->setMaxLength(kFooterLength);
    ePata_->setMinimumWidth(ePata_->fontMetrics().horizontalAdvance(QString(kFooterLength, QLatin1Char('M'))) * 3 / 4);
    textZapati_->setBuddy(ePata_);
    print_ = MakeButton(this, "Print_BB", QStyle::SP_FileDialogDetailedView);
    pdf_ = MakeButton(this, "Pdf_BB", QStyle::SP_DialogSaveButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    print_->setDefault(true);

    auto* footer = new QHBoxLayout;
    footer->addWidget(textZapati_);
    footer->addWidget(ePata_, 1);
    auto* top = new QVBoxLayout(this);
    top->addWidget(period_);
    top->addLayout(footer);
    top->addSpacing(4);
    top->addLayout(FootRow(this, help_, kHelpContext, {pdf_, print_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(print_, &QPushButton::clicked, this, &TFANastTisk::Print_BBClick);
    connect(pdf_, &QPushButton::clicked, this, &TFANastTisk::Pdf_BBClick);

    ApplyCaptions();
    period_->Load(ctx_.Config.PrintPeriod, ctx_.Config.StepIndex);
    ePata_->setText(Q(ctx_.Adm.ParameterRecord.Footer()).left(kFooterLength));
}

void TFANastTisk::ApplyCaptions() {
    setWindowTitle(Tx("Tisk databáze", "Print dabase"));
    textZapati_->setText(QStringLiteral("Text"));
    print_->setText(Tx("&Tisk", "&Print"));
    pdf_->setText(QStringLiteral("P&DF…"));
    help_->setText(Tx("&Nápověda", "&Help"));
    close_->setText(Tx("&Zavřít", "&Close"));
    period_->ApplyCaptions();
}

void TFANastTisk::Print_BBClick() {
    try {
        // The grid and chart stay as they are and the current record returns
        // after the preview, also after an error.
        kolvex::TablePositionGuard guard(ctx_.Adm.Table1);
        std::optional<kolvex::ReportPlan> plan = Collect(Request());
        // An aborted preparation shows no preview.
        if (plan) {
            TFQRAPrint report(std::move(*plan), ctx_.Adm.Table1);
            AddSummaryPage(report);
            ShowPreview(report);
        }
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
    done(QDialog::Accepted);
}

void TFANastTisk::AddSummaryPage(TFQRAPrint& report) {
    if (!SummaryPage) return;
    auto page = std::make_shared<SummaryPageData>(MakeSummaryPage(ctx_.Adm.Table1, ctx_.Adm.ParameterRecord,
                                                                  report.Plan().Input, kolvex::kDefaultDeltaHOverR,
                                                                  kolvex::DecimalSeparator()));
    report.SetLeadPage([page](QPainter& p, double k, int number) { PaintSummaryPage(p, k, *page, number); });
}

kolvex::ReportRequest TFANastTisk::Request() const {
    kolvex::ReportRequest rq;
    rq.Start = period_->EffectiveStart();
    rq.End = period_->EffectiveEnd();
    rq.StepSeconds = period_->StepSeconds();
    rq.Footer = ePata_->text().left(kFooterLength).toStdString();
    rq.Language = kolvex::CurrentLanguage();
    rq.PrintedAt = Clock();
    rq.DecimalSeparator = kolvex::DecimalSeparator();
    return rq;
}

std::optional<kolvex::ReportPlan> TFANastTisk::Collect(const kolvex::ReportRequest& rq) {
    TFProgress progress(this);
    progress.SetMessage(QStringLiteral("Příprava tisku"), true);
    progress.show();
    kolvex::ReportPlan plan = kolvex::PrepareReport(ctx_.Adm.Table1, ctx_.Adm.ParameterRecord, rq, [&](int percent) {
        const bool aborted = progress.SetProgress(percent);
        QCoreApplication::processEvents();
        return aborted || progress.Aborted();
    });
    progress.close();
    if (plan.Aborted) return std::nullopt;
    return plan;
}

void TFANastTisk::Pdf_BBClick() {
    const std::string table = ctx_.Adm.Table1.Path();
    const QString suggested = table.empty() ? QDir::current().filePath(QStringLiteral("report.pdf"))
                                            : Q(kolvex::ReplaceExtension(table, ".pdf"));
    QString path = ChoosePdf ? ChoosePdf(suggested) : QString();
    if (path.isEmpty()) return;  // nothing chosen: the dialog stays
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    try {
        kolvex::TablePositionGuard guard(ctx_.Adm.Table1);
        std::optional<kolvex::ReportPlan> plan = Collect(Request());
        if (plan) {
            TFQRAPrint report(std::move(*plan), ctx_.Adm.Table1);
            AddSummaryPage(report);
            report.WritePdf(path);
            status_ = SavedText(path, report.PageCount(), true);
        }
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
    if (!status_.isEmpty() && Hooks.Saved) {
        const auto next = Hooks.Saved(path, status_);
        if (next == OutputHooks::AfterSave::OpenFolder && OpenFolder) OpenFolder(path);
        // A file that no application opens: its folder instead, the user is
        // told, and the dialog stays as it was.
        if (next == OutputHooks::AfterSave::OpenFile &&
            !OpenWrittenFile(path, OpenFile, OpenFolder, Hooks, QStringLiteral("kolvex12"), QString()))
            return;
    }
    done(QDialog::Accepted);
}

void TFANastTisk::done(int result) {
    period_->Store(ctx_.Config.PrintPeriod, &ctx_.Config.StepIndex);
    ctx_.Adm.ParameterRecord.SetFooter(ePata_->text().left(kFooterLength).toStdString());
    QDialog::done(result);
}

void TFANastTisk::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
