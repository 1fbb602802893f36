#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "items/form_model.h"

namespace torvix {

// One control of a window as designed: kind, name, design caption or text, position in twips
// (within its frame when it has one), own background, tooltip.
struct ControlSpec {
    enum class Kind { Frame, Button, TextBox, Label, ListBox };
    Kind kind;
    QString name;
    QString caption;
    int left, top, width, height;  // twips
    QString frame;                 // name of the enclosing frame, empty for the window
    std::optional<Rgb> background;
    QString toolTip;
};

struct FormSpec {
    QString name;
    QString caption;
    int clientWidth, clientHeight;  // twips
    std::vector<ControlSpec> controls;
};

constexpr int twipsPerPixel = 15;  // at 96 dpi

// The main window as designed.
const FormSpec& form1Spec();

// The main window's controls in the order the report lists them: the item table's rows top to
// bottom (caption button, then its value box or boxes), Command31, List1, Label3, Label2,
// Label4, Label5, Command34.
const QStringList& form1ReportOrder();

// What a screen reader calls the main window's value boxes and clock labels: a value box its
// caption button's caption without "(クリックで一覧)", numbered where one caption has several
// boxes ("DNS Server 1"); a clock label its design caption before the sample value.
const QHash<QString, QString>& form1AccessibleNames();

// The controls of `formLayout` that Tab reaches (buttons, value boxes, list boxes) in the order
// the eye reads them: the left half of the window top to bottom, then the right half; controls
// whose tops lie within half a height of each other form one row, read left to right.
QStringList visualTabOrder(const FormSpec& formLayout);

// Declares every control of `formLayout` in `model` with its design state ("------" in value
// boxes).
void declareControls(const FormSpec& formLayout, FormModel& model);

}  // namespace torvix
