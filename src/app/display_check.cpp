#include "app/display_check.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/failure.h"
#include "platform/lazy_library.h"

#ifdef TORVIX_HAVE_XCB
#include <xcb/xcb.h>
#endif
#ifdef TORVIX_HAVE_XCB_RANDR
#include <xcb/randr.h>
#endif
#ifdef TORVIX_HAVE_WAYLAND_CLIENT
#include <wayland-client-core.h>
#include <wayland-client-protocol.h>
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
    try {
        xcb_connection_t* x = TORVIX_LAZY(Xcb, xcb_connect)(name.constData(), nullptr);
        const int error = TORVIX_LAZY(Xcb, xcb_connection_has_error)(x);
        c.connection = std::shared_ptr<void>(x, [](void* p) {
            TORVIX_LAZY(Xcb, xcb_disconnect)(static_cast<xcb_connection_t*>(p));
        });
        c.reachable = error == 0;
        if (!c.reachable) c.problem = xcbProblem(error);
    } catch (const Failure&) {
        c.reachable = true;  // libxcb cannot be loaded: nothing to ask with, Qt will tell
    }
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

namespace {

std::optional<ScreenSize> x11PrimaryScreenSizeNow(const DisplayCheck& check) {
#ifdef TORVIX_HAVE_XCB
    if (check.kind != DisplayCheck::Kind::X11 || !check.reachable || !check.connection)
        return std::nullopt;
    auto* x = static_cast<xcb_connection_t*>(check.connection.get());
    if (TORVIX_LAZY(Xcb, xcb_connection_has_error)(x)) return std::nullopt;
    // The default screen, as the display name says (":0.1" is screen 1).
    const QByteArray name = check.name.toLocal8Bit();
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (TORVIX_LAZY(Xcb, xcb_parse_display)(name.constData(), &host, &display, &screenNumber) == 0)
        screenNumber = 0;
    free(host);
    xcb_screen_iterator_t it =
        TORVIX_LAZY(Xcb, xcb_setup_roots_iterator)(TORVIX_LAZY(Xcb, xcb_get_setup)(x));
    for (int i = 0; i < screenNumber && it.rem; ++i) TORVIX_LAZY(Xcb, xcb_screen_next)(&it);
    if (!it.rem) return std::nullopt;
    const xcb_screen_t* screen = it.data;
    ScreenSize whole{screen->width_in_pixels, screen->height_in_pixels};
#ifdef TORVIX_HAVE_XCB_RANDR
    const xcb_query_extension_reply_t* ext =
        TORVIX_LAZY(Xcb, xcb_get_extension_data)(x, TORVIX_LAZY(XcbRandr, xcb_randr_id));
    if (!ext || !ext->present) return whole;
    xcb_randr_query_version_reply_t* version = TORVIX_LAZY(XcbRandr, xcb_randr_query_version_reply)(
        x,
        TORVIX_LAZY(XcbRandr, xcb_randr_query_version)(x, XCB_RANDR_MAJOR_VERSION,
                                                       XCB_RANDR_MINOR_VERSION),
        nullptr);
    const bool monitors = version && (version->major_version > 1 ||
                                      (version->major_version == 1 && version->minor_version >= 5));
    const bool outputs = version && (version->major_version > 1 ||
                                     (version->major_version == 1 && version->minor_version >= 2));
    free(version);
    if (monitors) {
        // Qt 6 takes RandR 1.5 monitors when there are any: the primary one, else the first.
        xcb_randr_get_monitors_reply_t* reply = TORVIX_LAZY(XcbRandr, xcb_randr_get_monitors_reply)(
            x, TORVIX_LAZY(XcbRandr, xcb_randr_get_monitors)(x, screen->root, 1), nullptr);
        std::optional<ScreenSize> found;
        if (reply) {
            for (xcb_randr_monitor_info_iterator_t m =
                     TORVIX_LAZY(XcbRandr, xcb_randr_get_monitors_monitors_iterator)(reply);
                 m.rem; TORVIX_LAZY(XcbRandr, xcb_randr_monitor_info_next)(&m)) {
                const ScreenSize size{m.data->width, m.data->height};
                if (m.data->primary) {
                    found = size;
                    break;
                }
                if (!found) found = size;
            }
            free(reply);
        }
        return found.value_or(whole);
    }
    if (outputs) {
        xcb_randr_get_output_primary_reply_t* primary =
            TORVIX_LAZY(XcbRandr, xcb_randr_get_output_primary_reply)(
                x, TORVIX_LAZY(XcbRandr, xcb_randr_get_output_primary)(x, screen->root), nullptr);
        const xcb_randr_output_t output = primary ? primary->output : XCB_NONE;
        free(primary);
        if (output != XCB_NONE) {
            xcb_randr_get_output_info_reply_t* info = TORVIX_LAZY(XcbRandr,
                                                                  xcb_randr_get_output_info_reply)(
                x, TORVIX_LAZY(XcbRandr, xcb_randr_get_output_info)(x, output, XCB_CURRENT_TIME),
                nullptr);
            const xcb_randr_crtc_t crtc = info ? info->crtc : XCB_NONE;
            free(info);
            if (crtc != XCB_NONE) {
                xcb_randr_get_crtc_info_reply_t* c = TORVIX_LAZY(XcbRandr,
                                                                 xcb_randr_get_crtc_info_reply)(
                    x, TORVIX_LAZY(XcbRandr, xcb_randr_get_crtc_info)(x, crtc, XCB_CURRENT_TIME),
                    nullptr);
                std::optional<ScreenSize> size;
                if (c && c->width > 0 && c->height > 0) size = ScreenSize{c->width, c->height};
                free(c);
                if (size) return size;
            }
        }
    }
#endif
    return whole;
#else
    Q_UNUSED(check);
    return std::nullopt;
#endif
}

}  // namespace

