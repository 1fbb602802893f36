#include "output/screen_copy.h"

#include <QPointer>
#include <QWidget>

#include "output/window_capture.h"

namespace torvix::画面コピー {

const QString questionText = QStringLiteral(
    "この画面がクリップボードにコピーされます(各アプリケーションの「貼り付け」でトルビクスが張り付"
    "けられます\r\n");
const QString questionTitle = QStringLiteral("画面のコピー");
const QString doneText = QStringLiteral(
    "画面がクリップボードにコピーされました。各アプリケーションで貼り付けができます");
const QString doneTitle = QStringLiteral("コピー");
const QString failedText = QStringLiteral("画面をクリップボードにコピーできませんでした。");

bool copyToClipboard(QWidget* mainWindow) {
    return 画面キャプチャ::captureToClipboard(mainWindow, true);
}

void Command41_Click(QWidget* mainWindow, UserInterface& ui) {
    // A click while a copy waits starts no second one.
    static bool running = false;
    const 画面キャプチャ::SingleRun run(running);
    if (!run.owns()) return;

    QPointer<QWidget> window(mainWindow);
    if (ui.messageBox(questionText, questionTitle, UserInterface::Buttons::YesNo,
                      UserInterface::Icon::Information) == UserInterface::Answer::No)
        return;
    const bool copied = copyToClipboard(window);
    // The program ended during the waits: nobody to tell.
    if (!window || !window->isVisible()) return;
    if (!copied) {
        ui.messageBox(failedText, doneTitle, UserInterface::Buttons::Ok,
                      UserInterface::Icon::Exclamation);
        return;
    }
    ui.messageBox(doneText, doneTitle, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Information);
}

}  // namespace torvix::画面コピー
