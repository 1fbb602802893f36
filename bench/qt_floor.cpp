// The floor under the window's figures: the smallest Qt Widgets program that shows one line of
// Japanese in the window's face (IPA P明朝) on a window of the same size, built and measured as
// the program is. Writes "painted" to standard error once it has drawn, as the program does
// under TORVIX_MARK_PAINTED.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <cstdio>

namespace {

class PaintedMark : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stderr);
                std::fflush(stderr);
            });
        }
        return false;
    }

  private:
    bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("トルビクス CPUのクロック 2.600GHz"));
    label.setFont(QFont(QStringLiteral("IPAPMincho"), 9));
    label.resize(640, 560);  // about the main window's size
    PaintedMark mark;
    label.installEventFilter(&mark);
    label.show();
    return app.exec();
}
