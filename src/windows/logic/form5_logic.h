#pragma once

#include <QString>
#include <optional>

#include "items/form_model.h"
#include "platform/machine.h"
#include "platform/wmi/instance.h"

namespace torvix {

// The printer list window without widgets: List1 and Command1 "表示終了" in its model, and the
// load that fills the list with every printer the management query service reports.
class Form5Logic {
  public:
    static const QString title;  // "プリンター"
    static const QString query;  // every Win32_Printer

    Form5Logic();

    FormModel& model() { return model_; }
    const FormModel& model() const { return model_; }

    // Form_Load: one line per printer in the service's order. Every failing step is skipped and
    // no message is shown: a service that cannot be reached leaves the list empty, a walk that
    // fails part way keeps the lines added so far.
    void Form_Load(Machine& machine);

  private:
    FormModel model_;
};

// What the list shows of a printer: Caption and PortName (nullopt when null or unreadable) and
// whether it is the default one (a null or unreadable Default is not).
struct PrinterEntry {
    std::optional<QString> name;
    std::optional<QString> port;
    bool isDefault = false;
};
PrinterEntry printerEntry(const wmi::Instance& printer);

// A printer's line: Caption, five spaces, "ポート : ", PortName, and for the default printer
// three spaces and "通常使うプリンター". A property that is null or cannot be read adds nothing
// (a printer never shows another printer's line).
QString printerLine(const wmi::Instance& printer);

}  // namespace torvix
