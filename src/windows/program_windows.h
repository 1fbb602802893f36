#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QWindow;

namespace torvix {

// Whether a top-level widget counts as a window of the program for the activation rule:
// message boxes and the standard dialogs do not (returning from them is not coming back).
bool countsAsProgramWindow(const QWidget* window);

// Watches which window of the program is active and tells when `window` becomes the active one
// after another window of the program was (windows of other applications, message boxes and
// dialogs do not count). The windows that run something at each activation share this rule.
class ActivationWatch : public QObject {
    Q_OBJECT
  public:
    explicit ActivationWatch(QWidget* window);

    // `window` counts as the active window from now on (its first showing, which is an
    // activation whether or not the window system activates it).
    void setActive() { lastActive_ = window_; }

  Q_SIGNALS:
    void cameBack();

  private:
    void onFocusWindowChanged(QWindow* focus);

    QPointer<QWidget> window_;
    QPointer<QWidget> lastActive_;  // the program's window that was active last
};

}  // namespace torvix
