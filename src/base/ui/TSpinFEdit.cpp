// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/TSpinFEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <cmath>
#include <cstdio>

#include "base/Language.h"

namespace kolvex::ui {

namespace {

QChar Separator() { return QChar::fromLatin1(kolvex::DecimalSeparator()); }

// Text to number with the regional decimal separator; leading and trailing
// blanks (the minimum field width) are ignored. False when it is no number.
bool ParseNumber(const QString& text, float& out) {
    QString t = text.trimmed();
    const QChar sep = Separator();
    if (t.isEmpty()) return false;
    if (sep != QLatin1Char('.')) {
        if (t.contains(QLatin1Char('.'))) return false;
        t.replace(sep, QLatin1Char('.'));
    }
    bool ok = false;
    const float v = QLocale::c().toFloat(t, &ok);
    if (!ok) return false;
    out = v;
    return true;
}

}  // namespace

QString SpinFPlaceholder(int precision, int digits, bool negative, QChar separator) {
    QString text = precision <= 0 ? QStringLiteral("#") : QString(precision, QLatin1Char('#'));
    if (negative) text[0] = QLatin1Char('-');
    if (digits < precision) {
        const int pos = precision - digits;  // counted from 1
        if (pos >= 1 && pos <= text.size()) text[pos - 1] = separator;
    }
    return text;
}

QString SpinFFormat(float x, int precision, int digits, QChar separator) {
    char buf[512];
    const int width = precision < 0 ? 0 : (precision > 100 ? 100 : precision);
    const int decimals = digits < 0 ? 0 : (digits > 30 ? 30 : digits);
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, static_cast<double>(x));
    QString text = QString::fromLatin1(buf);
    if (separator != QLatin1Char('.')) text.replace(QLatin1Char('.'), separator);
    return text;
}

TSpinFEdit::TSpinFEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(false);
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { userEdited_ = true; });
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { UpdateRangeMark(); });
}

void TSpinFEdit::SetMinValue(float v) {
    min_ = v;
    UpdateRangeMark();
}

void TSpinFEdit::SetMaxValue(float v) {
    max_ = v;
    UpdateRangeMark();
}

void TSpinFEdit::SetShowBeyondRange(bool on) {
    showBeyond_ = on;
    UpdateRangeMark();
}

void TSpinFEdit::SetBeyondRangeHint(const QString& hint) {
    beyondHint_ = hint;
    UpdateRangeMark();
}

void TSpinFEdit::UpdateRangeMark() {
    bool beyond = false;
    float v = 0;
    if (showBeyond_ && HasRange() && ParseNumber(Text(), v)) beyond = v < min_ || v > max_;
    if (beyond) {
        QPalette pal = lineEdit()->palette();
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            pal.setColor(g, QPalette::Text, QColor(176, 0, 0));
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            pal.setColor(g, QPalette::Base, QColor(255, 226, 222));
        lineEdit()->setPalette(pal);
        lineEdit()->setAutoFillBackground(true);
        setToolTip(QString(beyondHint_)
                       .replace(QLatin1String("%1"), SpinFFormat(min_, 0, digits_, Separator()))
                       .replace(QLatin1String("%2"), SpinFFormat(max_, 0, digits_, Separator())));
    } else if (marked_) {
        lineEdit()->setPalette(QPalette());
        lineEdit()->setAutoFillBackground(false);
        setToolTip(QString());
    }
    marked_ = beyond;
}

void TSpinFEdit::SetEditorEnabled(bool e) {
    editorEnabled_ = e;
    // A read-only line edit refuses pasting, cutting and deleting; the value
    // is still written through the arrows.
    lineEdit()->setReadOnly(!e || isReadOnly());
}

void TSpinFEdit::SetMaxLength(int n) {
    maxLength_ = n;
    lineEdit()->setMaxLength(n > 0 ? n : 32767);
}

QString TSpinFEdit::Text() const { return lineEdit()->text(); }

void TSpinFEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
    userEdited_ = false;
}

