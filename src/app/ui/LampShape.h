// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A round signal lamp, 13 x 13 pixels, that shows the outcome of the last
// logger reading by its colour.

#include <QColor>
#include <QWidget>

namespace kolvex::ui {

class LampShape : public QWidget {
    Q_OBJECT
public:
    explicit LampShape(QWidget* parent = nullptr);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QSize sizeHint() const override { return {13, 13}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

}  // namespace kolvex::ui
