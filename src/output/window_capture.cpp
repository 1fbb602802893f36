#include "output/window_capture.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cmath>

namespace torvix::画面キャプチャ {

namespace {
int captureWaitMs = 500;
// What the last capture put on the clipboard; Qt deletes it when anything replaces it.
QPointer<const QMimeData> placedData;
}  // namespace

int waitMs() {
    return captureWaitMs;
}

void setWaitMs(int ms) {
    captureWaitMs = ms < 0 ? 0 : ms;
}

void waitWithEvents(int ms) {
    QCoreApplication::processEvents();
    if (ms > 0) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QCoreApplication::processEvents();
}

bool captureToClipboard(QWidget* mainWindow, bool leadingWait) {
    QPointer<QWidget> window(mainWindow);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->clear();
    if (leadingWait) waitWithEvents(waitMs());
    if (!window) return false;
    const QImage picture = window->grab().toImage();
    if (picture.isNull()) return false;
    clipboard->setImage(picture);
    placedData = clipboard->mimeData();
    waitWithEvents(waitMs());
    const QMimeData* data = clipboard->mimeData();
    return data && data->hasImage();
}

std::optional<QImage> clipboardPicture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasImage()) return std::nullopt;
    QImage picture = clipboard->image();
    if (picture.isNull()) return std::nullopt;
    return picture;
}

std::optional<QImage> placedPicture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !placedData || clipboard->mimeData() != placedData.data())
        return std::nullopt;
    QImage picture = qvariant_cast<QImage>(placedData->imageData());
    if (picture.isNull()) return std::nullopt;
    return picture;
}

QSize sizeInHimetric(const QSize& pixels, double logicalDpiX, double logicalDpiY) {
    const double dpiX = logicalDpiX > 0 ? logicalDpiX : 96.0;
    const double dpiY = logicalDpiY > 0 ? logicalDpiY : 96.0;
    return QSize(static_cast<int>(std::lround(pixels.width() * 2540.0 / dpiX)),
                 static_cast<int>(std::lround(pixels.height() * 2540.0 / dpiY)));
}

QSize sizeInHimetric(const QImage& picture, const QWidget* window) {
    const QScreen* screen =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const double dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const double dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    return sizeInHimetric(picture.size(), dpiX, dpiY);
}

}  // namespace torvix::画面キャプチャ
