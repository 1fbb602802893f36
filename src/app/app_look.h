#pragma once

#include <QFont>
#include <QIcon>

namespace torvix {

// The face every window of the program is set in, as designed: "ＭＳ Ｐ明朝" at 9 points.
// installFontSubstitutes() maps it to the metric-compatible IPA face on Linux; call it once
// after the application object exists.
void installFontSubstitutes();
QFont windowFont();

// The program's own 32 x 32 window icon, shared by all its windows.
QIcon programIcon();

}  // namespace torvix