std::optional<ScreenSize> x11PrimaryScreenSize(const DisplayCheck& check) {
    try {
        return x11PrimaryScreenSizeNow(check);
    } catch (const Failure&) {  // libxcb-randr cannot be loaded
        return std::nullopt;
    }
}

namespace {

#ifdef TORVIX_HAVE_WAYLAND_CLIENT
// libwayland-client is loaded on first use, as the libraries of platform/lazy_library.h are.
// The protocol's inline helpers name its interface tables directly, which would link it at start:
// the requests below are made through symbols found at run time instead.
void* waylandSymbol(const char* name) {
    static void* const library =
        dlopen(TORVIX_WAYLAND_CLIENT_SONAME, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
    void* symbol = library ? dlsym(library, name) : nullptr;
    if (!symbol) throw Failure(QStringLiteral("cannot load %1").arg(QLatin1String(name)));
    return symbol;
}

#define TORVIX_WAYLAND(fn) (reinterpret_cast<decltype(&::fn)>(waylandSymbol(#fn)))

const wl_interface* waylandInterface(const char* name) {
    return static_cast<const wl_interface*>(waylandSymbol(name));
}

struct WaylandScan {
    const wl_interface* outputInterface = nullptr;
    wl_proxy* output = nullptr;  // the first one announced
    WaylandFacts facts;
    std::optional<ScreenSize> mode;
    bool turned = false;  // a quarter or three-quarter turn swaps width and height
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto* scan = static_cast<WaylandScan*>(data);
    if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
        scan->facts.serverDecorations = true;
    } else if (std::strcmp(interface, "wl_output") == 0 && !scan->output) {
        const uint32_t bound = std::min<uint32_t>(version, 2);
        scan->output = TORVIX_WAYLAND(wl_proxy_marshal_flags)(
            reinterpret_cast<wl_proxy*>(registry), WL_REGISTRY_BIND, scan->outputInterface, bound,
            0, name, scan->outputInterface->name, bound, nullptr);
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

void onGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t transform) {
    static_cast<WaylandScan*>(data)->turned = transform % 2 == 1;
}

void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) && width > 0 && height > 0)
        static_cast<WaylandScan*>(data)->mode = ScreenSize{width, height};
}

void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}

std::optional<WaylandFacts> waylandFactsNow(const DisplayCheck& check) {
    if (check.kind != DisplayCheck::Kind::Wayland || !check.reachable) return std::nullopt;
    const QByteArray name = check.name.toLocal8Bit();
    wl_display* display = TORVIX_WAYLAND(wl_display_connect)(name.constData());
    if (!display) return std::nullopt;
    WaylandScan scan;
    scan.outputInterface = waylandInterface("wl_output_interface");
    static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
    static const wl_output_listener outputListener = {onGeometry, onMode,  onDone,
                                                      onScale,    nullptr, nullptr};
    auto* displayProxy = reinterpret_cast<wl_proxy*>(display);
    wl_proxy* registry = TORVIX_WAYLAND(wl_proxy_marshal_flags)(
        displayProxy, WL_DISPLAY_GET_REGISTRY, waylandInterface("wl_registry_interface"),
        TORVIX_WAYLAND(wl_proxy_get_version)(displayProxy), 0, nullptr);
    bool answered = false;
    if (registry) {
        TORVIX_WAYLAND(wl_proxy_add_listener)
        (registry,
         reinterpret_cast<void (**)(void)>(const_cast<wl_registry_listener*>(&registryListener)),
         &scan);
        // The first round trip brings the globals, the second the events of the output bound.
        answered = TORVIX_WAYLAND(wl_display_roundtrip)(display) >= 0;
        if (answered && scan.output) {
            TORVIX_WAYLAND(wl_proxy_add_listener)
            (scan.output,
             reinterpret_cast<void (**)(void)>(const_cast<wl_output_listener*>(&outputListener)),
             &scan);
            answered = TORVIX_WAYLAND(wl_display_roundtrip)(display) >= 0;
        }
        if (scan.output) TORVIX_WAYLAND(wl_proxy_destroy)(scan.output);
        TORVIX_WAYLAND(wl_proxy_destroy)(registry);
    }
    TORVIX_WAYLAND(wl_display_disconnect)(display);
    if (!answered) return std::nullopt;
    if (scan.mode && scan.turned) scan.mode = ScreenSize{scan.mode->height, scan.mode->width};
    scan.facts.firstOutput = scan.mode;
    return scan.facts;
}
#endif

}  // namespace

std::optional<WaylandFacts> waylandFacts(const DisplayCheck& check) {
#ifdef TORVIX_HAVE_WAYLAND_CLIENT
    try {
        return waylandFactsNow(check);
    } catch (const Failure&) {  // libwayland-client cannot be loaded
        return std::nullopt;
    }
#else
    Q_UNUSED(check);
    return std::nullopt;
#endif
}

bool hasRealScreen(const DisplayCheck& check) {
    return check.reachable &&
           (check.kind == DisplayCheck::Kind::X11 || check.kind == DisplayCheck::Kind::Wayland);
}

}  // namespace torvix
