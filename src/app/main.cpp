#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSessionManager>
#include <QStyleFactory>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "app/app_look.h"
#include "app/display_check.h"
#include "app/form1.h"
#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "app/quit_signals.h"

namespace {

using namespace torvix;

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

// The report of this computer asks a reachable screen for its size through an application
// object that opens no window; without one the kernel's display modes answer. A machine file
// brings its own size.
int startReport(int argc, char** argv, const CommandLine& commandLine, DisplayCheck display) {
    if (commandLine.machineFile.isEmpty() && hasRealScreen(display)) {
        QGuiApplication app(argc, argv);
        display.connection.reset();
        LiveMachineOptions live;
        live.screenSize = primaryScreenSize;
        return runReport(commandLine, live);
    }
    QCoreApplication app(argc, argv);
    return runReport(commandLine);
}

int startWindow(int argc, char** argv, const CommandLine& commandLine) {
    // Qt aborts when its display cannot be opened: find out first, and print the report instead.
    DisplayCheck display = checkDisplay();
    if (!display.reachable) {
        if (display.kind == DisplayCheck::Kind::None)
            std::fputs("torvix: no display available; printing the report instead\n", stderr);
        else
            writeUtf8(stderr, displayProblemLine(display) + QLatin1Char('\n'));
        CommandLine report = commandLine;
        report.mode = CommandLine::Mode::Report;
        return startReport(argc, argv, report, display);
    }

    QApplication app(argc, argv);
    display.connection.reset();
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
    return torvix::runCommandLine(
        argc, argv,
        [argc, argv](const torvix::CommandLine& commandLine) {
            return startWindow(argc, argv, commandLine);
        },
        [argc, argv](const torvix::CommandLine& commandLine) {
            return startReport(argc, argv, commandLine, torvix::checkDisplay());
        });
}
