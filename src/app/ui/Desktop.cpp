// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Desktop.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace kolvex::ui {

void FitToScreen(QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return;
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    // The frame's extra size (title bar, borders) is known once it is shown.
    const int extraW = frame.width() - inner.width(), extraH = frame.height() - inner.height();
    const QSize room(area.width() - extraW, area.height() - extraH);
    if (inner.width() > room.width() || inner.height() > room.height()) {
        const QSize target = inner.size().boundedTo(room).expandedTo(window->minimumSize());
        window->resize(target.boundedTo(window->maximumSize()));
        frame = window->frameGeometry();
    }
    int x = std::min(frame.x(), area.x() + area.width() - frame.width());
    int y = std::min(frame.y(), area.y() + area.height() - frame.height());
    x = std::max(x, area.x());
    y = std::max(y, area.y());
    if (QPoint(x, y) != frame.topLeft()) window->move(x, y);
}

namespace {

class ScreenFitFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            const Qt::WindowType type = w->windowType();
            if (w->isWindow() && (type == Qt::Window || type == Qt::Dialog)) {
                // After the window's own show handling has settled its size
                // (message boxes size themselves while they show).
                QPointer<QWidget> guard(w);
                QTimer::singleShot(0, w, [guard] {
                    if (guard) FitToScreen(guard);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// ---- colour scheme ------------------------------------------------------------

// 1 when the desktop prefers dark, 2 light, 0 no preference, -1 not known.
int PortalColourScheme() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return -1;
    QDBusInterface portal(QStringLiteral("org.freedesktop.portal.Desktop"),
                          QStringLiteral("/org/freedesktop/portal/desktop"),
                          QStringLiteral("org.freedesktop.portal.Settings"), bus);
    if (!portal.isValid()) return -1;
    portal.setTimeout(1000);
    const QDBusMessage reply =
        portal.call(QStringLiteral("Read"), QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return -1;
    QVariant v = reply.arguments().first();
    while (v.canConvert<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = v.toUInt(&ok);
    return ok ? static_cast<int>(scheme) : -1;
}

bool EnvironmentPrefersDark() {
    return qEnvironmentVariable("GTK_THEME").endsWith(QLatin1String(":dark"), Qt::CaseInsensitive);
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), disabled(130, 130, 130);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(58, 58, 62));
    p.setColor(QPalette::Mid, QColor(35, 35, 38));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(42, 110, 200));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    p.setColor(QPalette::LinkVisited, QColor(180, 140, 255));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    return p;
}

class ColourSchemeFollower : public QObject {
    Q_OBJECT
public:
    explicit ColourSchemeFollower(QObject* parent) : QObject(parent) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected())
            bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
                        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"), this,
                        SLOT(SettingChanged(QString, QString, QDBusVariant)));
        Apply(PortalColourScheme());
    }

public slots:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
        if (group != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme")) return;
        QVariant v = value.variant();
        while (v.canConvert<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
        Apply(static_cast<int>(v.toUInt()));
    }

private:
    void Apply(int scheme) {
        const bool dark = scheme == 1 || (scheme < 0 && EnvironmentPrefersDark());
        if (dark && !applied_ && !IsDarkPalette(QApplication::palette())) {
            QApplication::setPalette(DarkPalette());
            applied_ = true;
        } else if (!dark && applied_) {
            QApplication::setPalette(QApplication::style()->standardPalette());
            applied_ = false;
        }
    }

    bool applied_ = false;
};

}  // namespace

void InstallScreenFit() {
    static QPointer<ScreenFitFilter> filter;
    if (filter || !qApp) return;
    filter = new ScreenFitFilter(qApp);
    qApp->installEventFilter(filter);
}

bool IsDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

void FollowDesktopColourScheme() {
    static QPointer<ColourSchemeFollower> follower;
    if (follower || !qApp) return;
    follower = new ColourSchemeFollower(qApp);
}

}  // namespace kolvex::ui

#include "Desktop.moc"
