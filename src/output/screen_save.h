#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "items/user_interface.h"
#include "platform/system_functions.h"

class QWidget;

// The save of the main window's picture as "torvix.jpg" on the user's desktop. The content is a
// Windows bitmap whatever the name says; image viewers go by the content.
namespace torvix::画面保存 {

extern const QString fileName;  // "torvix.jpg"
extern const QString askText;   // ends with CR LF
extern const QString askTitle;
extern const QString replaceText;
extern const QString replaceTitle;
extern const QString doneText;
extern const QString doneTitle;
extern const QString noDesktopText;

// "desktop/torvix.jpg".
QString savePath(const QString& desktop);

// Whether an ordinary file lies at `path`: a regular file, not hidden, not a folder.
bool isOrdinaryFile(const QString& path);

// Writes `picture` to `path` as a bitmap, replacing any file there only once the new one is
// complete. Returns the cause when it cannot (every warning the writer gives goes with it).
std::optional<QString> writeBitmap(const QImage& picture, const QString& path);

// The message for a file that could not be written.
QString failedText(const QString& path, const QString& cause);

// Command38 "この画面の保存": asks, asks again before replacing, captures the window with the
// leading wait and writes the picture to the desktop. A desktop that is not known, or a file that
// cannot be written, is told instead of the closing message.
void Command38_Click(QWidget* mainWindow, const SystemFunctions* system, UserInterface& ui);

}  // namespace torvix::画面保存
