#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace torvix {

// Colours as 0xRRGGBB.
using Rgb = std::uint32_t;
constexpr Rgb rgb(int r, int g, int b) {
    return (static_cast<Rgb>(r) << 16) | (static_cast<Rgb>(g) << 8) | static_cast<Rgb>(b);
}
namespace colors {
constexpr Rgb filled = rgb(192, 255, 255);  // light cyan: a value box its routine has written
constexpr Rgb white = rgb(255, 255, 255);
constexpr Rgb green = rgb(0, 255, 0);
constexpr Rgb yellow = rgb(255, 255, 0);
constexpr Rgb lightGreen = rgb(128, 255, 128);
constexpr Rgb lightYellow = rgb(255, 255, 192);
constexpr Rgb paleGreen = rgb(192, 255, 192);
constexpr Rgb lightOrange = rgb(255, 224, 192);
}  // namespace colors

// The state of one window's controls, independent of widgets: the gathering routines write it,
// the window shows it, the report prints it.
class FormModel : public QObject {
    Q_OBJECT
  public:
    struct Control {
        QString text;                   // caption of a button or label, text of a box
        std::optional<Rgb> background;  // nullopt: the default background
        QString toolTip;
        bool visible = true;
        QStringList items;         // list boxes
        int topItem = -1;          // list boxes: the entry to scroll to the top, -1 for none
        quint64 itemsChanges = 0;  // list boxes: counts changes of `items`
    };

    explicit FormModel(QObject* parent = nullptr) : QObject(parent) {}

    // Declares a control with its design state. Order of declaration is kept.
    void declare(const QString& name, const QString& text, std::optional<Rgb> background = {},
                 const QString& toolTip = {});
    bool has(const QString& name) const { return controls_.contains(name); }
    const QStringList& names() const { return order_; }

    const Control& control(const QString& name) const;  // asserts the control exists
    QString text(const QString& name) const { return control(name).text; }
    std::optional<Rgb> background(const QString& name) const { return control(name).background; }
    QString toolTip(const QString& name) const { return control(name).toolTip; }
    bool visible(const QString& name) const { return control(name).visible; }
    const QStringList& items(const QString& name) const { return control(name).items; }
    int topItem(const QString& name) const { return control(name).topItem; }

    void setText(const QString& name, const QString& text);
    void setBackground(const QString& name, std::optional<Rgb> background);
    void setToolTip(const QString& name, const QString& toolTip);
    void setVisible(const QString& name, bool visible);
    void clearItems(const QString& name);
    void addItem(const QString& name, const QString& item);
    // Scrolls a list box so that entry `index` is its top visible line (as far as it can go).
    void setTopItem(const QString& name, int index);

  Q_SIGNALS:
    void controlChanged(const QString& name);

  private:
    Control& mutableControl(const QString& name);
    QHash<QString, Control> controls_;
    QStringList order_;
};

}  // namespace torvix
