#include "app/form_widgets.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace torvix {

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);

    // A caption that does not fit on one line wraps when the button is tall enough for the
    // lines, and is set narrower otherwise, so that every character stays visible.
    QRect area = rect().adjusted(3, 1, -3, -1);
    if (option.state & QStyle::State_Sunken)
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    QFont f = font();
    int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    const QFontMetrics fm(f);
    const int oneLine = fm.horizontalAdvance(caption);
    if (oneLine > area.width()) {
        const QRect wrapped = fm.boundingRect(area, flags | Qt::TextWrapAnywhere, caption);
        if (wrapped.height() <= area.height() + 2) {
            flags |= Qt::TextWrapAnywhere;
        } else {
            f.setStretch(std::max(50, area.width() * 100 / std::max(1, oneLine)));
            p.setFont(f);
        }
    }
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(area, flags, caption);
}

FormWidgets::FormWidgets(const FormSpec& formLayout, FormModel& model, QWidget* window)
    : QObject(window), formLayout_(formLayout), model_(model), dpi_(window->logicalDpiX()) {
    using K = ControlSpec::Kind;
    if (dpi_ <= 0) dpi_ = 96;
    for (const ControlSpec& c : formLayout.controls) {
        QWidget* parent = c.frame.isEmpty() ? window : widgets_.value(c.frame, window);
        QWidget* w = nullptr;
        switch (c.kind) {
            case K::Frame:
                w = new QGroupBox(parent);
                break;
            case K::Button: {
                auto* b = new CaptionButton(parent);
                b->setAutoDefault(false);
                connect(b, &QPushButton::clicked, this,
                        [this, name = c.name] { Q_EMIT clicked(name); });
                b->installEventFilter(this);
                w = b;
                break;
            }
            case K::TextBox: {
                auto* e = new QLineEdit(parent);
                e->setReadOnly(true);
                e->setTextMargins(0, 0, 0, 0);
                w = e;
                break;
            }
            case K::Label: {
                auto* l = new QLabel(parent);
                l->setTextInteractionFlags(Qt::NoTextInteraction);
                l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                w = l;
                break;
            }
            case K::ListBox: {
                auto* l = new QListWidget(parent);
                l->setSelectionMode(QAbstractItemView::SingleSelection);
                // Long lines scroll sideways rather than end in "…", so all can be read.
                l->setTextElideMode(Qt::ElideNone);
                l->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                // One line per entry: lets thousands of entries be laid out in constant time.
                l->setUniformItemSizes(true);
                w = l;
                break;
            }
        }
        w->setObjectName(c.name);
        w->setGeometry(toPixels(c.left), toPixels(c.top), toPixels(c.width), toPixels(c.height));
        widgets_.insert(c.name, w);
        designWidths_.insert(c.name, w->width());
        kinds_.insert(c.name, c.kind);
        if (c.kind == K::Button) {
            defaultBackgrounds_.insert(c.name, w->palette().color(QPalette::Button));
        } else if (c.kind == K::TextBox || c.kind == K::ListBox) {
            defaultBackgrounds_.insert(c.name, w->palette().color(QPalette::Base));
        }
        if (model.has(c.name)) apply(c.name);
    }
    window->resize(toPixels(formLayout.clientWidth), toPixels(formLayout.clientHeight));
    connect(&model_, &FormModel::controlChanged, this, &FormWidgets::apply);
}

