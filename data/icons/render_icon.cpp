// Writes the program's icon as DIR/SIZExSIZE/torvix.png for each SIZE given, for the hicolor
// theme: the installed pictures are the ones the window draws.
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/app_look.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "%s: no icon size: %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString sub = QStringLiteral("%1/%2x%2").arg(dir).arg(size);
        const QString path = sub + QStringLiteral("/torvix.png");
        if (!QDir().mkpath(sub) || !torvix::programIconImage(size).save(path, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
            return 1;
        }
    }
    return 0;
}
