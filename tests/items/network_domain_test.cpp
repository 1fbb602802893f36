#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdio>

#include "items/network/network_items.h"
#include "items/network_harness.h"
#include "platform/directory/directory.h"
#include "platform/text/date_time_text.h"
#include "support/directory_data.h"
#include "support/private_cupsd.h"
#include "support/private_slapd.h"

using namespace torvix;
using namespace torvix::items;
using torvix::test::NetworkHarness;

namespace {

// The members of a computer whose user logs on as `user`, with the given directory member
// (empty: none).
QByteArray computer(const QByteArray& user, const QByteArray& directory = {}) {
    QByteArray extra = R"("system": {"networkUserName": ")" + user + R"("})";
    if (!directory.isEmpty()) extra += R"(, "directory": )" + directory;
    return extra;
}

QByteArray computerSystem(const QByteArray& domain) {
    return R"({"Win32_ComputerSystem": [{"Name": "PC1", "Domain": ")" + domain + R"("}]})";
}

QString generalText(const QDateTime& d) {
    return generalDateTimeText(d, QStringLiteral("ja_JP"));
}

}  // namespace

TEST(Command32, DomainComponentsAndQueryText) {
    struct Case {
        QString domain, user;
        std::array<QString, 5> components;
        QString query;
    };
    const Case cases[] = {
        {"aa.bb.cc",
         "user1",
         {"aa", "bb", "cc", "", ""},
         "SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and "
         "Name='user1'"},
        {"a.b.c.d.e.f",
         "u",
         {"a", "b", "c", "d", "e"},
         "SELECT ADSPath FROM 'LDAP://dc=a,dc=b,dc=c,dc=d,dc=e' WHERE objectCategory='user' and "
         "Name='u'"},
        {"WORKGROUP",
         "u",
         {"WORKGROUP", "", "", "", ""},
         "SELECT ADSPath FROM 'LDAP://dc=WORKGROUP' WHERE objectCategory='user' and Name='u'"},
        {"",
         "u",
         {"", "", "", "", ""},
         "SELECT ADSPath FROM 'LDAP://' WHERE objectCategory='user' and Name='u'"},
        {"aa.bb", "", {"aa", "bb", "", "", ""}, "SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb'"},
        {"", "", {"", "", "", "", ""}, "SELECT ADSPath FROM 'LDAP://'"},
        {"a..b.",
         "u",
         {"a", "", "b", "", ""},
         "SELECT ADSPath FROM 'LDAP://dc=a,dc=b' WHERE objectCategory='user' and Name='u'"},
        {".x",
         "u",
         {"", "x", "", "", ""},
         "SELECT ADSPath FROM 'LDAP://,dc=x' WHERE objectCategory='user' and Name='u'"},
        {"aa.bb.cc",
         "a*)(b",
         {"aa", "bb", "cc", "", ""},
         "SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and "
         "Name='a*)(b'"},
        // A quote in a name is doubled: it cannot end the literal.
        {"aa",
         "x' or Name='admin",
         {"aa", "", "", "", ""},
         "SELECT ADSPath FROM 'LDAP://dc=aa' WHERE objectCategory='user' and Name='x'' or "
         "Name=''admin'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.domain.toStdString() + " / " + c.user.toStdString());
        std::array<QString, 5> components{"old", "old", "old", "old", "old"};
        domain_c(c.domain, components);
        EXPECT_EQ(components, c.components);
        EXPECT_EQ(domainUserQueryText(components, c.user), c.query);
    }
}

TEST(Command32, DomainAndUserNameSkipFailures) {
    struct Case {
        QByteArray wmi, system;
        QString domain, user;
    };
    const Case cases[] = {
        {computerSystem("aa.bb.cc"), R"({"networkUserName": "User1"})", "aa.bb.cc", "user1"},
        // The last instance stands; a null Domain leaves the one before.
        {R"({"Win32_ComputerSystem": [{"Domain": "first.example"}, {"Domain": "last.example"},)"
         R"( {"Domain": null}, {"Name": "no domain"}]})",
         R"({"networkUserName": "ÄDMIN"})", "last.example", "ädmin"},
        {R"({"Win32_ComputerSystem": {"error": "access denied"}})", R"({"networkUserName": ""})",
         "", ""},
        {R"({})", R"({})", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wmi.toStdString());
        NetworkHarness h(c.wmi, R"("system": )" + c.system);
        EXPECT_EQ(GetJoinDomainName(h.ctx), c.domain);
        EXPECT_EQ(GetUserName(h.ctx), c.user);
    }
    NetworkHarness broken("{}", R"("wmiError": "the service is stopped")");
    EXPECT_EQ(GetJoinDomainName(broken.ctx), "");
}

TEST(Command32, MachineFileDirectory) {
    const QByteArray user1 =
        R"({"adsPath": "LDAP://CN=user1,OU=Tokyo,DC=aa,DC=bb,DC=cc", "objectCategory": "user",)"
        R"( "name": "user1", "pwdLastSet": "2024-03-01T10:00:00"})";
    const QByteArray user1Osaka =
        R"({"adsPath": "LDAP://CN=user1,OU=Osaka,DC=aa,DC=bb,DC=cc", "objectCategory": "user",)"
        R"( "name": "user1", "pwdLastSet": "2023-12-24T18:30:15"})";
    const QByteArray user1Null =
        R"({"adsPath": "LDAP://CN=user1,OU=Nagoya,DC=aa,DC=bb,DC=cc", "objectCategory": "user",)"
        R"( "name": "user1", "pwdLastSet": null})";
    struct Case {
        const char* what;
        QByteArray domain, user, directory;
        QString text;
    };
    const Case cases[] = {
        {"one object, mixed-case logon name", "aa.bb.cc", "User1",
         R"({"objects": [)" + user1 + "]}", "2024/03/01 10:00:00"},
        {"two objects: the second's date", "aa.bb.cc", "user1",
         R"({"objects": [)" + user1 + "," + user1Osaka + "]}", "2023/12/24 18:30:15"},
        {"no object", "aa.bb.cc", "user1", R"({"objects": []})", "初回設定のみ"},
        {"another user only", "aa.bb.cc", "user2", R"({"objects": [)" + user1 + "]}",
         "初回設定のみ"},
        {"null pwdLastSet", "aa.bb.cc", "user1", R"({"objects": [)" + user1Null + "]}",
         "初回設定のみ"},
        {"a dated row, then one without a date", "aa.bb.cc", "user1",
         R"({"objects": [)" + user1 + "," + user1Null + "]}", "2024/03/01 10:00:00"},
        {"directory fails", "aa.bb.cc", "user1", R"({"error": "no domain controller"})",
         "サーバ未接続"},
        {"no directory member", "aa.bb.cc", "user1", "", "サーバ未接続"},
        {"work group", "WORKGROUP", "user1", R"({"error": "no such domain"})", "サーバ未接続"},
        {"a name that is not a literal", "aa.bb.cc", "it's", R"({"objects": [)" + user1 + "]}",
         "初回設定のみ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetworkHarness h(computerSystem(c.domain), computer(c.user, c.directory));
        h.form.setText("Text32", "before");
        ASSERT_TRUE(h.click("Command32"));
        EXPECT_EQ(h.text("Text32"), c.text);
        EXPECT_TRUE(h.filled("Text32"));
    }
}

TEST(Command32, PrivateDirectoryServer) {
    test::PrivateSlapd slapd;
    if (!slapd.start(test::directoryLdif())) GTEST_SKIP() << slapd.why().toStdString();
    directory::LdapDirectoryOptions options;
    options.uri = slapd.uri();
    const auto ldap = directory::makeLdapDirectory(options);

    // The date of the second row of "dup", in the order the server returns them.
    auto probe = ldap->open("ADsDSOObject", "Active Directory Provider");
    const auto dups = probe->execute(
        "SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and Name='dup'",
        {10000, 2});
    ASSERT_EQ(dups.size(), 2u);
    const QDateTime secondDup = *probe->passwordLastChanged(dups[1].adsPath);
    EXPECT_TRUE(secondDup == test::utc(2024, 5, 6, 7, 8, 9) ||
                secondDup == test::utc(2023, 1, 2, 3, 4, 5));

    struct Case {
        QByteArray domain, user;
        QString text;
    };
    const Case cases[] = {
        {"aa.bb.cc", "User1", generalText(test::utc(2024, 4, 1, 1, 2, 3).toLocalTime())},
        {"aa.bb.cc", "fresh", "初回設定のみ"},
        {"aa.bb.cc", "never", "初回設定のみ"},
        {"aa.bb.cc", "nobody", "初回設定のみ"},
        {"aa.bb.cc", "dup", generalText(secondDup)},
        // Escaped, the name finds only itself (unescaped it would find alice).
        {"aa.bb.cc", "a*)(b", generalText(test::utc(2022, 2, 2, 2, 2, 2).toLocalTime())},
        {"aa.bb.cc", "a*", "初回設定のみ"},
        {"aa.bb.cc", "back\\\\slash", generalText(test::utc(2020, 6, 15, 8, 30, 0).toLocalTime())},
        // The server holds no such base: a work group, another domain.
        {"WORKGROUP", "user1", "サーバ未接続"},
        {"other.example", "user1", "サーバ未接続"},
        // An empty path names no object this server holds.
        {"", "user1", "サーバ未接続"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.domain.toStdString() + " / " + c.user.toStdString());
        NetworkHarness h(computerSystem(c.domain), computer(c.user));
        h.machine.directory = ldap;
        ASSERT_TRUE(h.click("Command32"));
        EXPECT_EQ(h.text("Text32"), c.text);
        EXPECT_TRUE(h.filled("Text32"));
    }
}

TEST(Command32, UnreachableDirectoryShowsServerNotConnected) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.listening());
    const std::pair<const char*, QString> servers[] = {
        {"closed port", QStringLiteral("ldap://127.0.0.1:%1").arg(test::freeLoopbackPort())},
        {"silent listener", QStringLiteral("ldap://127.0.0.1:%1").arg(silent.port())},
    };
    for (const auto& [what, uri] : servers) {
        SCOPED_TRACE(what);
        directory::LdapDirectoryOptions options;
        options.uri = uri;
        NetworkHarness h(computerSystem("aa.bb.cc"), computer("user1"));
        h.machine.directory = directory::makeLdapDirectory(options);
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(h.click("Command32"));
        const qint64 ms = t.elapsed();
        std::printf("[ measured ] Command32, %s: %lld ms\n", what, static_cast<long long>(ms));
        EXPECT_EQ(h.text("Text32"), "サーバ未接続");
        EXPECT_LT(ms, 5000);
    }
    // A provider that cannot be opened is out of reach as well.
    NetworkHarness none(computerSystem("aa.bb.cc"), computer("user1"));
    none.machine.directory = nullptr;
    ASSERT_TRUE(none.click("Command32"));
    EXPECT_EQ(none.text("Text32"), "サーバ未接続");
}
