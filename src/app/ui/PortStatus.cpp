// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PortStatus.h"

#include <QLocale>

#include <unistd.h>

#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "app/ui/TFSetPC.h"
#include "link/CommSettings.h"
#include "link/PortNames.h"

namespace kolvex::ui {

PortStatus::PortStatus(AppContext& ctx, QWidget* parent) : QLabel(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("PortStatus_L"));
    Refresh();
}

void PortStatus::Reading(bool ok) {
    tried_ = true;
    answering_ = ok;
    if (ok) lastGood_ = QTime::currentTime();
    seenAnswers_ = ctx_.Port.AnswerCount.load();
    seenErrors_ = ctx_.Port.ErrorCount;
    Refresh();
}

void PortStatus::Follow() {
    const std::uint64_t answers = ctx_.Port.AnswerCount.load();
    const std::uint32_t errors = ctx_.Port.ErrorCount;
    if (answers == seenAnswers_ && errors == seenErrors_) return;
    // An answer since the last look counts as the logger answering, even
    // when failed attempts came before it (a retry that succeeded).
    tried_ = true;
    answering_ = answers != seenAnswers_;
    if (answering_) lastGood_ = QTime::currentTime();
    seenAnswers_ = answers;
    seenErrors_ = errors;
    Refresh();
}

void PortStatus::Refresh() {
    const TSerCom& port = ctx_.Port;
    QString name = Q(ctx_.Config.ComPort);
    if (port.IsOpen() && !port.DevicePath().empty() && port.DevicePath() != ctx_.Config.ComPort)
        name += QStringLiteral(" (") + Q(port.DevicePath()) + QLatin1Char(')');
    QString text = Tx("Port ", "Port ") + name + QStringLiteral(": ");
    const QString last = lastGood_.isValid() ? QLocale().toString(lastGood_, QStringLiteral("HH:mm:ss")) : QString();
    if (!port.IsOpen()) {
        text += Tx("zavřen", "closed");
    } else if (!tried_) {
        text += Tx("otevřen", "open");
    } else if (answering_) {
        text += Tx("záznamník odpovídá, poslední odpověď ", "the logger answers, last answer ") + last;
    } else {
        text += Tx("záznamník neodpovídá", "the logger does not answer");
        if (!last.isEmpty()) text += Tx(" od ", " since ") + last;
    }
    setText(text);
}

bool PortStatus::Resume() {
    TSerCom& port = ctx_.Port;
    if (port.IsOpen() && !port.LineLost()) return false;
    if (port.IsOpen()) {
        lost_ = port.PortName;  // the adapter went away; its handle is dead
        port.Close();
        tried_ = false;
        Refresh();
    }
    // Only the configured port that went away is reopened by itself.
    if (lost_.empty() || !SamePortName(lost_, StoredPortName(ctx_.Config.ComPort))) return false;
    const auto device = port.DeviceFor(lost_);
    if (!device || ::access(device->c_str(), R_OK | W_OK) != 0) return false;
    try {
        ApplyPortSettings(ctx_);
    } catch (const std::exception&) {
        return false;
    }
    lost_.clear();
    tried_ = false;
    Refresh();
    return true;
}

}  // namespace kolvex::ui
