#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>

namespace torvix::test {

// Waits until `pred` holds, processing events; false after `ms`.
inline bool waitFor(const std::function<bool()>& pred, int ms = 3000) {
    return QTest::qWaitFor(pred, ms);
}

// Makes `w` the active window as a click on it would, and waits until it is.
inline bool activate(QWidget* w) {
    w->activateWindow();
    return waitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); });
}

// Answers the next modal message box by clicking the button whose text contains `button`;
// records its text and title.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(QString button) : button_(std::move(button)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    int answered() const { return answered_; }
    QString text, title;

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        for (QAbstractButton* b : box->buttons())
            if (b->text().contains(button_)) {
                text = box->text();
                title = box->windowTitle();
                ++answered_;
                b->click();
                return;
            }
    }
    QString button_;
    QTimer timer_;
    int answered_ = 0;
};

}  // namespace torvix::test
