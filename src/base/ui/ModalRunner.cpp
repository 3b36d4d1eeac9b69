// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/ModalRunner.h"

#include <QDialog>

namespace kolvex::ui {

namespace {
ModalHook& Hook() {
    static ModalHook hook;
    return hook;
}
}  // namespace

int RunModal(QDialog& dialog) {
    if (Hook()) {
        // Copied first: the hook may open a nested dialog.
        ModalHook hook = Hook();
        return hook(dialog);
    }
    return dialog.exec();
}

void SetModalHook(ModalHook hook) { Hook() = std::move(hook); }

}  // namespace kolvex::ui
