// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Float spin edit: an edit field for a floating-point number with up and down
// arrows, a range, a step, a fixed number of decimals and optional words for
// values beyond the range. The value is always derived from the text.

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QString>

namespace kolvex::ui {

class TSpinFEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TSpinFEdit(QWidget* parent = nullptr);

    float MinValue() const { return min_; }
    void SetMinValue(float v);
    float MaxValue() const { return max_; }
    void SetMaxValue(float v);
    float Increment() const { return increment_; }
    void SetIncrement(float v) { increment_ = v; }
    int Digits() const { return digits_; }
    void SetDigits(int d) { digits_ = d; }
    int Precision() const { return precision_; }
    void SetPrecision(int p) { precision_ = p; }
    QString TextMinValue() const { return textMin_; }
    void SetTextMinValue(const QString& t) { textMin_ = t; }
    QString TextMaxValue() const { return textMax_; }
    void SetTextMaxValue(const QString& t) { textMax_ = t; }
    void SetEditorEnabled(bool e);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    // Select the whole text when the field gains focus by keyboard.
    void SetAutoSelect(bool on) { autoSelect_ = on; }
    // MinValue == MaxValue: no range.
    bool HasRange() const { return min_ != max_; }

    // A value beyond the range is shown as the number itself instead of a
    // word or a placeholder, marked by colour and by the hint below, and it is
    // left as it is when the field loses focus without having been edited.
    bool ShowBeyondRange() const { return showBeyond_; }
    void SetShowBeyondRange(bool on);
    // Hint of a marked value; "%1" and "%2" stand for the ends of the range.
    void SetBeyondRangeHint(const QString& hint);
    // The text holds a number beyond the range and is marked.
    bool BeyondRange() const { return marked_; }

    // The edit field inside the control.
    QLineEdit* Editor() const { return lineEdit(); }

    float Value() const;
    void SetValue(float x);
    QString Text() const;
    void SetText(const QString& text);

    virtual bool AcceptsKey(QChar key) const;
    virtual void StepUp();
    virtual void StepDown();

    void stepBy(int steps) override;

signals:
    void editingFinishedValue();

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void UpdateRangeMark();

    float min_ = 0, max_ = 0, increment_ = 1.0f;
    int digits_ = 0, precision_ = 0, maxLength_ = 0;
    QString textMin_, textMax_;
    bool editorEnabled_ = true;
    bool autoSelect_ = true;
    bool showBeyond_ = false;
    bool marked_ = false;
    bool userEdited_ = false;  // typed into since the text was last set
    QString beyondHint_;
};

// The placeholder shown for a value beyond the range without a word for it:
// `precision` characters "#" ("#" alone when precision <= 0), the first one
// "-" when `negative`, the decimal separator at position precision - digits.
QString SpinFPlaceholder(int precision, int digits, bool negative, QChar separator);
// The text of a value within the range: "%*.*f" with the separator.
QString SpinFFormat(float x, int precision, int digits, QChar separator);

}  // namespace kolvex::ui
