#include "app/caption_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>

namespace torvix {

namespace {
constexpr int iconSize = 16;
constexpr int gap = 4;
}  // namespace

CaptionBar::CaptionBar(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("CaptionBar"));
    QFont bold = window->font();
    bold.setBold(true);
    setFont(bold);
    setCursor(Qt::ArrowCursor);
    setAccessibleName(window->windowTitle());
}

QSize CaptionBar::sizeHint() const {
    return QSize(parentWidget() ? parentWidget()->width() : 0,
                 std::max(iconSize, fontMetrics().height()) + 2 * gap);
}

void CaptionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A raised edge under the caption, as the buttons of the window have.
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, height() - 2, width() - 1, height() - 2);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    const QWidget* w = window();
    const int top = (height() - 1 - iconSize) / 2;
    p.drawPixmap(gap, top, w->windowIcon().pixmap(iconSize, iconSize));
    const QRect text(gap + iconSize + gap, 0, width() - 3 * gap - iconSize, height() - 1);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(w->windowTitle(), Qt::ElideRight, text.width()));
}

void CaptionBar::mousePressEvent(QMouseEvent* event) {
    QWindow* handle = window()->windowHandle();
    if (event->button() == Qt::LeftButton && handle && handle->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace torvix
