#pragma once

#include <QString>
#include <memory>

#include "platform/directory/directory.h"

namespace torvix::machinefile {
struct JsonNode;
}

namespace torvix::directory {

// The directory a machine file describes in its "directory" member. Throws MachineFileError
// naming the file and the place when the member's shape is wrong.
std::shared_ptr<Directory> readFileDirectory(const machinefile::JsonNode& member,
                                             const QString& fileName);

}  // namespace torvix::directory
