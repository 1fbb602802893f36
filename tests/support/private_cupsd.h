#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace torvix::test {

// A CUPS scheduler of the test's own: its configuration, spool and logs in a temporary folder,
// listening on 127.0.0.1 at a free port only. Every CUPS client (libcups, Qt's printing, lp,
// lpadmin, lpstat) is pointed at it through CUPS_SERVER in this process's environment while it
// runs; the previous value comes back when it stops.
class PrivateCupsd {
  public:
    PrivateCupsd();
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Starts the scheduler and waits (≤ 10 s) until it answers. False, with why(), when it cannot
    // (cupsd missing, not root, no answer).
    bool start();
    void stop();
    bool running() const { return pid_ > 0; }
    const QString& why() const { return why_; }

    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    int port() const { return port_; }
    QString folder() const { return dir_.path(); }

    // lpadmin -p NAME -v URI -E plus `model` (a raw queue unless told otherwise).
    bool addQueue(const QString& name, const QString& uri,
                  const QStringList& model = {QStringLiteral("-m"), QStringLiteral("raw")});
    // The server-wide default (lpadmin -d).
    bool setDefault(const QString& name);
    // Runs a CUPS client against this server; its standard output, or empty with exitCode set.
    QString client(const QString& program, const QStringList& arguments,
                   int* exitCode = nullptr) const;

  private:
    QTemporaryDir dir_;
    int port_ = 0;
    qint64 pid_ = 0;
    QString why_;
    QByteArray savedServer_;
    bool hadServer_ = false;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
int freeLoopbackPort();

}  // namespace torvix::test