float TSpinFEdit::Value() const {
    const QString text = Text();
    if (!textMin_.isEmpty() && text == textMin_) return min_ - increment_;
    if (!textMax_.isEmpty() && text == textMax_) return max_ + increment_;
    float v = 0;
    if (!ParseNumber(text, v)) return min_;
    return v;
}

void TSpinFEdit::SetValue(float x) {
    QString text;
    if (!HasRange() || (min_ <= x && x <= max_) || (showBeyond_ && !std::isnan(x))) {
        float v = x;
        if (HasRange() && !showBeyond_) {
            if (v < min_) v = min_;
            if (v > max_) v = max_;
        }
        text = SpinFFormat(v, precision_, digits_, Separator());
    } else if (x <= min_ && !textMin_.isEmpty()) {
        text = textMin_;
    } else if (x >= max_ && !textMax_.isEmpty()) {
        text = textMax_;
    } else {
        const bool negative = (x < min_ && min_ < 0) || max_ < 0;
        text = SpinFPlaceholder(precision_, digits_, negative, Separator());
    }
    if (maxLength_ > 0 && text.size() > maxLength_) text.truncate(maxLength_);
    SetText(text);
}

void TSpinFEdit::StepUp() {
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    float v = Value() + increment_;
    if (HasRange()) {
        if (v < min_) v = min_;
        if (v > max_) v = textMax_.isEmpty() ? max_ : max_ + increment_;
    }
    SetValue(v);
}

void TSpinFEdit::StepDown() {
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    float v = Value() - increment_;
    if (HasRange()) {
        if (v > max_) v = max_;
        if (v < min_) v = textMin_.isEmpty() ? min_ : min_ - increment_;
    }
    SetValue(v);
}

void TSpinFEdit::stepBy(int steps) {
    for (; steps > 0; --steps) StepUp();
    for (; steps < 0; ++steps) StepDown();
}

QAbstractSpinBox::StepEnabled TSpinFEdit::stepEnabled() const {
    // The arrows are always live; a read-only field beeps instead of stepping.
    return StepUpEnabled | StepDownEnabled;
}

bool TSpinFEdit::AcceptsKey(QChar key) const {
    const bool control = key.unicode() < 0x20 || key.unicode() == 0x7F;
    if (!editorEnabled_) return control && key != QLatin1Char('\b');
    if (control) return key != QLatin1Char('\r') && key != QLatin1Char('\n');
    if (key >= QLatin1Char('0') && key <= QLatin1Char('9')) return true;
    return key == QLatin1Char('+') || key == QLatin1Char('-') || key == Separator();
}

void TSpinFEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        StepUp();
        event->accept();
        return;
    case Qt::Key_Down:
        StepDown();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter is no character of the field; it goes on to the dialog's
        // default button.
        QAbstractSpinBox::keyPressEvent(event);
        return;
    default:
        break;
    }
    const bool editing = editorEnabled_ && !isReadOnly();
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
        if (!editing) {
            QApplication::beep();
            event->accept();
            return;
        }
        QAbstractSpinBox::keyPressEvent(event);
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        for (const QChar c : text) {
            if (!AcceptsKey(c)) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    if (event->key() == Qt::Key_Delete && !editing) {
        QApplication::beep();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinFEdit::focusInEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusInEvent(event);
    const bool byKeyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                            event->reason() == Qt::ShortcutFocusReason;
    if (byKeyboard) {
        if (autoSelect_)
            lineEdit()->selectAll();
        else
            lineEdit()->deselect();
    }
}

void TSpinFEdit::focusOutEvent(QFocusEvent* event) {
    // The value is limited to the range and written back, so the text is
    // reformatted; a word beyond the range becomes the nearer end. A value
    // shown beyond the range stays as it is unless the user typed into it.
    if (!showBeyond_ || userEdited_) {
        float v = Value();
        if (HasRange()) {
            if (v < min_) v = min_;
            if (v > max_) v = max_;
        }
        SetValue(v);
    }
    QAbstractSpinBox::focusOutEvent(event);
    emit editingFinishedValue();
}

}  // namespace kolvex::ui
