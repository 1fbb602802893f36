#pragma once

#include <QStringList>

namespace torvix {

// The version history window (Form2): what its list shows, line by line (24 lines), filled
// afresh on each load.
QStringList form2Lines();

}  // namespace torvix
