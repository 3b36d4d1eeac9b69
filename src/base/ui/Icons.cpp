// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/Icons.h"

#include <cmath>

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace kolvex::ui {

void InitIconTheme() {
    static bool done = false;
    if (done) return;
    done = true;
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor")) QIcon::setThemeName(QStringLiteral("Adwaita"));
    if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    InitIconTheme();
    const QString n = QString::fromLatin1(name);
    if (QIcon::hasThemeIcon(n)) return QIcon::fromTheme(n);
    return QApplication::style()->standardIcon(fallback);
}

namespace {

// Flags are 3:2; drawn into a square pixmap, centred, with a thin outline.
QPixmap FlagPixmap(int size, bool czech) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size, h = size * 2.0 / 3.0;
    const QRectF r(0, (size - h) / 2.0, w, h);
    p.setClipRect(r);
    if (czech) {
        p.fillRect(QRectF(r.left(), r.top(), w, h / 2), Qt::white);
        p.fillRect(QRectF(r.left(), r.top() + h / 2, w, h / 2), QColor(0xD7, 0x14, 0x1A));
        QPolygonF wedge;
        wedge << r.topLeft() << QPointF(r.left() + w / 2, r.center().y()) << r.bottomLeft();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x11, 0x45, 0x7E));
        p.drawPolygon(wedge);
    } else {
        const QColor blue(0x01, 0x21, 0x69), red(0xC8, 0x10, 0x2E);
        p.fillRect(r, blue);
        QPen pen(Qt::white, h / 5.0);
        p.setPen(pen);
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        pen.setColor(red);
        pen.setWidthF(h / 12.0);
        p.setPen(pen);
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        p.fillRect(QRectF(r.left(), r.center().y() - h / 6, w, h / 3), Qt::white);
        p.fillRect(QRectF(r.center().x() - h / 6, r.top(), h / 3, h), Qt::white);
        p.fillRect(QRectF(r.left(), r.center().y() - h / 10, w, h / 5), red);
        p.fillRect(QRectF(r.center().x() - h / 10, r.top(), h / 5, h), red);
    }
    p.setClipping(false);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    return pm;
}

QIcon FlagIcon(bool czech) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) icon.addPixmap(FlagPixmap(size, czech));
    return icon;
}

}  // namespace

QPixmap LoggerPicture(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QRectF body(s * 0.12, s * 0.06, s * 0.76, s * 0.88);
    QLinearGradient shell(body.topLeft(), body.bottomRight());
    shell.setColorAt(0, QColor(0xF2, 0xF4, 0xF6));
    shell.setColorAt(1, QColor(0xB8, 0xC0, 0xC8));
    p.setPen(QPen(QColor(0x55, 0x5F, 0x69), s / 48));
    p.setBrush(shell);
    p.drawRoundedRect(body, s * 0.08, s * 0.08);
    QRectF screen(body.left() + s * 0.08, body.top() + s * 0.08, body.width() - s * 0.16, s * 0.42);
    p.setPen(QPen(QColor(0x22, 0x33, 0x22), s / 64));
    p.setBrush(QColor(0x1E, 0x3A, 0x2A));
    p.drawRoundedRect(screen, s * 0.03, s * 0.03);
    QPainterPath curve;
    const int n = 24;
    for (int i = 0; i <= n; ++i) {
        const qreal x = screen.left() + screen.width() * (0.06 + 0.88 * i / n);
        const qreal y = screen.center().y() + screen.height() * 0.3 * std::sin(i * 0.55) * (0.6 + 0.4 * std::cos(i * 0.2));
        if (i == 0)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.setPen(QPen(QColor(0x7C, 0xFC, 0x7C), s / 40));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    const qreal r = s * 0.055;
    p.setPen(QPen(QColor(0, 0, 0, 120), s / 96));
    p.setBrush(QColor(0, 160, 0));
    p.drawEllipse(QPointF(body.left() + s * 0.16, body.bottom() - s * 0.14), r, r);
    p.setBrush(QColor(220, 0, 0));
    p.drawEllipse(QPointF(body.left() + s * 0.32, body.bottom() - s * 0.14), r, r);
    p.setBrush(QColor(0x44, 0x4C, 0x55));
    for (int i = 0; i < 2; ++i)
        p.drawRoundedRect(QRectF(body.right() - s * (0.30 - i * 0.13), body.bottom() - s * 0.19, s * 0.1, s * 0.1),
                          s * 0.02, s * 0.02);
    return pm;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(LoggerPicture(size));
    return icon;
}

QIcon CzechFlagIcon() { return FlagIcon(true); }
QIcon EnglishFlagIcon() { return FlagIcon(false); }

}  // namespace kolvex::ui
