#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>

namespace torvix {

// The face every window of the program is set in, as designed: "ＭＳ Ｐ明朝" at 9 points.
// installFontSubstitutes() maps it to the metric-compatible IPA face on Linux; call it once
// after the application object exists.
void installFontSubstitutes();
QFont windowFont();

// The program's own window icon, shared by all its windows, at the sizes it is drawn in (the
// desktop's menu gets the same pictures from the installed hicolor icons).
inline constexpr int programIconSizes[] = {16, 32, 48};
QIcon programIcon();
QImage programIconImage(int size);  // drawn without an application object

}  // namespace torvix
