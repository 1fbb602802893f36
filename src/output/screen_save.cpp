#include "output/screen_save.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPointer>
#include <QSaveFile>
#include <QStringList>
#include <QWidget>

#include "output/window_capture.h"
#include "platform/text/file_target.h"

namespace torvix::画面保存 {

const QString fileName = QStringLiteral("torvix.jpg");
const QString askText = QStringLiteral("ディスクトップに保管されます(ファイル名は") + fileName +
                        QStringLiteral(")\r\n");
const QString askTitle = QStringLiteral("画面の保管");
const QString replaceText =
    fileName + QStringLiteral("はディスクトップに存在します。置き換えますか？");
const QString replaceTitle = QStringLiteral("保管ファイル");
const QString doneText = QStringLiteral("画面をディストップに保存しました。");
const QString doneTitle = QStringLiteral("保存");
const QString noDesktopText =
    QStringLiteral("ディスクトップのフォルダが見つからないため、画面を保存できませんでした。");

namespace {

// Collects what Qt reports while a file is written (and still passes it on to standard error).
class WarningCollector {
  public:
    WarningCollector() {
        current_ = this;
        previous_ = qInstallMessageHandler(&WarningCollector::handle);
    }
    ~WarningCollector() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    QStringList messages;

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (current_ && type != QtDebugMsg && type != QtInfoMsg) current_->messages << text;
        if (current_ && current_->previous_) current_->previous_(type, context, text);
    }
    static inline WarningCollector* current_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace

QString savePath(const QString& desktop) {
    return desktop + QLatin1Char('/') + fileName;
}

bool isOrdinaryFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

std::optional<QString> writeBitmap(const QImage& picture, const QString& path) {
    // QSaveFile writes straight into a special file instead of replacing it: a FIFO there would
    // hold the save until a reader came, a device would take the picture.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode))
        return S_ISFIFO(st.st_mode) ? QStringLiteral("not a regular file (a named pipe)")
                                    : QStringLiteral("not a regular file (a device or socket)");
    // QSaveFile follows links by itself: only one the kernel's rule for shared folders lets this
    // user follow is, and the save goes to the file it resolves to.
    const FileTarget target = findFileTarget(path);
    if (target.linkRefused) return target.cause;
    ignoreFileSizeSignal();  // a size limit is then a failed write, told in the message box
    WarningCollector warnings;
    QStringList causes;
    // A new file beside the old one, put in its place only when complete: a failed write leaves
    // the old picture whole.
    QSaveFile file(target.kind == FileTarget::Kind::Refused ? path : target.path);
    if (!file.open(QIODevice::WriteOnly)) {
        causes << file.errorString();
    } else {
        QImageWriter writer(&file, "BMP");
        if (!writer.write(picture)) {
            causes << writer.errorString();
            if (file.error() != QFileDevice::NoError) causes << file.errorString();
            file.cancelWriting();
        } else if (!file.commit()) {
            causes << file.errorString();
        }
    }
    if (causes.isEmpty()) return std::nullopt;
    for (const QString& w : warnings.messages)
        if (!causes.contains(w)) causes << w;
    causes.removeAll(QString());
    causes.removeDuplicates();
    return causes.isEmpty() ? QStringLiteral("unknown error") : causes.join(QLatin1Char('\n'));
}

QString failedText(const QString& path, const QString& cause) {
    return QStringLiteral("「") + path + QStringLiteral("」に保存できませんでした。\n") + cause;
}

void Command38_Click(QWidget* mainWindow, const SystemFunctions* system, UserInterface& ui) {
    // A click while a save waits starts no second one.
    static bool running = false;
    const 画面キャプチャ::SingleRun run(running);
    if (!run.owns()) return;

    QPointer<QWidget> window(mainWindow);
    QString desktop;
    try {
        if (system) desktop = system->specialFolder(QStringLiteral("DeskTop"));
    } catch (const Failure&) {
        // The lookup fails like a missing desktop; told below.
    }
    if (ui.messageBox(askText, askTitle, UserInterface::Buttons::YesNo,
                      UserInterface::Icon::Information) == UserInterface::Answer::No)
        return;
    // Without a desktop the path would be "/torvix.jpg", the root of the file system. A folder
    // that is not there (none made yet, or one named by a replayed machine) is no desktop either.
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir()) {
        ui.messageBox(noDesktopText, doneTitle, UserInterface::Buttons::Ok,
                      UserInterface::Icon::Exclamation);
        return;
    }
    const QString path = savePath(desktop);
    if (isOrdinaryFile(path) &&
        ui.messageBox(replaceText, replaceTitle, UserInterface::Buttons::YesNo,
                      UserInterface::Icon::Question) == UserInterface::Answer::No)
        return;

    画面キャプチャ::captureToClipboard(window, true);
    // The program ended during the waits: nothing more to do.
    if (!window || !window->isVisible()) return;
    const std::optional<QImage> picture = 画面キャプチャ::clipboardPicture();
    if (!picture) return;
    if (const std::optional<QString> cause = writeBitmap(*picture, path)) {
        ui.messageBox(failedText(path, *cause), doneTitle, UserInterface::Buttons::Ok,
                      UserInterface::Icon::Critical);
        return;
    }
    ui.messageBox(doneText, doneTitle, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Information);
}

}  // namespace torvix::画面保存
