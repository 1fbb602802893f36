#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace torvix::directory {

// The settings of a directory command ("Page Size", "Searchscope").
struct CommandProperties {
    int pageSize = 0;     // rows per page; 0 fetches all at once
    int searchScope = 2;  // 0 the base object, 1 one level below it, 2 the whole subtree
};

// One row of a query's result.
struct Row {
    QString adsPath;  // "LDAP://" + the object's distinguished name
};

// An open connection to the directory: runs queries in the provider's SQL dialect
// ("SELECT ADsPath FROM 'LDAP://dc=aa,dc=bb' WHERE objectCategory='user' and Name='x'") and binds
// objects by path. Every failure (malformed query, no server, refused, silent) throws Failure.
class Connection {
  public:
    virtual ~Connection() = default;
    // All rows, in the order the directory returns them.
    virtual std::vector<Row> execute(const QString& queryText, const CommandProperties& props) = 0;
    // Binds the object named by `adsPath` and reads when its password was last changed (local
    // time); nullopt when it never was (pwdLastSet 0 or absent).
    virtual std::optional<QDateTime> passwordLastChanged(const QString& adsPath) = 0;
};

// The directory provider: opens connections. `provider` must be "ADsDSOObject".
class Directory {
  public:
    virtual ~Directory() = default;
    virtual std::unique_ptr<Connection> open(const QString& provider,
                                             const QString& connectionString) = 0;
};

// The one provider name the directory answers to.
inline QString providerName() {
    return QStringLiteral("ADsDSOObject");
}

// Options of the directory on libldap.
struct LdapDirectoryOptions {
    // Server URI ("ldap://host:port"); empty: libldap's own configuration (ldap.conf, LDAPURI,
    // LDAPRC, ~/.ldaprc), else the DNS SRV record of the query's domain, else the domain itself.
    QString uri;
    // Bound of the whole way to a bound connection (locating, connecting, binding), of its DNS
    // SRV lookup, and of each later operation. An open WaitBudget cuts them shorter: with the
    // print server's, they keep one activation of the window under 2 s.
    int connectBudgetMs = 1200;
    int srvTimeoutMs = 500;
    int operationTimeoutMs = 2000;
};

std::shared_ptr<Directory> makeLdapDirectory(const LdapDirectoryOptions& options = {});

// The server a DNS answer to an SRV question names first, as "ldap://host:port": lowest
// priority, then highest weight; empty when it names none (or the target ".").
QString bestSrvServer(const unsigned char* answer, int length);

// Whether libldap's configuration may name a default server (URI, HOST or PORT in one of
// `files`, or any LDAP* variable), told without loading libldap. A wrong "may" only costs
// loading it; a file that exists but cannot be read counts as "may".
bool ldapConfigurationMayNameServer(const QStringList& environmentNames, const QStringList& files);
// The files libldap reads its configuration from: /etc/ldap/ldap.conf, ~/ldaprc, ~/.ldaprc and
// ldaprc in the current folder. (LDAPCONF and LDAPRC name more, but they are LDAP* variables.)
QStringList ldapConfigurationFiles();

// A directory that cannot be reached: every query fails with `why`.
std::shared_ptr<Directory> makeUnreachableDirectory(const QString& why);

}  // namespace torvix::directory
