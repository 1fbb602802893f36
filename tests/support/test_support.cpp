#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace torvix::test {

FakeRoot::FakeRoot() {
    if (!dir_.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

void FakeRoot::write(const QString& relative, const QByteArray& content) const {
    const QString full = dir_.filePath(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(("cannot write " + full).toStdString());
    f.write(content);
}

void FakeRoot::symlink(const QString& relative, const QString& target) const {
    const QString full = dir_.filePath(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile::link(target, full);
}

void FakeRoot::mkdir(const QString& relative) const {
    QDir().mkpath(dir_.filePath(relative));
}

QString dataPath(const QString& relative) {
    return QStringLiteral(TORVIX_TEST_DATA "/") + relative;
}

}  // namespace torvix::test
