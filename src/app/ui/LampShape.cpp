// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/LampShape.h"

#include <QPainter>
#include <QRadialGradient>

namespace kolvex::ui {

LampShape::LampShape(QWidget* parent) : QWidget(parent), color_(0, 128, 0) { setFixedSize(13, 13); }

void LampShape::SetColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void LampShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, width() - 1.0, height() - 1.0);
    QRadialGradient glow(r.center() - QPointF(2, 2), r.width() * 0.7);
    glow.setColorAt(0, color_.lighter(160));
    glow.setColorAt(0.6, color_);
    glow.setColorAt(1, color_.darker(130));
    p.setBrush(glow);
    p.setPen(QPen(QColor(0, 0, 0, 140), 1));
    p.drawEllipse(r);
}

}  // namespace kolvex::ui
