#include "app/app_look.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

namespace torvix {

namespace {
const QString designFace = QStringLiteral("ＭＳ Ｐ明朝");
}

void installFontSubstitutes() {
    static bool done = false;
    if (done) return;
    done = true;
    // IPAPMincho has the same metrics; without a substitute Qt falls back to a Gothic face.
    QFont::insertSubstitutions(
        designFace,
        {QStringLiteral("IPAPMincho"), QStringLiteral("IPA P明朝"), QStringLiteral("IPAMincho")});
}

QFont windowFont() {
    installFontSubstitutes();
    QFont f(designFace);
    f.setPointSize(9);
    f.setStyleHint(QFont::Serif);
    return f;
}

QImage programIconImage(int size) {
    // A small monitor with an "i" on it: the program shows information about this PC. The
    // installed icons (data/icons) are this drawing; torvix.svg repeats it on the same grid.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    p.scale(s, s);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(QColor(0, 170, 0));
    p.drawRoundedRect(QRectF(2, 3, 28, 20), 2, 2);
    p.setBrush(QColor(192, 255, 255));
    p.drawRect(QRectF(5, 6, 22, 14));
    p.setBrush(QColor(80, 80, 80));
    p.drawRect(QRectF(13, 23, 6, 4));
    p.drawRect(QRectF(8, 27, 16, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 90, 0));
    p.drawEllipse(QRectF(14.5, 7.5, 3, 3));
    p.drawRect(QRectF(14.5, 11.5, 3, 7));
    p.end();
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : programIconSizes) icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

}  // namespace torvix
