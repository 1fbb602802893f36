#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "app/logic/command_line.h"
#include "app/logic/form1_logic.h"
#include "items/form_model.h"
#include "items/report_entry.h"
#include "items/user_interface.h"

namespace torvix {

// Text form: NAME<TAB>TEXT<TAB>BACKGROUND per line (BACKGROUND "#RRGGBB" or empty); a list box
// gives one "List1<TAB>entry<TAB>" line per entry, a multi-line text one line per text line. A
// tab inside a text is printed as a blank so that the columns stay intact.
QByteArray reportText(const std::vector<ReportEntry>& entries);
// JSON form: an array of {"name", "text", "background"} in the same order; background is null or
// "#RRGGBB"; a list box's "text" is the array of its entries.
QByteArray reportJson(const std::vector<ReportEntry>& entries);

// Message boxes in the report: the text goes to standard error, the answer is the affirmative
// button (OK or Yes).
class ReportUserInterface : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override;
    QStringList shown;  // texts, in order
};

// The windows `--window` can name. The function opens the window as the user would after the
// main window's start-up sequence and returns its controls. Form1 and Form2 are built in; other
// windows register themselves here (or in reportWindowTable() in report.cpp).
using ReportWindowFn =
    std::function<std::vector<ReportEntry>(Form1Logic& form1, UserInterface& ui)>;
void registerReportWindow(const QString& name, ReportWindowFn fn);
QStringList reportWindowNames();

// --report: runs the main window's start-up sequence and one clock tick without a window, then
// prints the named window. Returns the exit code (2 for an unknown window or a bad machine file).
int runReport(const CommandLine& commandLine);
// The same with the live computer's options (the display size of a reachable screen). This is
// the entry of every window-less mode: it goes by commandLine.mode (Report, Snapshot, Facts).
int runReport(const CommandLine& commandLine, const LiveMachineOptions& live);
// The same on a given machine, writing to `out`; for tests and the benchmark.
int runReport(const CommandLine& commandLine, Machine& machine, QByteArray& out);

}  // namespace torvix
