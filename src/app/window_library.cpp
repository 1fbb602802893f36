// The window side of the program, built as libtorvix-window.so: everything that needs Qt Gui or
// Widgets starts here, behind torvix_window_entry().
#include <QApplication>
#include <QSessionManager>
#include <QStyleFactory>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "app/app_look.h"
#include "app/clipboard_at_exit.h"
#include "app/form1.h"
#include "app/logic/changes.h"
#include "app/logic/report.h"
#include "app/quit_signals.h"
#include "app/screen_size.h"
#include "app/window_entry.h"

namespace torvix {

namespace {

// Developer aid: TORVIX_GRAB_PNG=path saves a picture of the main window once the start-up
// sequence has run, for checking the layout on a headless display.
void grabWhenShown(Form1& form1) {
    const QString path = qEnvironmentVariable("TORVIX_GRAB_PNG");
    if (path.isEmpty()) return;
    auto* once = new QObject(&form1);
    QObject::connect(&form1, &Form1::startupSequenceDone, once, [&form1, path, once] {
        delete once;
        QTimer::singleShot(300, &form1, [&form1, path] {
            if (!form1.grab().save(path, "PNG"))
                std::fprintf(stderr, "torvix: cannot save %s\n", qPrintable(path));
        });
    });
}

// Developer aid for the start-up benchmark: TORVIX_MARK_PAINTED=1 writes "painted" to standard
// error once the window has drawn the values of its first start-up sequence.
class PaintedMark : public QObject {
  public:
    explicit PaintedMark(Form1& form1) : QObject(&form1), form1_(form1) {
        connect(&form1, &Form1::startupSequenceDone, this, [this] {
            // Qt posts the repaint to the top-level widget, or to its native window where that
            // asks for the update itself.
            form1_.installEventFilter(this);
            if (QWindow* w = form1_.windowHandle()) w->installEventFilter(this);
        });
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // The repaint manager paints and flushes the window while handling this event; a
        // zero timer fires once that is over.
        if (event->type() == QEvent::UpdateRequest && !done_) {
            done_ = true;
            form1_.removeEventFilter(this);
            if (QWindow* w = form1_.windowHandle()) w->removeEventFilter(this);
            QTimer::singleShot(0, this, [] {
                std::fputs("painted\n", stderr);
                std::fflush(stderr);
            });
        }
        return false;
    }

  private:
    Form1& form1_;
    bool done_ = false;
};

int openWindow(int argc, char** argv, const CommandLine* commandLine, DisplayCheck* display) {
    // The window draws with QPainter alone: no OpenGL library needs loading for it. Only for
    // this process: programs it starts (the diagnostic tool) may well want OpenGL.
    const bool glChosen = qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION");
    if (!glChosen) qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    if (!glChosen) qunsetenv("QT_XCB_GL_INTEGRATION");
    display->connection.reset();
    QApplication::setApplicationName(QStringLiteral("torvix"));
    QApplication::setApplicationVersion(QStringLiteral(TORVIX_VERSION));
    // The buttons' own colours show on Fusion whatever the desktop's theme.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setQuitOnLastWindowClosed(false);
    installFontSubstitutes();
    QApplication::setWindowIcon(programIcon());

    Machine machine;
    try {
        LiveMachineOptions live;
        live.screenSize = deviceScreenSize;
        machine = machineFor(*commandLine, live, true);
    } catch (const Failure& f) {
        writeUtf8(stderr, QStringLiteral("torvix: %1\n").arg(f.message()));
        return 2;
    }

    // --compare: OLD is read before the window opens, so a bad file opens none.
    std::shared_ptr<const ShownComputer> older;
    if (!commandLine->compareFile.isEmpty()) {
        try {
            older = std::make_shared<const ShownComputer>(
                shownComputerOfFile(commandLine->compareFile));
        } catch (const std::exception& e) {
            writeUtf8(stderr, QStringLiteral("torvix: %1\n").arg(failureMessage(e)));
            return 2;
        }
    }

    Form1 form1(machine);
    if (older) form1.setComparison(older);
    // SIGTERM, SIGINT, SIGHUP and the end of the desktop session end the program at once.
    QuitOnSignals quitOnSignals([&form1](int) { form1.endProgram(); });
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &form1,
        [&form1](QSessionManager&) { form1.endProgram(); }, Qt::DirectConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1,
                     [&form1] { form1.endProgram(); });
    grabWhenShown(form1);
    if (qEnvironmentVariableIsSet("TORVIX_MARK_PAINTED")) new PaintedMark(form1);
    if (compositorLeavesTitleBar()) form1.useOwnTitleBar();
    form1.showCentred();
    const int code = QApplication::exec();
    // Every end ("停止", the automatic end, a signal, the session) comes back here: the
    // application object still exists, and goes normally afterwards, so that Qt can hand the
    // clipboard to a clipboard manager.
    keepClipboardPictureAtExit(machine.launcher.get());
    return code;
}

int reportOnScreen(int argc, char** argv, const CommandLine* commandLine, DisplayCheck* display) {
    // An application object that opens no window, only to ask the screen for its size.
    QGuiApplication app(argc, argv);
    display->connection.reset();
    LiveMachineOptions live;
    live.screenSize = deviceScreenSize;
    return runReport(*commandLine, live);
}

const WindowEntry entry = {windowEntryAbi, TORVIX_VERSION, &openWindow, &reportOnScreen};

}  // namespace

}  // namespace torvix

extern "C" __attribute__((visibility("default"))) const torvix::WindowEntry* torvix_window_entry() {
    return &torvix::entry;
}
