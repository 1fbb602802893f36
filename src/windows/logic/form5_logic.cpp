#include "windows/logic/form5_logic.h"

#include <optional>

#include "platform/wmi/service.h"

namespace torvix {

const QString Form5Logic::title = QStringLiteral("プリンター");
const QString Form5Logic::query = QStringLiteral("Select * From Win32_Printer");

namespace {

// A part of the line: none when the property is null or cannot be read as text.
std::optional<QString> partText(const wmi::Instance& printer, QStringView name) {
    try {
        const wmi::Value& value = printer.property(name);
        if (value.isNull()) return std::nullopt;
        return value.toText();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool isDefault(const wmi::Instance& printer) {
    try {
        const wmi::Value& value = printer.property(u"Default");
        return !value.isNull() && value.toBool();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

PrinterEntry printerEntry(const wmi::Instance& printer) {
    return {partText(printer, u"Caption"), partText(printer, u"PortName"), isDefault(printer)};
}

QString printerLine(const wmi::Instance& printer) {
    const PrinterEntry entry = printerEntry(printer);
    QString line = entry.name.value_or(QString()) + QStringLiteral("     ポート : ") +
                   entry.port.value_or(QString());
    if (entry.isDefault) line += QStringLiteral("   通常使うプリンター");
    return line;
}

Form5Logic::Form5Logic() {
    model_.declare(QStringLiteral("List1"), QString());
    model_.declare(QStringLiteral("Command1"), QStringLiteral("表示終了"));
}

void Form5Logic::Form_Load(Machine& machine) {
    const QString list = QStringLiteral("List1");
    model_.clearItems(list);
    try {
        const wmi::Services services = machine.wmi->ConnectServer();
        wmi::ObjectSet printers = services.ExecQuery(query);
        while (std::optional<wmi::Instance> printer = printers.next())
            model_.addItem(list, printerLine(*printer));
    } catch (const std::exception&) {
        // Skipped: the list shows what was read before the failure.
    }
}

}  // namespace torvix
