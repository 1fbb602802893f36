#pragma once

#include <QString>
#include <optional>

namespace torvix::live {

// The domain this computer is joined to (realmd/sssd or winbind), or its work group.
struct DomainMembership {
    QString dnsDomain;      // lower case; empty when not joined
    QString netbiosDomain;  // upper case; empty when not joined
    QString workgroup;      // when not joined; "WORKGROUP" unless smb.conf names one
};
DomainMembership readDomainMembership(const QString& root);

// The user at the console (seat0's active session, else a local login in utmp), as the system
// names them ("user", "user@realm"); nullopt when nobody is logged on there.
std::optional<QString> consoleUser(const QString& root);
std::optional<QString> consoleUserFromUtmp(const QString& root);

// "HOST\user" for local accounts, "NETBIOSDOMAIN\user" for domain accounts.
QString windowsUserName(const QString& root, const QString& user, const DomainMembership& domain);

}  // namespace torvix::live
