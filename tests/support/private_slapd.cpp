#include "support/private_slapd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "support/private_cupsd.h"

namespace torvix::test {

namespace {

bool writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// Under OpenLDAP's experimental arc, far from the numbers its own overlays use.
const char schema[] =
    "attributetype ( 1.3.6.1.4.1.4203.666.4242.1.1 NAME 'objectCategory'\n"
    "  EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch\n"
    "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )\n"
    "attributetype ( 1.3.6.1.4.1.4203.666.4242.1.2 NAME 'pwdLastSet'\n"
    "  EQUALITY integerMatch ORDERING integerOrderingMatch\n"
    "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )\n"
    "objectclass ( 1.3.6.1.4.1.4203.666.4242.2.1 NAME 'torvixAccount' AUXILIARY\n"
    "  MAY ( objectCategory $ pwdLastSet ) )\n";

}  // namespace

PrivateSlapd::PrivateSlapd(QString suffix) : suffix_(std::move(suffix)) {}

PrivateSlapd::~PrivateSlapd() {
    stop();
}

QString PrivateSlapd::run(const QString& program, const QStringList& arguments,
                          int* exitCode) const {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // ldapsearch must not read anyone's ldap.conf or ~/.ldaprc.
    env.insert(QStringLiteral("LDAPNOINIT"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    const bool done = p.waitForStarted(5000) && p.waitForFinished(15000);
    if (!done) p.kill();
    *exitCode = done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAll());
}

bool PrivateSlapd::start(const QByteArray& ldif) {
    const QStringList bins = {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
    const QString slapd = QStandardPaths::findExecutable(QStringLiteral("slapd"), bins);
    const QString slapadd = QStandardPaths::findExecutable(QStringLiteral("slapadd"), bins);
    if (slapd.isEmpty() || slapadd.isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("ldapsearch")).isEmpty()) {
        why_ = QStringLiteral("slapd, slapadd or ldapsearch is missing (slapd, ldap-utils)");
        return false;
    }
    if (!dir_.isValid()) {
        why_ = QStringLiteral("no temporary folder");
        return false;
    }
    const QString d = dir_.path();
    QDir(d).mkpath(QStringLiteral("db"));
    port_ = freeLoopbackPort();
    if (port_ == 0) {
        why_ = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    const QString firstLabel = suffix_.section(u',', 0, 0).section(u'=', 1);
    const QByteArray conf = QStringLiteral(
                                "include /etc/ldap/schema/core.schema\n"
                                "include /etc/ldap/schema/cosine.schema\n"
                                "include /etc/ldap/schema/inetorgperson.schema\n"
                                "include %1/torvix.schema\n"
                                "pidfile %1/slapd.pid\n"
                                "argsfile %1/slapd.args\n"
                                "modulepath /usr/lib/ldap\n"
                                "moduleload back_mdb\n"
                                "database mdb\n"
                                "maxsize 10485760\n"
                                "suffix \"%2\"\n"
                                "directory %1/db\n"
                                "access to * by * read\n")
                                .arg(d, suffix_)
                                .toUtf8();
    const QByteArray data = QStringLiteral(
                                "dn: %1\nobjectClass: dcObject\nobjectClass: organization\n"
                                "dc: %2\no: %2\n\n")
                                .arg(suffix_, firstLabel)
                                .toUtf8() +
                            ldif;
    if (!writeFile(d + QStringLiteral("/torvix.schema"), schema) ||
        !writeFile(d + QStringLiteral("/slapd.conf"), conf) ||
        !writeFile(d + QStringLiteral("/data.ldif"), data)) {
        why_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    const QString confPath = d + QStringLiteral("/slapd.conf");
    int rc = 0;
    QString out = run(slapadd,
                      {QStringLiteral("-f"), confPath, QStringLiteral("-l"),
                       d + QStringLiteral("/data.ldif"), QStringLiteral("-q")},
                      &rc);
    if (rc != 0) {
        why_ = QStringLiteral("slapadd failed: ") + out.trimmed();
        return false;
    }
    // slapd goes to the background once it listens; its pid is in the pid file.
    out = run(slapd, {QStringLiteral("-f"), confPath, QStringLiteral("-h"), uri() + u'/'}, &rc);
    if (rc != 0) {
        why_ = QStringLiteral("slapd failed: ") + out.trimmed();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QFile pidFile(d + QStringLiteral("/slapd.pid"));
        if (pid_ == 0 && pidFile.open(QIODevice::ReadOnly))
            pid_ = pidFile.readAll().trimmed().toLongLong();
        run(QStringLiteral("ldapsearch"),
            {QStringLiteral("-x"), QStringLiteral("-H"), uri(), QStringLiteral("-s"),
             QStringLiteral("base"), QStringLiteral("-b"), suffix_, QStringLiteral("dn")},
            &rc);
        if (rc == 0 && pid_ > 0) return true;
        QThread::msleep(100);
    }
    why_ = QStringLiteral("slapd did not answer within 10 s");
    stop();
    return false;
}

void PrivateSlapd::stop() {
    if (pid_ <= 0) return;
    const pid_t pid = static_cast<pid_t>(pid_);
    pid_ = 0;
    if (::kill(pid, SIGTERM) != 0) return;
    QElapsedTimer waited;
    waited.start();
    // Not our child (it daemonized): wait until it is gone.
    while (::kill(pid, 0) == 0) {
        if (waited.elapsed() > 5000) {
            ::kill(pid, SIGKILL);
            break;
        }
        QThread::msleep(20);
    }
}

SilentListener::SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(fd_, 16) == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port_ = ntohs(addr.sin_port);
}

int SilentListener::takePending() {
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    int count = 0;
    for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ++count) taken_.push_back(c);
    return count;
}

SilentListener::~SilentListener() {
    for (const int c : taken_) ::close(c);
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace torvix::test
