#pragma once

// Libraries the program needs only for some sources (libcups for the printers, libldap for the
// directory, SQLite for wtmpdb's login history, libsystemd for logind and the journal, libxcb for
// the X display check) are loaded on their first use rather than at start: loading them all
// costs every run, even a report of a machine file, about as much as Qt Core itself.
//
//   lazyCall<&::cupsServer>(Library::Cups)() calls cupsServer.
//
// A library or function that cannot be had throws Failure naming it.

namespace torvix {

enum class Library { Cups, Ldap, Lber, Sqlite, Systemd, Xcb, XcbRandr };

// The address of `name` in `library`, loading it once (thread-safe). Throws Failure.
void* lazySymbol(Library library, const char* name);

}  // namespace torvix

// The function `fn`, declared by the library's header, resolved at run time.
#define TORVIX_LAZY(library, fn) \
    (reinterpret_cast<decltype(&::fn)>(::torvix::lazySymbol(::torvix::Library::library, #fn)))
