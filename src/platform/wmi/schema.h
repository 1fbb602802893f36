#pragma once

#include <QString>
#include <QStringList>

namespace torvix::wmi {

// Property names of the Win32 classes the program queries, in the order Windows enumerates them
// (Properties_ lists them alphabetically). Empty for a class not known here.
QStringList schemaProperties(QStringView className);

// The known class names, with Windows' spelling.
QStringList schemaClasses();

// The known class's own spelling ("win32_processor" -> "Win32_Processor"); empty if unknown.
QString schemaClassName(QStringView className);

}  // namespace torvix::wmi
