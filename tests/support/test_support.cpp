#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

TemporaryCurrentDirectory::TemporaryCurrentDirectory() : previous_(QDir::currentPath()) {
    if (dir_.isValid()) QDir::setCurrent(dir_.path());
}

TemporaryCurrentDirectory::~TemporaryCurrentDirectory() {
    QDir::setCurrent(previous_);
}

ProgramRun runProgram(const QString& program, const QStringList& args,
                      const QProcessEnvironment& env, const QString& workDir) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "<timed out>";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

}  // namespace torvix::test
