// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/ViewerIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace kolvex::ui {

namespace {

const QColor kInk(0x2e, 0x34, 0x36);
const QColor kNavBlue(0x1f, 0x4e, 0x8c);
const QColor kGreen(0x2e, 0x8b, 0x3a);

// A triangle pointing left (dir -1) or right (+1) with its tip at x.
QPolygonF Triangle(qreal tipX, qreal cy, qreal w, qreal h, int dir) {
    QPolygonF t;
    t << QPointF(tipX, cy) << QPointF(tipX - dir * w, cy - h / 2) << QPointF(tipX - dir * w, cy + h / 2);
    return t;
}

void Navigator(QPainter& p, qreal s, int dir, bool bar, bool twice, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const qreal cy = s / 2, h = s * 0.56, w = twice ? s * 0.28 : s * 0.36, barW = std::max<qreal>(1.5, s * 0.1);
    qreal total = w * (twice ? 2 : 1) + (bar ? barW + s * 0.04 : 0);
    qreal left = (s - total) / 2;
    if (dir < 0) {
        if (bar) {
            p.drawRect(QRectF(left, cy - h / 2, barW, h));
            left += barW + s * 0.04;
        }
        p.drawPolygon(Triangle(left, cy, w, h, -1));
        if (twice) p.drawPolygon(Triangle(left + w, cy, w, h, -1));
    } else {
        p.drawPolygon(Triangle(left + w, cy, w, h, +1));
        if (twice) p.drawPolygon(Triangle(left + 2 * w, cy, w, h, +1));
        if (bar) p.drawRect(QRectF(left + w * (twice ? 2 : 1) + s * 0.04, cy - h / 2, barW, h));
    }
}

void Magnifier(QPainter& p, qreal s, bool plus) {
    const qreal r = s * 0.27;
    const QPointF c(s * 0.42, s * 0.42);
    p.setBrush(QColor(0xe8, 0xf0, 0xfa));
    p.setPen(QPen(kInk, std::max<qreal>(1.2, s / 14)));
    p.drawEllipse(c, r, r);
    p.setPen(QPen(kInk, std::max<qreal>(2.0, s / 7), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() + r * 0.75, c.y() + r * 0.75), QPointF(s * 0.86, s * 0.86));
    p.setPen(QPen(kNavBlue, std::max<qreal>(1.4, s / 11), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - r * 0.55, c.y()), QPointF(c.x() + r * 0.55, c.y()));
    if (plus) p.drawLine(QPointF(c.x(), c.y() - r * 0.55), QPointF(c.x(), c.y() + r * 0.55));
}

void Scale(QPainter& p, qreal s, bool horizontal) {
    p.setPen(QPen(kInk, std::max<qreal>(1.0, s / 16)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
    const qreal c = s / 2, a = s * 0.22, head = s * 0.16;
    p.setPen(QPen(kNavBlue, std::max<qreal>(1.5, s / 10), Qt::SolidLine, Qt::RoundCap));
    if (horizontal)
        p.drawLine(QPointF(c - a, c), QPointF(c + a, c));
    else
        p.drawLine(QPointF(c, c - a), QPointF(c, c + a));
    p.setPen(Qt::NoPen);
    p.setBrush(kNavBlue);
    QPolygonF h1, h2;
    if (horizontal) {
        h1 << QPointF(c - a - head, c) << QPointF(c - a + head * 0.4, c - head) << QPointF(c - a + head * 0.4, c + head);
        h2 << QPointF(c + a + head, c) << QPointF(c + a - head * 0.4, c - head) << QPointF(c + a - head * 0.4, c + head);
    } else {
        h1 << QPointF(c, c - a - head) << QPointF(c - head, c - a + head * 0.4) << QPointF(c + head, c - a + head * 0.4);
        h2 << QPointF(c, c + a + head) << QPointF(c - head, c + a - head * 0.4) << QPointF(c + head, c + a - head * 0.4);
    }
    p.drawPolygon(h1);
    p.drawPolygon(h2);
}

void Refresh(QPainter& p, qreal s) {
    const QRectF r(s * 0.2, s * 0.2, s * 0.6, s * 0.6);
    p.setPen(QPen(kGreen, std::max<qreal>(1.8, s / 8), Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(r, 60 * 16, 270 * 16);
    // The arrow head at the open end (the arc's start at 60 degrees).
    const qreal a = 60.0 * M_PI / 180.0, rad = r.width() / 2;
    const QPointF end(r.center().x() + rad * std::cos(a), r.center().y() - rad * std::sin(a));
    const qreal head = s * 0.2;
    QPolygonF t;
    t << QPointF(end.x() + head * 0.9, end.y() + head * 0.35) << QPointF(end.x() - head * 0.5, end.y() - head * 0.75)
      << QPointF(end.x() - head * 0.2, end.y() + head * 0.75);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(t);
}

void Settings(QPainter& p, qreal s) {
    // A small chart with two curves and a slider beneath.
    p.setPen(QPen(kInk, std::max<qreal>(1.0, s / 16)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.56));
    QPainterPath red, green;
    red.moveTo(s * 0.16, s * 0.52);
    red.cubicTo(s * 0.35, s * 0.05, s * 0.55, s * 0.7, s * 0.84, s * 0.22);
    green.moveTo(s * 0.16, s * 0.28);
    green.cubicTo(s * 0.4, s * 0.65, s * 0.6, s * 0.1, s * 0.84, s * 0.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xd0, 0x20, 0x20), std::max<qreal>(1.0, s / 16)));
    p.drawPath(red);
    p.setPen(QPen(kGreen, std::max<qreal>(1.2, s / 12)));
    p.drawPath(green);
    p.setPen(QPen(kInk, std::max<qreal>(1.0, s / 14), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.12, s * 0.82), QPointF(s * 0.88, s * 0.82));
    p.setPen(QPen(kInk, 1));
    p.setBrush(kNavBlue);
    p.drawRect(QRectF(s * 0.55, s * 0.72, s * 0.12, s * 0.2));
}

QPixmap Draw(ViewerGlyph g, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    switch (g) {
        case ViewerGlyph::First: Navigator(p, s, -1, true, false, kNavBlue); break;
        case ViewerGlyph::Prior: Navigator(p, s, -1, false, false, kNavBlue); break;
        case ViewerGlyph::Next: Navigator(p, s, +1, false, false, kNavBlue); break;
        case ViewerGlyph::Last: Navigator(p, s, +1, true, false, kNavBlue); break;
        case ViewerGlyph::ChartStart: Navigator(p, s, -1, true, true, kInk); break;
        case ViewerGlyph::ChartPrior: Navigator(p, s, -1, false, true, kInk); break;
        case ViewerGlyph::ChartNext: Navigator(p, s, +1, false, true, kInk); break;
        case ViewerGlyph::ChartEnd: Navigator(p, s, +1, true, true, kInk); break;
        case ViewerGlyph::Refresh: Refresh(p, s); break;
        case ViewerGlyph::ZoomOut: Magnifier(p, s, false); break;
        case ViewerGlyph::ZoomIn: Magnifier(p, s, true); break;
        case ViewerGlyph::FullWidth: Scale(p, s, true); break;
        case ViewerGlyph::FullHeight: Scale(p, s, false); break;
        case ViewerGlyph::Settings: Settings(p, s); break;
    }
    return pm;
}

}  // namespace

QIcon ViewerIcon(ViewerGlyph glyph) {
    QIcon icon;
    for (int size : {16, 20, 22, 24, 32, 40, 48}) icon.addPixmap(Draw(glyph, size));
    return icon;
}

}  // namespace kolvex::ui
