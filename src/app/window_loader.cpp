#include "app/window_loader.h"

#include <dlfcn.h>

#include <QDir>
#include <QFileInfo>

namespace torvix {

QString windowLibraryPath(const QString& relativePath) {
    // The program's own file, wherever it was started from (a link, a relative path, $PATH).
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString folder = self.isEmpty() ? QDir::currentPath() : QFileInfo(self).absolutePath();
    return QDir::cleanPath(folder + QLatin1Char('/') + relativePath);
}

WindowLibrary loadWindowLibrary(const QString& path) {
    static QString loadedPath;
    static WindowLibrary loaded;
    if (loaded.entry && loadedPath == path) return loaded;

    WindowLibrary out;
    const QByteArray file = QFile::encodeName(path);
    void* handle = dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        out.problem = why ? QString::fromLocal8Bit(why) : path + QStringLiteral(": not loadable");
        return out;
    }
    using EntryFn = const WindowEntry* (*)();
    auto fn = reinterpret_cast<EntryFn>(dlsym(handle, "torvix_window_entry"));
    const WindowEntry* entry = fn ? fn() : nullptr;
    if (!entry) {
        out.problem = path + QStringLiteral(": not a window library of torvix");
    } else if (entry->abi != windowEntryAbi ||
               QByteArray(entry->version) != QByteArray(TORVIX_VERSION)) {
        out.problem =
            QStringLiteral("%1: built for torvix %2, not %3")
                .arg(path, QString::fromLatin1(entry->version), QStringLiteral(TORVIX_VERSION));
    } else {
        out.entry = entry;
        loaded = out;
        loadedPath = path;
        return out;
    }
    dlclose(handle);
    return out;
}

}  // namespace torvix
