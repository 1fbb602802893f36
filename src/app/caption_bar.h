#pragma once

#include <QWidget>

namespace torvix {

// A title bar with the window's icon and caption only, for where the window draws its own (a
// Wayland compositor that leaves decoration to the client): no menu, no close, minimise or
// maximise box. Dragging it moves the window through the compositor.
class CaptionBar : public QWidget {
    Q_OBJECT
  public:
    explicit CaptionBar(QWidget* window);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace torvix
