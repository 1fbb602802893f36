// The program behind its front (main.cpp), built as libtorvix-program.so: it links Qt Core only,
// so the command-line modes load no GUI library. The window lives in libtorvix-window.so, loaded
// when one is opened.
#include <QCoreApplication>
#include <cstdio>

#include "app/display_check.h"
#include "app/logic/command_line.h"
#include "app/logic/report.h"
#include "app/window_loader.h"

namespace {

using namespace torvix;

WindowLibrary windowLibrary() {
    return loadWindowLibrary(windowLibraryPath(QStringLiteral(TORVIX_WINDOW_LIBRARY)));
}

// The report of this computer asks a reachable screen for its size in device pixels (the window
// shows that size too): an X server or a Wayland compositor directly, else through the window
// library's application object. A machine file brings its own size.
int startReport(int argc, char** argv, const CommandLine& commandLine, DisplayCheck display) {
    LiveMachineOptions live;
    if (commandLine.machineFile.isEmpty() && hasRealScreen(display)) {
        const auto waylandOutput = [display]() -> std::optional<ScreenSize> {
            const std::optional<WaylandFacts> facts = waylandFacts(display);
            return facts ? facts->firstOutput : std::nullopt;
        };
        if (display.kind == DisplayCheck::Kind::X11 && x11PrimaryScreenSize(display)) {
            live.screenSize = [display] { return x11PrimaryScreenSize(display); };
        } else if (display.kind == DisplayCheck::Kind::Wayland && waylandOutput()) {
            live.screenSize = waylandOutput;
        } else {
            const WindowLibrary window = windowLibrary();
            if (window.entry)
                return window.entry->reportOnScreen(argc, argv, &commandLine, &display);
            writeUtf8(stderr, QStringLiteral("torvix: cannot load the window library (%1); the "
                                             "display size comes from the kernel\n")
                                  .arg(window.problem));
        }
    }
    QCoreApplication app(argc, argv);
    return runReport(commandLine, live);
}

int startWindow(int argc, char** argv, const CommandLine& commandLine) {
    // Qt aborts when its display cannot be opened: find out first, and print the report instead.
    DisplayCheck display = checkDisplay();
    CommandLine report = commandLine;
    report.mode = CommandLine::Mode::Report;
    if (!display.reachable) {
        if (display.kind == DisplayCheck::Kind::None)
            std::fputs("torvix: no display available; printing the report instead\n", stderr);
        else
            writeUtf8(stderr, displayProblemLine(display) + QLatin1Char('\n'));
        return startReport(argc, argv, report, display);
    }
    const WindowLibrary window = windowLibrary();
    if (!window.entry) {
        writeUtf8(stderr,
                  QStringLiteral("torvix: cannot load the window library (%1); printing the "
                                 "report instead\n")
                      .arg(window.problem));
        return startReport(argc, argv, report, display);
    }
    return window.entry->openWindow(argc, argv, &commandLine, &display);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int torvix_program_main(int argc, char** argv) {
    return torvix::runCommandLine(
        argc, argv,
        [argc, argv](const torvix::CommandLine& commandLine) {
            return startWindow(argc, argv, commandLine);
        },
        [argc, argv](const torvix::CommandLine& commandLine) {
            return startReport(argc, argv, commandLine, torvix::checkDisplay());
        });
}
