#include "platform/live/live_system_functions.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>

#include "platform/live/root_files.h"

namespace torvix::live {

std::uint32_t LiveSystemFunctions::processorCount() const {
    if (options_.processorCount) return *options_.processorCount;
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (n < 1) throw Failure(QStringLiteral("the number of processors is not known"));
    return static_cast<std::uint32_t>(n);
}

std::optional<ScreenSize> screenSizeFromDrm(const QString& root) {
    static const QRegularExpression mode(QStringLiteral("^([0-9]+)x([0-9]+)"));
    const QString base = QStringLiteral("/sys/class/drm/");
    for (const QString& connector : listRootDir(root, base)) {
        if (!connector.startsWith(u"card") || !connector.contains(u'-')) continue;
        if (readRootLine(root, base + connector + QStringLiteral("/status")) != u"connected")
            continue;
        const std::optional<QString> first =
            readRootLine(root, base + connector + QStringLiteral("/modes"));
        if (!first) continue;
        const QRegularExpressionMatch m = mode.match(*first);
        if (!m.hasMatch()) continue;
        bool okW = false, okH = false;
        const int w = m.captured(1).toInt(&okW);
        const int h = m.captured(2).toInt(&okH);
        if (okW && okH && w > 0 && h > 0) return ScreenSize{w, h};
    }
    return std::nullopt;
}

ScreenSize LiveSystemFunctions::screenSize() const {
    if (options_.screenSize) {
        if (std::optional<ScreenSize> s = options_.screenSize()) return *s;
    }
    if (std::optional<ScreenSize> s = screenSizeFromDrm(options_.root)) return *s;
    throw Failure(QStringLiteral("no screen: no display is connected"));
}

bool LiveSystemFunctions::isUserAnAdmin() const {
    return ::geteuid() == 0;
}

DiskFreeSpace LiveSystemFunctions::diskFreeSpace() const {
    // The system drive is the root file system; one "sector" per cluster of f_frsize bytes.
    const QByteArray path = QFile::encodeName(underRoot(options_.root, QStringLiteral("/")));
    struct statvfs st {};
    if (::statvfs(path.constData(), &st) != 0)
        throw Failure(
            QStringLiteral("cannot read the free space of %1: %2")
                .arg(QString::fromUtf8(path), QString::fromLocal8Bit(std::strerror(errno))));
    DiskFreeSpace d;
    d.sectorsPerCluster = 1;
    d.bytesPerSector = st.f_frsize ? st.f_frsize : st.f_bsize;
    d.freeClusters = st.f_bavail;
    d.totalClusters = st.f_blocks;
    return d;
}

QString LiveSystemFunctions::networkUserName() const {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) != 0 || !found)
        throw Failure(QStringLiteral("user %1 has no name").arg(::geteuid()));
    return QString::fromUtf8(found->pw_name);
}

QString LiveSystemFunctions::env(const QString& name) const {
    if (options_.environment) return options_.environment->value(name);
    return QString::fromLocal8Bit(qgetenv(name.toLocal8Bit().constData()));
}

QString LiveSystemFunctions::home() const {
    QString h = env(QStringLiteral("HOME"));
    if (h.isEmpty() && !options_.environment) {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buf[4096];
        if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found)
            h = QFile::decodeName(found->pw_dir);
    }
    return h;
}

namespace {

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    return path;
}

// An XDG base folder: the variable when it holds an absolute path, else the default.
QString baseDir(const QString& value, const QString& fallback) {
    return value.startsWith(u'/') ? withoutTrailingSlash(value) : fallback;
}

}  // namespace

// XDG_<NAME>_DIR of user-dirs.dirs: "$HOME/デスクトップ" or an absolute path.
QString LiveSystemFunctions::xdgUserDir(const QString& name, const QString& fallback) const {
    const QString h = home();
    const QString config =
        baseDir(env(QStringLiteral("XDG_CONFIG_HOME")), h + QStringLiteral("/.config"));
    QFile file(config + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly)) {
        const QHash<QString, QString> values = parseShellAssignments(file.read(256 * 1024));
        QString v = values.value(QStringLiteral("XDG_%1_DIR").arg(name));
        if (v.startsWith(QStringLiteral("$HOME")))
            v = h + v.mid(5);
        else if (v.startsWith(QStringLiteral("${HOME}")))
            v = h + v.mid(7);
        if (v.startsWith(u'/')) return withoutTrailingSlash(QDir::cleanPath(v));
    }
    return h.isEmpty() ? QString() : h + u'/' + fallback;
}

QString LiveSystemFunctions::specialFolder(const QString& key) const {
    const QString h = home();
    if (key == u"DeskTop") return xdgUserDir(QStringLiteral("DESKTOP"), QStringLiteral("Desktop"));
    if (key == u"MyDocuments")
        return xdgUserDir(QStringLiteral("DOCUMENTS"), QStringLiteral("Documents"));
    if (key == u"StartUp") {
        if (h.isEmpty() && !env(QStringLiteral("XDG_CONFIG_HOME")).startsWith(u'/'))
            return QString();
        return baseDir(env(QStringLiteral("XDG_CONFIG_HOME")), h + QStringLiteral("/.config")) +
               QStringLiteral("/autostart");
    }
    if (key == u"AllUsersStartUp") {
        const QStringList dirs =
            env(QStringLiteral("XDG_CONFIG_DIRS")).split(u':', Qt::SkipEmptyParts);
        const QString first = dirs.isEmpty() ? QString() : dirs.front();
        return baseDir(first, QStringLiteral("/etc/xdg")) + QStringLiteral("/autostart");
    }
    if (key == u"StartMenu") {
        if (h.isEmpty() && !env(QStringLiteral("XDG_DATA_HOME")).startsWith(u'/')) return QString();
        return baseDir(env(QStringLiteral("XDG_DATA_HOME")), h + QStringLiteral("/.local/share")) +
               QStringLiteral("/applications");
    }
    if (key == u"AllUsersStartMenu") {
        QStringList dirs = env(QStringLiteral("XDG_DATA_DIRS")).split(u':', Qt::SkipEmptyParts);
        if (dirs.isEmpty())
            dirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
        for (const QString& d : dirs) {
            if (!d.startsWith(u'/')) continue;
            const QString candidate = withoutTrailingSlash(d) + QStringLiteral("/applications");
            // Looked for under the root like every other live source; named as the user sees it.
            if (QFileInfo(underRoot(options_.root, candidate)).isDir()) return candidate;
        }
        return QString();
    }
    if (key == u"Fonts") return QStringLiteral("/usr/share/fonts");
    // AllUsersDeskTop, SendTo, PrintHood, NetHood, Favorites, Recent: nothing like them here.
    return QString();
}

}  // namespace torvix::live
