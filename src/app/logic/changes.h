#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "app/logic/command_line.h"
#include "app/logic/form1_logic.h"
#include "platform/machine.h"

namespace torvix {

// What one computer shows, read by the window's own routines: the main window's boxes and
// clock labels, and the lists of its list windows.
struct ShownItem {
    QString box;         // Text12, Label3, ...
    QString key;         // the --facts key
    int index = 0;       // 1-3 for the three DNS boxes, else 0
    QString caption;     // as the window shows it
    QString text;        // the value as shown (a clock label without its caption)
    bool moves = false;  // changes on its own: free memory, the disk's use, the clock labels
};

// A list that could not be read keeps its cause instead of rows.
template <typename Row>
struct ReadList {
    std::optional<std::vector<Row>> rows;
    QString error;
};

struct SoftwareRow {
    QString name, version;  // null where the product's property is null
};
struct PrinterRow {
    QString name;
    bool isDefault = false;
};
struct BootRow {
    QDateTime time;  // Japan time, as the history window shows it
    bool start = true;
};

struct ShownComputer {
    QDateTime now;  // the clock when gathered
    std::vector<ShownItem> items;
    ReadList<SoftwareRow> software;
    ReadList<PrinterRow> printers;
    ReadList<QString> macLines;  // the MAC list window's lines
    QStringList macAddresses;    // the addresses in those lines
    ReadList<BootRow> boots;     // every start and shutdown of the history, as read
};

// `form1` has run its start-up sequence and one clock tick; the lists are read from its machine.
ShownComputer shownComputer(Form1Logic& form1);
// Runs the start-up sequence and one clock tick on `machine` first.
ShownComputer shownComputer(Machine& machine);

struct ItemChange {
    ShownItem item;  // the new side's
    QString oldText;
};
struct SoftwareChange {
    QString name;
    std::optional<QString> oldVersion, newVersion;  // nullopt: not installed on that side
};
// A list one side could not read: compared no further, but never left out silently.
struct UnreadList {
    QString section;  // heading of the text output
    QString key;      // --facts key
    std::optional<QString> oldError, newError;
};

struct Changes {
    QDateTime oldTime, newTime;
    bool otherComputer = false;
    QString oldHost, newHost;
    std::vector<ItemChange> items;
    int leftOut = 0;  // items that move on their own, differing but not listed
    std::vector<SoftwareChange> software;
    QStringList printersAdded, printersRemoved;
    std::optional<std::pair<QString, QString>> defaultPrinter;  // old, new ("" for none)
    QStringList macAdded, macRemoved;
    std::vector<BootRow> boots;  // newer than oldTime, from the new side's history
    std::vector<UnreadList> unread;

    bool any() const;
};

// `all`: also the items that move on their own.
Changes compareComputers(const ShownComputer& older, const ShownComputer& newer, bool all);

// For a person: Japanese captions as the window shows them, one change per line, aligned.
QString changesText(const Changes& changes);
// The --facts keys.
QByteArray changesJson(const Changes& changes);

// The boxes whose text differs from `older`'s (the moving ones left out): box -> old text.
QHash<QString, QString> changedBoxes(const ShownComputer& older, const FormModel& newer);

// The background that marks a changed box; no other state of the window uses it.
constexpr Rgb changedBackground = rgb(255, 200, 230);

// Marks every box of `model` whose text differs from `older`'s: the mark's background and the
// tooltip "前回 (date): old text".
void markChangedBoxes(const ShownComputer& older, FormModel& model);

// Reads OLD for --changes and --compare; throws MachineFileError with a one-line message.
ShownComputer shownComputerOfFile(const QString& path);

// --changes[=text|json] OLD [--machine NEW] [--all]: 0 no change, 1 changes, 2 trouble.
int runChanges(const CommandLine& commandLine, const LiveMachineOptions& live);

}  // namespace torvix
