#include "support/private_cupsd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace torvix::test {

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

namespace {

bool writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

}  // namespace

PrivateCupsd::PrivateCupsd() = default;

PrivateCupsd::~PrivateCupsd() {
    stop();
}

bool PrivateCupsd::start() {
    const QString cupsd = QStandardPaths::findExecutable(
        QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (cupsd.isEmpty()) {
        why_ = QStringLiteral("cupsd is not installed (package cups)");
        return false;
    }
    if (::geteuid() != 0) {
        why_ = QStringLiteral("a private cupsd needs root here");
        return false;
    }
    if (!dir_.isValid()) {
        why_ = QStringLiteral("no temporary folder");
        return false;
    }
    // The filters run as the lp user and must reach the spool.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    const QString d = dir_.path();
    for (const char* sub : {"spool", "spool/tmp", "cache", "state", "ppd", "log", "ssl"})
        QDir(d).mkpath(QString::fromLatin1(sub));
    ::chmod(QFile::encodeName(d + QStringLiteral("/spool")).constData(), 0755);
    ::chmod(QFile::encodeName(d + QStringLiteral("/spool/tmp")).constData(), 01777);

    port_ = freeLoopbackPort();
    if (port_ == 0) {
        why_ = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    const QByteArray conf = QStringLiteral(
                                "Listen 127.0.0.1:%1\n"
                                "Browsing No\n"
                                "BrowseLocalProtocols none\n"
                                "DefaultAuthType Basic\n"
                                "IdleExitTimeout 0\n"
                                "LogLevel warn\n"
                                "WebInterface No\n"
                                "<Location />\n  Order allow,deny\n  Allow localhost\n"
                                "  Allow 127.0.0.1\n</Location>\n"
                                "<Location /admin>\n  Order allow,deny\n  Allow localhost\n"
                                "  Allow 127.0.0.1\n</Location>\n"
                                "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                "  </Limit>\n</Policy>\n")
                                .arg(port_)
                                .toUtf8();
    const QByteArray files = QStringLiteral(
                                 "ServerRoot %1\n"
                                 "RequestRoot %1/spool\n"
                                 "TempDir %1/spool/tmp\n"
                                 "CacheDir %1/cache\n"
                                 "StateDir %1/state\n"
                                 "AccessLog %1/log/access_log\n"
                                 "ErrorLog %1/log/error_log\n"
                                 "PageLog %1/log/page_log\n"
                                 "FileDevice Yes\n"
                                 "Sandboxing Relaxed\n")
                                 .arg(d)
                                 .toUtf8();
    if (!writeFile(d + QStringLiteral("/cupsd.conf"), conf) ||
        !writeFile(d + QStringLiteral("/cups-files.conf"), files)) {
        why_ = QStringLiteral("cannot write the configuration");
        return false;
    }

    hadServer_ = qEnvironmentVariableIsSet("CUPS_SERVER");
    savedServer_ = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", server().toLatin1());

    const pid_t child = ::fork();
    if (child < 0) {
        why_ = QStringLiteral("fork failed");
        return false;
    }
    if (child == 0) {
        const QByteArray exe = QFile::encodeName(cupsd);
        const QByteArray c = QFile::encodeName(d + QStringLiteral("/cupsd.conf"));
        const QByteArray s = QFile::encodeName(d + QStringLiteral("/cups-files.conf"));
        ::execl(exe.constData(), exe.constData(), "-f", "-c", c.constData(), "-s", s.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = child;

    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            pid_ = 0;
            QFile log(d + QStringLiteral("/log/error_log"));
            why_ = QStringLiteral("cupsd ended at once");
            if (log.open(QIODevice::ReadOnly))
                why_ += QStringLiteral(": ") + QString::fromUtf8(log.readAll()).trimmed();
            return false;
        }
        int rc = 0;
        const QString out = client(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &rc);
        if (out.contains(QLatin1String("scheduler is running"))) return true;
        QThread::msleep(100);
    }
    why_ = QStringLiteral("cupsd did not answer within 10 s");
    stop();
    return false;
}

void PrivateCupsd::stop() {
    if (pid_ > 0) {
        ::kill(static_cast<pid_t>(pid_), SIGTERM);
        int status = 0;
        QElapsedTimer waited;
        waited.start();
        while (::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) == 0) {
            if (waited.elapsed() > 5000) {
                ::kill(static_cast<pid_t>(pid_), SIGKILL);
                ::waitpid(static_cast<pid_t>(pid_), &status, 0);
                break;
            }
            QThread::msleep(20);
        }
        pid_ = 0;
    }
    if (port_ != 0) {
        if (hadServer_)
            qputenv("CUPS_SERVER", savedServer_);
        else
            qunsetenv("CUPS_SERVER");
    }
}

bool PrivateCupsd::addQueue(const QString& name, const QString& uri, const QStringList& model) {
    int rc = 0;
    client(
        QStringLiteral("lpadmin"),
        QStringList{QStringLiteral("-p"), name, QStringLiteral("-v"), uri, QStringLiteral("-E")} +
            model,
        &rc);
    return rc == 0;
}

bool PrivateCupsd::setDefault(const QString& name) {
    int rc = 0;
    client(QStringLiteral("lpadmin"), {QStringLiteral("-d"), name}, &rc);
    return rc == 0;
}

QString PrivateCupsd::client(const QString& program, const QStringList& arguments,
                             int* exitCode) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), server());
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    const bool done = p.waitForStarted(5000) && p.waitForFinished(15000);
    if (exitCode) *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (!done) p.kill();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

}  // namespace torvix::test
