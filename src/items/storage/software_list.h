#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "items/routine.h"
#include "platform/text/text_file.h"

// The installed software list of the main window.
namespace torvix::items {

// The query the list walks, and what it shows of each product: Caption and Version, nullopt
// where the property is null.
extern const QString softwareQuery;
struct SoftwareEntry {
    std::optional<QString> name;
    std::optional<QString> version;
};
SoftwareEntry softwareEntry(const wmi::Instance& product);
// The list's line: name, a blank, version (a null part adds nothing).
QString softwareLine(const SoftwareEntry& entry);

// The file the list is written to, in the current directory.
QString softwareListPath(const CurrentDirectory& currentDirectory);

// Command31 "インストールされているソフトの一覧": asks first; on Yes lists every Win32_Product
// into List1 and インストールソフト名.txt in `currentDirectory`, yielding to the window before the
// query and before every product, and switches the automatic end off. `stop` is asked after each
// yield: true (the program is ending) ends the run at once, without a message, leaving the file
// with the lines written so far. Returns false when the user said No.
bool buildSoftwareList(RoutineContext& ctx, const CurrentDirectory& currentDirectory,
                       const std::function<bool()>& stop = {});

// The same in the process's current directory.
void Command31_Click(RoutineContext& ctx);

}  // namespace torvix::items
