#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace torvix::test {

// A synthetic root folder for the live providers: files are written relative to it.
class FakeRoot {
  public:
    FakeRoot();
    QString path() const { return dir_.path(); }
    // Writes `content` to root/relative, creating folders.
    void write(const QString& relative, const QByteArray& content) const;
    void symlink(const QString& relative, const QString& target) const;
    void mkdir(const QString& relative) const;

  private:
    QTemporaryDir dir_;
};

// Path of a file under tests/data.
QString dataPath(const QString& relative);

}  // namespace torvix::test
