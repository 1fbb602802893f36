#pragma once

#include <QString>

class QLabel;

namespace torvix {

// Gives `label` the accessible name `name` while its text stays readable as text: a screen
// reader hears "name" and reads the changing text (the clock labels) through the text interface,
// where Qt's own label would give the name alone.
void makeReadableLabel(QLabel* label, const QString& name);

}  // namespace torvix
