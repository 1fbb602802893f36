#pragma once

#include <QByteArray>
#include <QDateTime>

namespace torvix::test {

// Users of the private directory (suffix dc=aa,dc=bb,dc=cc) in two OUs.
//   user1      Tokyo  2024-04-01T01:02:03Z
//   fresh      Tokyo  pwdLastSet 0 (must change at next logon)
//   never      Tokyo  no pwdLastSet
//   dup        Tokyo  2023-01-02T03:04:05Z, and in Osaka 2024-05-06T07:08:09Z
//   a*)(b      Osaka  2022-02-02T02:02:02Z  (a name that would widen an unescaped filter)
//   alice      Osaka  2021-01-01T12:00:00Z
//   back\slash Osaka  2020-06-15T08:30:00Z
//   printer1   Tokyo  objectCategory computer, 2019-01-01T00:00:01Z
inline QByteArray directoryLdif() {
    auto user = [](const char* rdn, const char* ou, const char* cn, const char* category,
                   const char* pwdLastSet) {
        QByteArray e = QByteArray("dn: cn=") + rdn + ",ou=" + ou +
                       ",dc=aa,dc=bb,dc=cc\nobjectClass: inetOrgPerson\nobjectClass: "
                       "torvixAccount\ncn: " +
                       cn + "\nsn: " + cn + "\nobjectCategory: " + category + "\n";
        if (pwdLastSet) e += QByteArray("pwdLastSet: ") + pwdLastSet + "\n";
        return e + "\n";
    };
    QByteArray ldif;
    for (const char* ou : {"Tokyo", "Osaka"})
        ldif += QByteArray("dn: ou=") + ou +
                ",dc=aa,dc=bb,dc=cc\nobjectClass: "
                "organizationalUnit\nou: " +
                ou + "\n\n";
    ldif += user("user1", "Tokyo", "user1", "user", "133564069230000000");
    ldif += user("fresh", "Tokyo", "fresh", "user", "0");
    ldif += user("never", "Tokyo", "never", "user", nullptr);
    ldif += user("dup", "Tokyo", "dup", "user", "133171022450000000");
    ldif += user("dup", "Osaka", "dup", "user", "133594528890000000");
    ldif += user("a*)(b", "Osaka", "a*)(b", "user", "132882409220000000");
    ldif += user("alice", "Osaka", "alice", "user", "132539760000000000");
    ldif += user("back\\5cslash", "Osaka", "back\\slash", "user", "132366834000000000");
    ldif += user("printer1", "Tokyo", "printer1", "computer", "131907744010000000");
    return ldif;
}

inline QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

}  // namespace torvix::test
