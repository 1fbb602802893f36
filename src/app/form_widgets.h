#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPushButton>
#include <QString>

#include "app/logic/form_layout.h"
#include "items/form_model.h"

class QListWidget;
class QWidget;

namespace torvix {

// A push button that wraps its caption over several lines when it does not fit, as the
// designed buttons expect (a narrow "表示終了" stands on two lines).
class CaptionButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Builds a window's widgets from its design and keeps them showing its FormModel: text or
// caption, background, tooltip, visibility and list items follow every controlChanged. Frames
// become group boxes, buttons CaptionButtons, value boxes read-only line edits whose text can be
// selected and copied, labels filled labels, list boxes list widgets.
class FormWidgets : public QObject {
    Q_OBJECT
  public:
    // Creates the widgets as children of `window` and sizes the window's client area.
    FormWidgets(const FormSpec& formLayout, FormModel& model, QWidget* window);

    QWidget* widget(const QString& name) const { return widgets_.value(name); }
    template <class T>
    T* get(const QString& name) const {
        return qobject_cast<T*>(widget(name));
    }
    const FormSpec& formLayout() const { return formLayout_; }

    // Twips to pixels at the window's logical resolution (15 twips a pixel at 96 dpi).
    int toPixels(int twips) const;
    static int toPixels(int twips, qreal logicalDpi);

    // Colour shown while the model gives a control no background of its own.
    void setDefaultBackground(const QString& name, const QColor& color);

  Q_SIGNALS:
    // A button was clicked (left button, released over it).
    void clicked(const QString& name);
    // Any mouse button was released over a button.
    void mouseReleased(const QString& name, Qt::MouseButton button);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void apply(const QString& name);
    void applyBackground(QWidget* w, ControlSpec::Kind kind, const std::optional<Rgb>& own,
                         const QString& name);
    void applyItems(const QString& name);
    void applyTopItem(QListWidget* list, int top);

    const FormSpec& formLayout_;
    FormModel& model_;
    qreal dpi_;
    QHash<QString, QWidget*> widgets_;
    QHash<QString, ControlSpec::Kind> kinds_;
    QHash<QString, QColor> defaultBackgrounds_;
    QHash<QString, int> designWidths_;
};

}  // namespace torvix
