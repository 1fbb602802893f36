#include "windows/program_windows.h"

#include <QApplication>
#include <QWindow>

namespace torvix {

bool countsAsProgramWindow(const QWidget* window) {
    if (!window) return false;
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Desktop)
        return false;
    for (const char* cls : {"QMessageBox", "QFileDialog", "QInputDialog", "QColorDialog",
                            "QFontDialog", "QPrintDialog", "QPageSetupDialog",
                            "QPrintPreviewDialog", "QProgressDialog", "QErrorMessage"})
        if (window->inherits(cls)) return false;
    return true;
}

ActivationWatch::ActivationWatch(QWidget* window) : QObject(window), window_(window) {
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            &ActivationWatch::onFocusWindowChanged);
}

void ActivationWatch::onFocusWindowChanged(QWindow* focus) {
    if (!focus || !window_) return;  // another application, or nothing, became active
    QWidget* top = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == focus) {
            top = w;
            break;
        }
    if (!top || !countsAsProgramWindow(top)) return;
    const bool comingBack = top == window_ && lastActive_ != window_;
    lastActive_ = top;
    if (comingBack) Q_EMIT cameBack();
}

}  // namespace torvix
