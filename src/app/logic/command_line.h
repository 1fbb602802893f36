#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>

#include "platform/machine.h"

namespace torvix {

// What the program was asked to do on its command line.
struct CommandLine {
    // Report, Snapshot, Facts and Changes run without a window (see ReportStarter and runReport).
    enum class Mode { Window, Report, Snapshot, Facts, Changes, Help, Version, Invalid };
    enum class Format { Text, Json };

    Mode mode = Mode::Window;
    Format format = Format::Text;
    QString window = QStringLiteral("Form1");  // --window NAME (report only)
    QString machineFile;                       // --machine FILE; empty: this computer
    QString snapshotFile;                      // --snapshot FILE ("-": standard output)
    QStringList press;    // --press NAME (report only): main-window buttons, in the order given
    QString compareFile;  // --changes OLD, --compare OLD: the earlier computer's machine file
    bool all = false;     // --changes --all: also the values that move on their own
    QString error;        // Mode::Invalid: what is wrong, for the user
};

// Reads the arguments after the program name:
//   [--machine FILE] | --report[=text|json] [--window NAME] [--press NAME]... [--machine FILE]
//   | --snapshot FILE [--machine FILE] | --facts [--machine FILE]
//   | --changes[=text|json] OLD [--machine FILE] [--all] | --compare OLD [--report...]
//   | --help | --version
// Options also take the "--opt=value" form. Anything else gives Mode::Invalid with a message.
CommandLine parseCommandLine(const QStringList& arguments);

QString usageText();    // Japanese and English
QString versionText();  // "torvix <version>"

// The computer the command line names: the machine file (its clock advancing with real time
// when `clockAdvances`, as in the window) or this computer. Throws MachineFileError.
Machine machineFor(const CommandLine& commandLine, const LiveMachineOptions& live,
                   bool clockAdvances);

// Opens the window for a Mode::Window command line and runs the event loop; returns the exit
// code. It creates its own QApplication.
using WindowStarter = std::function<int(const CommandLine&)>;

// Runs a window-less command line (Report, Snapshot, Facts) with the application object it
// chooses (the program asks a reachable display for its size); returns the exit code.
using ReportStarter = std::function<int(const CommandLine&)>;

// The whole command line: help, version and the report are handled here (the report needs no
// display: without `startReport` a QCoreApplication is made if none exists); the window goes to
// `startWindow`. A bad option prints a message and returns 2.
int runCommandLine(int argc, char** argv, const WindowStarter& startWindow,
                   const ReportStarter& startReport = {});

// Writes UTF-8 bytes whatever the locale says.
void writeUtf8(FILE* stream, const QString& text);

}  // namespace torvix