int FormWidgets::toPixels(int twips, qreal logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

int FormWidgets::toPixels(int twips) const {
    return toPixels(twips, dpi_);
}

void FormWidgets::setDefaultBackground(const QString& name, const QColor& color) {
    defaultBackgrounds_.insert(name, color);
    if (model_.has(name)) apply(name);
}

void FormWidgets::apply(const QString& name) {
    using K = ControlSpec::Kind;
    QWidget* w = widgets_.value(name);
    if (!w || !model_.has(name)) return;
    const FormModel::Control& c = model_.control(name);
    const K kind = kinds_.value(name);
    switch (kind) {
        case K::Frame:
            static_cast<QGroupBox*>(w)->setTitle(c.text);
            break;
        case K::Button:
            static_cast<QPushButton*>(w)->setText(c.text);
            break;
        case K::TextBox: {
            auto* e = static_cast<QLineEdit*>(w);
            if (e->text() != c.text) {
                e->setText(c.text);
                e->setCursorPosition(0);  // show the beginning of a long value
            }
            break;
        }
        case K::Label: {
            // Labels grow to their text, as the clock labels must (their design width only
            // holds the design caption); they never shrink below the design.
            auto* l = static_cast<QLabel*>(w);
            l->setText(c.text);
            const int wanted = std::max(designWidths_.value(name), l->sizeHint().width());
            if (l->width() != wanted) l->resize(wanted, l->height());
            break;
        }
        case K::ListBox:
            applyItems(name);
            break;
    }
    applyBackground(w, kind, c.background, name);
    if (w->toolTip() != c.toolTip) w->setToolTip(c.toolTip);
    if (w->isHidden() == c.visible) w->setHidden(!c.visible);
}

void FormWidgets::applyBackground(QWidget* w, ControlSpec::Kind kind, const std::optional<Rgb>& own,
                                  const QString& name) {
    using K = ControlSpec::Kind;
    QPalette pal = w->palette();
    const QColor color =
        own ? QColor::fromRgb(static_cast<QRgb>(*own)) : defaultBackgrounds_.value(name);
    switch (kind) {
        case K::Button:
            if (!color.isValid()) return;
            pal.setColor(QPalette::Button, color);
            break;
        case K::TextBox:
        case K::ListBox:
            if (!color.isValid()) return;
            pal.setColor(QPalette::Base, color);
            break;
        case K::Label:
            w->setAutoFillBackground(own.has_value());
            if (!own) return;
            pal.setColor(QPalette::Window, color);
            break;
        case K::Frame:
            return;
    }
    if (pal != w->palette()) w->setPalette(pal);
}

void FormWidgets::applyItems(const QString& name) {
    auto* list = static_cast<QListWidget*>(widgets_.value(name));
    const FormModel::Control& control = model_.control(name);
    const QStringList& items = control.items;
    // Another change of the list box (its colour, its scroll hint): its entries stand as shown.
    static const char appliedChanges[] = "torvixItemsChanges";
    const QVariant before = list->property(appliedChanges);
    list->setProperty(appliedChanges, control.itemsChanges);
    if (before.isValid() && before.toULongLong() == control.itemsChanges) {
        applyTopItem(list, control.topItem);
        return;
    }
    const int shown = list->count();
    // Lines are mostly appended one at a time (thousands for the software list): add only the
    // new ones while what is shown is still the beginning of the model's list.
    bool prefix = shown <= items.size();
    if (prefix && shown > 0)
        prefix = list->item(shown - 1)->text() == items.at(shown - 1) &&
                 list->item(0)->text() == items.at(0);
    if (prefix && shown == items.size()) {
        for (int i = 0; i < shown && prefix; ++i) prefix = list->item(i)->text() == items.at(i);
        if (prefix) {
            applyTopItem(list, model_.topItem(name));
            return;
        }
    }
    if (!prefix) {
        list->clear();
        list->addItems(items);
    } else if (shown < items.size()) {
        list->addItems(items.mid(shown));
    }
    applyTopItem(list, model_.topItem(name));
}

void FormWidgets::applyTopItem(QListWidget* list, int top) {
    // Scrolled once per change of the model's hint, so the user may scroll freely in between;
    // and only when events are next delivered, so a list growing line by line lays itself out
    // once per turn of the event loop rather than once per line.
    static const char applied[] = "torvixTopItem";
    static const char pending[] = "torvixScrollPending";
    const QVariant before = list->property(applied);
    if (before.isValid() && before.toInt() == top) return;
    list->setProperty(applied, top);
    if (list->property(pending).toBool()) return;
    list->setProperty(pending, true);
    QMetaObject::invokeMethod(
        list,
        [list] {
            list->setProperty(pending, false);
            const int wanted = list->property(applied).toInt();
            if (wanted >= 0 && wanted < list->count())
                list->scrollToItem(list->item(wanted), QAbstractItemView::PositionAtTop);
        },
        Qt::QueuedConnection);
}

bool FormWidgets::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* w = qobject_cast<QWidget*>(watched);
        auto* e = static_cast<QMouseEvent*>(event);
        if (w && w->rect().contains(e->position().toPoint()))
            Q_EMIT mouseReleased(w->objectName(), e->button());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace torvix
