#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSessionManager>
#include <QStyleFactory>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "app/app_look.h"
#include "app/form1.h"
#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "app/quit_signals.h"

namespace {

using namespace torvix;

bool displayAvailable() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

std::optional<ScreenSize> primaryScreenSize() {
    const QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    const QRect g = s->geometry();
    const qreal ratio = s->devicePixelRatio();
    return ScreenSize{static_cast<int>(std::lround(g.width() * ratio)),
                      static_cast<int>(std::lround(g.height() * ratio))};
}

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

int startWindow(int argc, char** argv, const CommandLine& commandLine) {
    if (!displayAvailable()) {
        std::fputs("torvix: no display available; printing the report instead\n", stderr);
        CommandLine report = commandLine;
        report.mode = CommandLine::Mode::Report;
        QCoreApplication app(argc, argv);
        return runReport(report);
    }

    QApplication app(argc, argv);
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
        live.screenSize = primaryScreenSize;
        machine = machineFor(commandLine, live, true);
    } catch (const Failure& f) {
        writeUtf8(stderr, QStringLiteral("torvix: %1\n").arg(f.message()));
        return 2;
    }

    Form1 form1(machine);
    // SIGTERM, SIGINT, SIGHUP and the end of the desktop session end the program at once.
    QuitOnSignals quitOnSignals([&form1](int) { form1.endProgram(); });
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &form1,
        [&form1](QSessionManager&) { form1.endProgram(); }, Qt::DirectConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1,
                     [&form1] { form1.endProgram(); });
    grabWhenShown(form1);
    form1.showCentred();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    return torvix::runCommandLine(argc, argv, [argc, argv](const torvix::CommandLine& commandLine) {
        return startWindow(argc, argv, commandLine);
    });
}
