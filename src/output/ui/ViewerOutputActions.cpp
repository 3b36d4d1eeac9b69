// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/ViewerOutputActions.h"

#include "base/ui/ModalRunner.h"
#include "output/ui/TFANastGraf.h"
#include "output/ui/TFANastTisk.h"
#include "output/ui/TFAToExcel.h"

namespace kolvex::ui {

ViewerActions MakeViewerActions(ArchiveContext& ctx) {
    ViewerActions a;
    a.ChartSettings = [&ctx](QWidget* parent) {
        TFANastGraf dialog(ctx, parent);
        return RunModal(dialog) == QDialog::Accepted;
    };
    a.PrintTable = [&ctx](QWidget* parent) {
        TFANastTisk dialog(ctx, parent);
        RunModal(dialog);
        return dialog.StatusText();
    };
    a.ExportTable = [&ctx](QWidget* parent) {
        TFAToExcel dialog(ctx, parent);
        RunModal(dialog);
        return dialog.StatusText();
    };
    return a;
}

}  // namespace kolvex::ui
