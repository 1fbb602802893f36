#include "platform/lazy_library.h"

#include <dlfcn.h>

#include <QString>
#include <mutex>

#include "platform/failure.h"

namespace torvix {

namespace {

// The run-time names, found by the build from the libraries it compiled against.
const char* soname(Library library) {
    switch (library) {
        case Library::Cups:
            return TORVIX_CUPS_SONAME;
        case Library::Ldap:
            return TORVIX_LDAP_SONAME;
        case Library::Lber:
            return TORVIX_LBER_SONAME;
        case Library::Sqlite:
            return TORVIX_SQLITE_SONAME;
        case Library::Systemd:
            return TORVIX_SYSTEMD_SONAME;  // empty when built without it
        case Library::Xcb:
            return TORVIX_XCB_SONAME;
        case Library::XcbRandr:
            return TORVIX_XCB_RANDR_SONAME;
    }
    return "";
}

struct Loaded {
    std::once_flag once;
    void* handle = nullptr;
    QString problem;
};

Loaded loaded[7];

}  // namespace

void* lazySymbol(Library library, const char* name) {
    Loaded& l = loaded[static_cast<int>(library)];
    std::call_once(l.once, [&l, library] {
        // Kept for the life of the process: libraries with threads and handlers of their own
        // must never be unloaded.
        if (*soname(library) == '\0') {  // dlopen("") would give the program itself
            l.problem = QStringLiteral("a library this build was made without");
            return;
        }
        l.handle = dlopen(soname(library), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
        if (!l.handle) {
            const char* why = dlerror();
            l.problem = why ? QString::fromLocal8Bit(why) : QString::fromLatin1(soname(library));
        }
    });
    if (!l.handle) throw Failure(QStringLiteral("cannot load %1").arg(l.problem));
    void* symbol = dlsym(l.handle, name);
    if (!symbol)
        throw Failure(QStringLiteral("%1 has no %2")
                          .arg(QString::fromLatin1(soname(library)), QString::fromLatin1(name)));
    return symbol;
}

}  // namespace torvix
