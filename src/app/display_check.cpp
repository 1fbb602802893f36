#include "app/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QStringList>
#include <cerrno>
#include <cstring>

#ifdef TORVIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace torvix {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

#ifdef TORVIX_HAVE_XCB
QString xcbProblem(int code) {
    switch (code) {
        case XCB_CONN_ERROR:
            return QStringLiteral("no X server answers");
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
            return QStringLiteral("an extension is not supported");
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            return QStringLiteral("out of memory");
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
            return QStringLiteral("request too long");
        case XCB_CONN_CLOSED_PARSE_ERR:
            return QStringLiteral("the display name cannot be read");
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            return QStringLiteral("the server has no such screen");
        default:
            return QStringLiteral("the X server refused the connection");
    }
}
#endif

DisplayCheck checkX11() {
    DisplayCheck c;
    c.kind = DisplayCheck::Kind::X11;
    c.name = qEnvironmentVariable("DISPLAY");
    if (c.name.isEmpty()) {
        c.problem = qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("DISPLAY is empty")
                                                         : QStringLiteral("DISPLAY is not set");
        return c;
    }
#ifdef TORVIX_HAVE_XCB
    const QByteArray name = c.name.toLocal8Bit();
    xcb_connection_t* x = xcb_connect(name.constData(), nullptr);
    const int error = xcb_connection_has_error(x);
    c.connection = std::shared_ptr<void>(
        x, [](void* p) { xcb_disconnect(static_cast<xcb_connection_t*>(p)); });
    c.reachable = error == 0;
    if (!c.reachable) c.problem = xcbProblem(error);
#else
    c.reachable = true;  // nothing to ask with: Qt will tell
#endif
    return c;
}

DisplayCheck checkWayland() {
    DisplayCheck c;
    c.kind = DisplayCheck::Kind::Wayland;
    c.name = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    QString path = c.name;
    if (!path.startsWith(QLatin1Char('/'))) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) {
            c.problem = QStringLiteral("XDG_RUNTIME_DIR is not set");
            return c;
        }
        path = runtime + QLatin1Char('/') + path;
    }
    const QByteArray bytes = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(bytes.size()) >= sizeof address.sun_path) {
        c.problem = QStringLiteral("the socket path is too long");
        return c;
    }
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        c.problem = errnoText(errno);
        return c;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    c.reachable = rc == 0;
    if (!c.reachable) c.problem = QStringLiteral("%1: %2").arg(path, errnoText(error));
    return c;
}

}  // namespace

DisplayCheck checkDisplay() {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty()) {
        // "wayland;xcb" names fallbacks, "xcb:option" carries options: the first that opens
        // wins, as Qt tries them.
        DisplayCheck first;
        bool haveFirst = false;
        for (const QString& entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString plugin = entry.section(QLatin1Char(':'), 0, 0).trimmed();
            DisplayCheck c;
            if (plugin == QLatin1String("xcb")) {
                c = checkX11();
            } else if (plugin.startsWith(QLatin1String("wayland"))) {
                c = checkWayland();
            } else {
                c.kind = DisplayCheck::Kind::Other;
                c.name = plugin;
                c.reachable = true;
            }
            if (c.reachable) return c;
            if (!haveFirst) {
                first = c;
                haveFirst = true;
            }
        }
        if (haveFirst) return first;
    }

    const bool waylandNamed = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    const bool xNamed = qEnvironmentVariableIsSet("DISPLAY");
    if (!waylandNamed && !xNamed) return {};
    DisplayCheck wayland, x;
    if (waylandNamed) {
        wayland = checkWayland();
        if (wayland.reachable) return wayland;
    }
    if (xNamed) {
        x = checkX11();
        if (x.reachable) return x;
    }
    return xNamed ? x : wayland;
}

QString displayProblemLine(const DisplayCheck& check) {
    const QString kind = check.kind == DisplayCheck::Kind::Wayland
                             ? QStringLiteral("Wayland display")
                             : QStringLiteral("display");
    return QStringLiteral("torvix: cannot open the %1 \"%2\" (%3); printing the report instead")
        .arg(kind, check.name, check.problem);
}

bool hasRealScreen(const DisplayCheck& check) {
    return check.reachable &&
           (check.kind == DisplayCheck::Kind::X11 || check.kind == DisplayCheck::Kind::Wayland);
}

}  // namespace torvix
