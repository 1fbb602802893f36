#include "app/logic/item_text.h"

#include "app/logic/form_layout.h"

namespace torvix {

namespace {

// A value shown in a one-line box stays on one line of the table.
QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return text;
}

}  // namespace

QString itemTableText(const FormModel& model) {
    // The report's order: each caption button, then its value box or boxes.
    QString out;
    QString caption;
    for (const QString& name : form1ReportOrder()) {
        if (name == QLatin1String("Command31")) break;
        if (!model.has(name)) continue;
        if (name.startsWith(QLatin1String("Command")))
            caption = oneLine(model.text(name));
        else
            out += caption + QLatin1Char('\t') + oneLine(model.text(name)) + QLatin1Char('\n');
    }
    for (const char* label : {"Label3", "Label2", "Label4", "Label5"})
        if (model.has(QLatin1String(label)))
            out += oneLine(model.text(QLatin1String(label))) + QLatin1Char('\n');
    return out;
}

}  // namespace torvix
