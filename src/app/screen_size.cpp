#include "app/screen_size.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace torvix {

namespace {

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// The compositor Qt talks to, reached over a connection of our own.
DisplayCheck waylandDisplay() {
    DisplayCheck c;
    c.kind = DisplayCheck::Kind::Wayland;
    c.reachable = true;
    c.name = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    return c;
}

}  // namespace

std::optional<ScreenSize> deviceScreenSize() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 && x11->connection()) {
            DisplayCheck c;
            c.kind = DisplayCheck::Kind::X11;
            c.reachable = true;
            c.name = qEnvironmentVariable("DISPLAY");
            c.connection = std::shared_ptr<void>(x11->connection(), [](void*) {});  // Qt's own
            if (std::optional<ScreenSize> s = x11PrimaryScreenSize(c)) return s;
        }
    } else if (onWayland()) {
        const std::optional<WaylandFacts> facts = waylandFacts(waylandDisplay());
        if (facts && facts->firstOutput) return facts->firstOutput;
    }
    const QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    const QRect g = s->geometry();
    const qreal ratio = s->devicePixelRatio();
    return ScreenSize{static_cast<int>(std::lround(g.width() * ratio)),
                      static_cast<int>(std::lround(g.height() * ratio))};
}

bool compositorLeavesTitleBar() {
    if (!onWayland()) return false;
    // Without an answer, take the common case (GNOME's and weston's compositors draw none).
    const std::optional<WaylandFacts> facts = waylandFacts(waylandDisplay());
    return !facts || !facts->serverDecorations;
}

}  // namespace torvix
