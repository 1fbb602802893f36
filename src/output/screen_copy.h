#pragma once

#include <QString>

#include "items/user_interface.h"

class QWidget;

// The copy of the main window's picture to the clipboard, for pasting into other applications.
namespace torvix::画面コピー {

extern const QString questionText;  // ends with CR LF
extern const QString questionTitle;
extern const QString doneText;
extern const QString doneTitle;
extern const QString failedText;

// The copy routine: the window capture step with the leading wait. True when the clipboard
// holds the picture afterwards.
bool copyToClipboard(QWidget* mainWindow);

// Command41 "画面をクリップボードへ": asks first (No leaves the clipboard as it was), copies,
// then says the picture is there, or that it is not when the clipboard did not take it.
void Command41_Click(QWidget* mainWindow, UserInterface& ui);

}  // namespace torvix::画面コピー
