#include "items/form_model.h"

#include <QtGlobal>

namespace torvix {

void FormModel::declare(const QString& name, const QString& text, std::optional<Rgb> background,
                        const QString& toolTip) {
    if (!controls_.contains(name)) order_ << name;
    Control c;
    c.text = text;
    c.background = background;
    c.toolTip = toolTip;
    controls_.insert(name, c);
}

const FormModel::Control& FormModel::control(const QString& name) const {
    auto it = controls_.constFind(name);
    Q_ASSERT_X(it != controls_.constEnd(), "FormModel", qPrintable(name));
    if (it == controls_.constEnd()) qFatal("FormModel: no control %s", qPrintable(name));
    return *it;
}

FormModel::Control& FormModel::mutableControl(const QString& name) {
    auto it = controls_.find(name);
    if (it == controls_.end()) qFatal("FormModel: no control %s", qPrintable(name));
    return *it;
}

void FormModel::setText(const QString& name, const QString& text) {
    Control& c = mutableControl(name);
    if (c.text == text) return;
    c.text = text;
    Q_EMIT controlChanged(name);
}

void FormModel::setBackground(const QString& name, std::optional<Rgb> background) {
    Control& c = mutableControl(name);
    if (c.background == background) return;
    c.background = background;
    Q_EMIT controlChanged(name);
}

void FormModel::setToolTip(const QString& name, const QString& toolTip) {
    Control& c = mutableControl(name);
    if (c.toolTip == toolTip) return;
    c.toolTip = toolTip;
    Q_EMIT controlChanged(name);
}

void FormModel::setVisible(const QString& name, bool visible) {
    Control& c = mutableControl(name);
    if (c.visible == visible) return;
    c.visible = visible;
    Q_EMIT controlChanged(name);
}

void FormModel::clearItems(const QString& name) {
    Control& c = mutableControl(name);
    if (c.items.isEmpty()) return;
    c.items.clear();
    c.topItem = -1;
    ++c.itemsChanges;
    Q_EMIT controlChanged(name);
}

void FormModel::addItem(const QString& name, const QString& item) {
    Control& c = mutableControl(name);
    c.items << item;
    ++c.itemsChanges;
    Q_EMIT controlChanged(name);
}

void FormModel::setTopItem(const QString& name, int index) {
    Control& c = mutableControl(name);
    if (c.topItem == index) return;
    c.topItem = index;
    Q_EMIT controlChanged(name);
}

}  // namespace torvix
