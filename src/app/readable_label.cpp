#include "app/readable_label.h"

#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QLabel>

namespace torvix {

namespace {

const char readableProperty[] = "torvixReadableLabel";

// A label as static text with a name of its own and its text behind the text interface.
class ReadableLabel : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit ReadableLabel(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? label()->text() : QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override {
        const QString all = label()->text();
        if (endOffset < 0 || endOffset > all.size()) endOffset = static_cast<int>(all.size());
        return startOffset < 0 || startOffset > endOffset
                   ? QString()
                   : all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(label()->text().size()); }
    QRect characterRect(int offset) const override {
        const QString all = label()->text();
        if (offset < 0 || offset >= all.size()) return {};
        const QFontMetrics fm(label()->font());
        const QRect area = label()->contentsRect();
        const QPoint origin = label()->mapToGlobal(area.topLeft());
        return QRect(origin.x() + fm.horizontalAdvance(all.left(offset)), origin.y(),
                     fm.horizontalAdvance(all.at(offset)), area.height());
    }
    int offsetAtPoint(const QPoint& point) const override {
        for (int i = 0; i < characterCount(); ++i)
            if (characterRect(i).contains(point)) return i;
        return -1;
    }
    // Nothing in a label is selected and it has no cursor.
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

  private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

QAccessibleInterface* readableLabelFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (!label || !label->property(readableProperty).toBool()) return nullptr;
    return new ReadableLabel(label);
}

}  // namespace

void makeReadableLabel(QLabel* label, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(readableLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);
    label->setProperty(readableProperty, true);
    // An interface made for the label before (its text was set while a reader listened) is
    // Qt's own; the next one asked for is this one.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label);
        made && !made->textInterface())
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    label->setAccessibleName(name);
}

}  // namespace torvix
