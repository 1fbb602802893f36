#pragma once

#include <QImage>
#include <QSize>
#include <optional>

class QWidget;

// The window capture step shared by the copy, print and save routines: the main window's picture
// is put on the clipboard, and the readers take it back from there.
namespace torvix::画面キャプチャ {

// The waits of the capture, in ms (500). Tests shorten them.
int waitMs();
void setWaitMs(int ms);

// Waits `ms` while the event loop keeps running (repaints, the one-second clock, clicks), then
// yields once more.
void waitWithEvents(int ms);

// Empties the clipboard, optionally waits first (yield, wait, yield: copy and save), then puts a
// picture of `mainWindow` alone on the clipboard with a wait after it. No key is ever sent, so
// none can be left pressed. Returns whether the clipboard holds the picture afterwards; a
// window that is gone by then (the program ended during a wait) gives false.
bool captureToClipboard(QWidget* mainWindow, bool leadingWait);

// Keeps a routine from starting again inside its own waits (they let clicks through): only the
// first of nested runs sharing `flag` owns it.
class SingleRun {
  public:
    explicit SingleRun(bool& flag) : flag_(flag), owns_(!flag) { flag_ = true; }
    ~SingleRun() {
        if (owns_) flag_ = false;
    }
    SingleRun(const SingleRun&) = delete;
    SingleRun& operator=(const SingleRun&) = delete;
    bool owns() const { return owns_; }

  private:
    bool& flag_;
    bool owns_;
};

// The picture the clipboard holds, if it holds one.
std::optional<QImage> clipboardPicture();

// The picture a capture put on the clipboard, while the clipboard still holds it as put there.
std::optional<QImage> placedPicture();

// A picture's size in hundredths of a millimetre: its pixels at the screen's logical dots per
// inch (pixels × 2540 ÷ dpi, rounded).
QSize sizeInHimetric(const QSize& pixels, double logicalDpiX, double logicalDpiY);
// The same for a picture taken from `window`'s screen.
QSize sizeInHimetric(const QImage& picture, const QWidget* window);

}  // namespace torvix::画面キャプチャ
