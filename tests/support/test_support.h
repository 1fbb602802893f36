#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
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

// A temporary folder that is the current directory for the object's life (windows write their
// lists to the current directory); the previous one comes back afterwards.
class TemporaryCurrentDirectory {
  public:
    TemporaryCurrentDirectory();
    ~TemporaryCurrentDirectory();
    TemporaryCurrentDirectory(const TemporaryCurrentDirectory&) = delete;
    TemporaryCurrentDirectory& operator=(const TemporaryCurrentDirectory&) = delete;
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

struct ProgramRun {
    int exitCode = -1;  // -1: crashed or still running after the timeout
    QByteArray out, err;
};

// A program run to its end with a generous timeout, so that a hang or an abort fails the test
// instead of holding it.
ProgramRun runProgram(const QString& program, const QStringList& args,
                      const QProcessEnvironment& env, const QString& workDir = {});

}  // namespace torvix::test
