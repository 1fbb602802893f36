#pragma once

#include <QString>

#include "app/window_entry.h"

namespace torvix {

// The window library beside the program: `relativePath` (from the build) resolved against the
// folder of /proc/self/exe, so that neither an RPATH nor the library search path is involved.
QString windowLibraryPath(const QString& relativePath);

struct WindowLibrary {
    const WindowEntry* entry = nullptr;  // null when it cannot be used
    QString problem;                     // why, for the user
};

// Loads the library at `path` once; later calls give the same answer.
WindowLibrary loadWindowLibrary(const QString& path);

}  // namespace torvix
