#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <vector>

namespace torvix::test {

// An OpenLDAP server of the test's own: configuration, schema and database in a temporary
// folder, listening on 127.0.0.1 at a free port only. Its schema adds the directory attributes
// the domain items read (objectCategory, pwdLastSet in the AUXILIARY class torvixAccount);
// `name` is the standard one, so (name=x) also matches cn=x.
class PrivateSlapd {
  public:
    explicit PrivateSlapd(QString suffix = QStringLiteral("dc=aa,dc=bb,dc=cc"));
    ~PrivateSlapd();
    PrivateSlapd(const PrivateSlapd&) = delete;
    PrivateSlapd& operator=(const PrivateSlapd&) = delete;

    // Loads the suffix entry plus `ldif` (further entries), starts the server and waits (≤ 10 s)
    // until it answers. False, with why(), when it cannot.
    bool start(const QByteArray& ldif);
    void stop();
    const QString& why() const { return why_; }
    QString uri() const { return QStringLiteral("ldap://127.0.0.1:%1").arg(port_); }

  private:
    QString run(const QString& program, const QStringList& arguments, int* exitCode) const;

    QTemporaryDir dir_;
    QString suffix_;
    int port_ = 0;
    qint64 pid_ = 0;
    QString why_;
};

// A TCP socket on 127.0.0.1 that listens and never answers: the kernel completes every
// connection, nobody reads or writes. The honest test of a client's timeouts.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    bool listening() const { return port_ != 0; }
    int port() const { return port_; }
    int descriptor() const { return fd_; }
    // How many connections came since the last call; each is taken and kept open, silent (a
    // client that saw it close might connect again).
    int takePending();

  private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> taken_;
};

}  // namespace torvix::test
