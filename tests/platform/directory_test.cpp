#include "platform/directory/directory.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/directory/query.h"
#include "platform/failure.h"
#include "platform/machine.h"
#include "support/directory_data.h"
#include "support/private_cupsd.h"
#include "support/private_slapd.h"

using namespace torvix;
using namespace torvix::directory;
using torvix::test::utc;

namespace {

const CommandProperties paged{10000, 2};

QString filterOf(const QString& query) {
    try {
        return ldapFilter(parseQuery(query));
    } catch (const Failure& f) {
        return QStringLiteral("error: ") + f.message();
    }
}

std::unique_ptr<Connection> openLdap(const QString& uri) {
    LdapDirectoryOptions options;
    options.uri = uri;
    return makeLdapDirectory(options)->open("ADsDSOObject", "Active Directory Provider");
}

QStringList pathsOf(const std::vector<Row>& rows) {
    QStringList paths;
    for (const Row& r : rows) paths << r.adsPath;
    return paths;
}

QString userQuery(const QString& name) {
    return QStringLiteral(
               "SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and "
               "Name=") +
           quoteLiteral(name);
}

}  // namespace

TEST(DirectoryQuery, FilterAndBase) {
    struct Case {
        const char* query;
        const char* base;
        const char* filter;
    };
    const Case cases[] = {
        {"SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and "
         "Name='user1'",
         "dc=aa,dc=bb,dc=cc", "(&(objectCategory=user)(name=user1))"},
        {"SELECT ADSPath FROM 'LDAP://'", "", "(objectClass=*)"},
        {"select adspath from 'LDAP://dc=x' where NOT Name='a' OR (cn='b' AND sn<>'c')", "dc=x",
         "(|(!(name=a))(&(cn=b)(!(sn=c))))"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE a='1' and b='2' and c='3' or d>=5", "dc=x",
         "(|(&(a=1)(b=2)(c=3))(d>=5))"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE pwdLastSet<='0'", "dc=x", "(pwdLastSet<=0)"},
        // Values are escaped, so no value can change the filter.
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='a*)(b'", "dc=x", "(name=a\\2a\\29\\28b)"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='*'", "dc=x", "(name=\\2a)"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='back\\slash'", "dc=x",
         "(name=back\\5cslash)"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='it''s'", "dc=x", "(name=it's)"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='x'' or Name=''y'", "dc=x",
         "(name=x' or Name='y)"},
        {"SELECT ADsPath FROM 'LDAP://cn=a/b,dc=x'", "cn=a/b,dc=x", "(objectClass=*)"},
        {"SELECT ADsPath FROM 'LDAP://dc=日本'", "dc=日本", "(objectClass=*)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const Query q = parseQuery(QString::fromUtf8(c.query));
        EXPECT_EQ(q.baseDn, QString::fromUtf8(c.base));
        EXPECT_EQ(ldapFilter(q), QString::fromUtf8(c.filter));
    }
    // NUL too.
    EXPECT_EQ(escapeFilterValue(QString(QChar(0)) + "a"), "\\00a");
    EXPECT_EQ(escapeFilterValue("名前(1)"), "名前\\281\\29");
}

TEST(DirectoryQuery, MalformedQueriesFailCleanly) {
    struct Case {
        const char* query;
        const char* problem;
    };
    const Case cases[] = {
        {"", "expected SELECT"},
        {"SELECT", "a column name"},
        {"SELECT cn FROM 'LDAP://dc=x'", "only ADsPath"},
        {"SELECT ADsPath FROM dc=x", "quoted 'LDAP://...' path"},
        {"SELECT ADsPath FROM 'GC://dc=x'", "does not start with LDAP://"},
        {"SELECT ADsPath FROM 'LDAP://server/dc=x'", "server in the path"},
        {"SELECT ADsPath FROM 'LDAP://dc=x", "not closed"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE", "an attribute name"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name", "=, <>, <= or >="},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name=user", "a quoted value"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='a' and", "an attribute name"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE (Name='a'", "\")\""},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='a' x", "the end of the query"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Na*me='a'", "one of ( ) ,"},
        {"SELECT ADsPath FROM 'LDAP://dc=x' WHERE Name='a'; DROP", "one of ( ) ,"},
    };
    for (const Case& c : cases) {
        const QString got = filterOf(QString::fromUtf8(c.query));
        EXPECT_TRUE(got.startsWith("error: ") && got.contains(QString::fromUtf8(c.problem)))
            << c.query << " -> " << got.toStdString();
    }
    const QString deep = "SELECT ADsPath FROM 'LDAP://dc=x' WHERE " + QString(100000, '(');
    EXPECT_TRUE(filterOf(deep).contains("nested too deeply"));
    EXPECT_EQ(domainOfDn("cn=u,ou=x,DC=aa, dc=bb,dc=cc"), "aa.bb.cc");
    EXPECT_EQ(domainOfDn("cn=u"), "");
}

TEST(MachineFileDirectory, QueriesAndShape) {
    const QByteArray two =
        R"({"objects": [)"
        R"({"adsPath": "LDAP://CN=user1,OU=Tokyo,DC=aa,DC=bb,DC=cc", "objectCategory": "user",)"
        R"( "name": "user1", "pwdLastSet": "2024-03-01T10:00:00"},)"
        R"({"adsPath": "LDAP://CN=User1,OU=Osaka,DC=aa,DC=bb,DC=cc", "objectCategory": "User",)"
        R"( "name": "USER1", "pwdLastSet": null},)"
        R"({"adsPath": "LDAP://CN=pc1,DC=aa,DC=bb,DC=cc", "objectCategory": "computer",)"
        R"( "name": "user1"},)"
        R"({"adsPath": "LDAP://CN=user1,DC=other,DC=cc", "objectCategory": "user",)"
        R"( "name": "user1", "pwdLastSet": "2020-01-01T00:00:00"}]})";
    struct Case {
        QByteArray directory;
        QString query;
        QString rows;  // the rows' paths, "|" separated; "error" when the query fails
        CommandProperties props = paged;
    };
    const Case cases[] = {
        {R"({"error": "the domain controller is down"})", userQuery("user1"), "error"},
        {R"({})", userQuery("user1"), ""},
        {R"({"objects": []})", userQuery("user1"), ""},
        {two, userQuery("user1"),
         "LDAP://CN=user1,OU=Tokyo,DC=aa,DC=bb,DC=cc|LDAP://CN=User1,OU=Osaka,DC=aa,DC=bb,DC=cc"},
        {two, userQuery("nobody"), ""},
        // The base must end the object's name: dc=bb,dc=cc covers dc=aa,dc=bb,dc=cc, not
        // dc=other,dc=cc; "LDAP://" covers everything.
        {two, "SELECT ADsPath FROM 'LDAP://DC=other,DC=cc'", "LDAP://CN=user1,DC=other,DC=cc"},
        {two, "SELECT ADsPath FROM 'LDAP://' WHERE Name='user1' and not objectCategory='user'",
         "LDAP://CN=pc1,DC=aa,DC=bb,DC=cc"},
        {two, "SELECT ADsPath FROM 'LDAP://dc=cc' WHERE name='*'", ""},
        {two, "SELECT ADsPath FROM 'LDAP://dc=WORKGROUP' WHERE name='user1'", ""},
        {two, "SELECT ADsPath FROM", "error"},
        // Searchscope 1: the level below the base; 0: the base itself.
        {two,
         "SELECT ADsPath FROM 'LDAP://dc=AA,dc=bb,dc=cc'",
         "LDAP://CN=pc1,DC=aa,DC=bb,DC=cc",
         {10000, 1}},
        {two,
         "SELECT ADsPath FROM 'LDAP://CN=pc1,DC=aa,DC=bb,DC=cc'",
         "LDAP://CN=pc1,DC=aa,DC=bb,DC=cc",
         {10000, 0}},
        {two, "SELECT ADsPath FROM 'LDAP://dc=cc'", "error", {10000, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.left(60).toStdString() + " / " + c.query.toStdString());
        const Machine m = parseMachineFile(
            R"({"torvix-machine": 1, "directory": )" + c.directory + "}", "m.json", false);
        QString got;
        try {
            got = pathsOf(m.directory->open("ADsDSOObject", "Active Directory Provider")
                              ->execute(c.query, c.props))
                      .join('|');
        } catch (const Failure&) {
            got = "error";
        }
        EXPECT_EQ(got, c.rows);
    }

    // Dates: local date-times; null or absent supplies none; an unknown path fails.
    const Machine m =
        parseMachineFile(R"({"torvix-machine": 1, "directory": )" + two + "}", "m.json", false);
    auto connection = m.directory->open("ADsDSOObject", "");
    EXPECT_EQ(connection->passwordLastChanged("LDAP://CN=user1,OU=Tokyo,DC=aa,DC=bb,DC=cc"),
              QDateTime(QDate(2024, 3, 1), QTime(10, 0)));
    EXPECT_EQ(connection->passwordLastChanged("LDAP://CN=User1,OU=Osaka,DC=aa,DC=bb,DC=cc"),
              std::nullopt);
    EXPECT_EQ(connection->passwordLastChanged("LDAP://CN=pc1,DC=aa,DC=bb,DC=cc"), std::nullopt);
    EXPECT_THROW(connection->passwordLastChanged("LDAP://CN=ghost,DC=aa"), Failure);
    EXPECT_THROW(m.directory->open("SQLOLEDB", ""), Failure);
    // Without a "directory" member nothing can be asked.
    const Machine none = parseMachineFile(R"({"torvix-machine": 1})", "m.json", false);
    EXPECT_THROW(none.directory->open("ADsDSOObject", "")->execute(userQuery("user1"), paged),
                 Failure);

    // A wrong shape is refused when the file is read, naming the place.
    const std::pair<QByteArray, const char*> bad[] = {
        {R"([])", "directory: expected an object"},
        {R"({"error": 5})", "directory.error: expected a text"},
        {R"({"error": "x", "objects": []})", "holds nothing else"},
        {R"({"object": []})", "directory.object: unknown member"},
        {R"({"objects": {}})", "directory.objects: expected an array"},
        {R"({"objects": [5]})", "directory.objects[0]: expected an object"},
        {R"({"objects": [{"name": "x"}]})", "directory.objects[0].adsPath: missing"},
        {R"({"objects": [{"adsPath": "CN=x"}]})", "is not a path like"},
        {R"({"objects": [{"adsPath": "LDAP://CN=x", "name": 1}]})",
         "directory.objects[0].name: expected a text"},
        {R"({"objects": [{"adsPath": "LDAP://CN=x", "pwdLastSet": "2024-03-01"}]})",
         "directory.objects[0].pwdLastSet: \"2024-03-01\" is not a date"},
        {R"({"objects": [{"adsPath": "LDAP://CN=x", "pwdLastSet": 133564032000000000}]})",
         "pwdLastSet: expected a text"},
        {R"({"objects": [{"adsPath": "LDAP://CN=x", "mail": "x@y"}]})",
         "directory.objects[0].mail: unknown member"},
    };
    for (const auto& [member, problem] : bad) {
        try {
            parseMachineFile(R"({"torvix-machine": 1, "directory": )" + member + "}", "m.json",
                             false);
            ADD_FAILURE() << member.constData() << " was accepted";
        } catch (const MachineFileError& e) {
            EXPECT_TRUE(e.message().startsWith("m.json: ") && e.message().contains(problem))
                << member.constData() << " -> " << e.message().toStdString();
        }
    }
}

TEST(LdapDirectory, PrivateServer) {
    test::PrivateSlapd slapd;
    if (!slapd.start(test::directoryLdif())) GTEST_SKIP() << slapd.why().toStdString();
    auto connection = openLdap(slapd.uri());
    const QString tokyo = "ou=Tokyo,dc=aa,dc=bb,dc=cc", osaka = "ou=Osaka,dc=aa,dc=bb,dc=cc";

    // name -> the rows' DNs (lower case, "|" separated)
    const std::pair<QString, QString> searches[] = {
        {"user1", "cn=user1," + tokyo},
        {"USER1", "cn=user1," + tokyo},
        {"nobody", ""},
        {"printer1", ""},  // a computer, not a user
        {"a*)(b", "cn=a*)(b," + osaka},
        {"a*", ""},
        {"*", ""},
        {"back\\slash", "cn=back\\5cslash," + osaka},
        {"dup", "cn=dup," + tokyo + "|cn=dup," + osaka},
    };
    for (const auto& [name, expected] : searches) {
        SCOPED_TRACE(name.toStdString());
        QStringList dns;
        for (const Row& row : connection->execute(userQuery(name), paged)) {
            ASSERT_TRUE(row.adsPath.startsWith("LDAP://"));
            dns << row.adsPath.mid(7).toLower();
        }
        EXPECT_EQ(dns.join("|").toStdString(), expected.toLower().toStdString());
    }

    // Pages of one row still bring every row; the scope settings are honoured.
    EXPECT_EQ(connection
                  ->execute("SELECT ADsPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE "
                            "objectCategory='user'",
                            {1, 2})
                  .size(),
              8u);
    EXPECT_EQ(connection->execute("SELECT ADsPath FROM 'LDAP://" + tokyo + "'", {10000, 1}).size(),
              5u);
    EXPECT_EQ(connection->execute("SELECT ADsPath FROM 'LDAP://" + tokyo + "'", {0, 0}).size(), 1u);
    // A base the server does not hold fails.
    EXPECT_THROW(connection->execute("SELECT ADsPath FROM 'LDAP://dc=WORKGROUP'", paged), Failure);

    // pwdLastSet: 100-ns ticks since 1601 as a local date-time; 0 and absent give none.
    const std::pair<QString, std::optional<QDateTime>> dates[] = {
        {"cn=user1," + tokyo, utc(2024, 4, 1, 1, 2, 3)},
        {"cn=dup," + osaka, utc(2024, 5, 6, 7, 8, 9)},
        {"cn=a*)(b," + osaka, utc(2022, 2, 2, 2, 2, 2)},
        {"cn=back\\5cslash," + osaka, utc(2020, 6, 15, 8, 30, 0)},
        {"cn=fresh," + tokyo, std::nullopt},
        {"cn=never," + tokyo, std::nullopt},
    };
    for (const auto& [dn, expected] : dates) {
        SCOPED_TRACE(dn.toStdString());
        const std::optional<QDateTime> got = connection->passwordLastChanged("LDAP://" + dn);
        ASSERT_EQ(got.has_value(), expected.has_value());
        if (!got) continue;
        EXPECT_EQ(got->toUTC(), *expected);
        EXPECT_EQ(got->timeSpec(), Qt::LocalTime);
    }
    EXPECT_THROW(connection->passwordLastChanged("LDAP://cn=ghost," + tokyo), Failure);
    EXPECT_THROW(connection->passwordLastChanged("cn=user1," + tokyo), Failure);
}

TEST(LdapDirectory, UnreachableServersFailWithinTheBound) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.listening());
    const int closed = test::freeLoopbackPort();
    // A server that takes every connection and hangs up at once, after reading what came.
    test::SilentListener rude;
    ASSERT_TRUE(rude.listening());
    std::thread hangUp([fd = rude.descriptor()] {
        for (int k = 0; k < 8; ++k) {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c < 0) return;
            char buffer[256];
            [[maybe_unused]] const ssize_t n = ::recv(c, buffer, sizeof buffer, MSG_DONTWAIT);
            ::close(c);
        }
    });
    const std::pair<const char*, QString> servers[] = {
        {"closed port", QStringLiteral("ldap://127.0.0.1:%1").arg(closed)},
        {"silent listener", QStringLiteral("ldap://127.0.0.1:%1").arg(silent.port())},
        {"server hanging up", QStringLiteral("ldap://127.0.0.1:%1").arg(rude.port())},
    };
    for (const auto& [what, uri] : servers) {
        SCOPED_TRACE(what);
        QElapsedTimer t;
        t.start();
        auto connection = openLdap(uri);
        EXPECT_THROW(connection->execute(userQuery("user1"), paged), Failure);
        const qint64 ms = t.elapsed();
        std::printf("[ measured ] %s: failed after %lld ms\n", what, static_cast<long long>(ms));
        EXPECT_LT(ms, 5000);
    }
    ::shutdown(rude.descriptor(), SHUT_RDWR);
    hangUp.join();
}

// Run by LdapDirectory.ServerFromLibldapConfiguration in a process of its own: libldap reads its
// configuration once per process.
TEST(LdapDirectory, DISABLED_ConfigurationChild) {
    const auto libldapLoaded = [] {
        QFile maps("/proc/self/maps");
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libldap");
    };
    ASSERT_FALSE(libldapLoaded()) << "the test program itself loads libldap";
    auto connection = makeLdapDirectory()->open("ADsDSOObject", "Active Directory Provider");
    try {
        const auto rows = connection->execute(userQuery("user1"), paged);
        ASSERT_EQ(rows.size(), 1u);
        const auto date = connection->passwordLastChanged(rows[0].adsPath);
        ASSERT_TRUE(date.has_value());
        std::printf("found %s\n", qPrintable(date->toUTC().toString(Qt::ISODate)));
    } catch (const Failure& e) {
        std::printf("failed: %s\n", qPrintable(e.message()));
    }
    std::printf("libldap %s\n", libldapLoaded() ? "loaded" : "not loaded");
}

TEST(LdapDirectory, ServerFromLibldapConfiguration) {
    test::PrivateSlapd slapd;
    if (!slapd.start(test::directoryLdif())) GTEST_SKIP() << slapd.why().toStdString();
    const QByteArray uri = slapd.uri().toUtf8();
    struct Case {
        const char* how;
        QString variable, value;  // an environment variable, if any
        QString file;             // a configuration file below the home folder, if any
        QByteArray text;
        const char* expected;
    };
    const Case cases[] = {
        {"LDAPURI", "LDAPURI", slapd.uri(), "", "", "found 2024-04-01T01:02:03Z"},
        {"LDAPRC", "LDAPRC", "ldaprc.test", "ldaprc.test", "URI " + uri + "\n",
         "found 2024-04-01T01:02:03Z"},
        {"~/.ldaprc, keyword in lower case after a tab", "", "", ".ldaprc",
         "# test\nTLS_REQCERT never\n\turi\t" + uri + "\n", "found 2024-04-01T01:02:03Z"},
        {"ldaprc in the working folder", "", "", "work/ldaprc", "URI " + uri + "\n",
         "found 2024-04-01T01:02:03Z"},
        // Nothing names a server, and the domain (aa.bb.cc) is looked up in a network of its own
        // that has none: the directory fails without libldap being loaded at all.
        {"nothing configured", "", "", ".ldaprc", "#URI " + uri + "\nBASE dc=aa\n",
         "libldap not loaded"},
    };
    // A network of its own needs the right to make one (root here); without it that case is
    // left out.
    const bool canIsolate = QProcess::execute("unshare", {"--net", "true"}) == 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const bool isolated = std::strcmp(c.expected, "libldap not loaded") == 0;
        if (isolated && !canIsolate) {
            std::printf("[ skipped  ] %s: cannot make a network namespace\n", c.how);
            continue;
        }
        // A home of our own keeps the user's ~/.ldaprc out.
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkdir("work"));
        if (!c.file.isEmpty()) {
            QFile rc(home.path() + "/" + c.file);
            ASSERT_TRUE(rc.open(QIODevice::WriteOnly));
            rc.write(c.text);
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys())
            if (name.startsWith("LDAP")) env.remove(name);
        env.insert("HOME", home.path());
        if (!c.variable.isEmpty()) env.insert(c.variable, c.value);
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(home.path() + "/work");
        QStringList arguments{"--gtest_filter=LdapDirectory.DISABLED_ConfigurationChild",
                              "--gtest_also_run_disabled_tests"};
        QString program = QFile::symLinkTarget("/proc/self/exe");
        if (isolated) {
            arguments.prepend(program);
            arguments.prepend("--net");
            program = "unshare";
        }
        child.start(program, arguments);
        ASSERT_TRUE(child.waitForFinished(20000));
        const QString out = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(c.expected)) << out.toStdString();
    }
}

TEST(LdapDirectory, ConfigurationThatMayNameAServer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        QStringList environment;
        const char* text;  // nullptr: no file; "<folder>": a folder where the file would be
        bool may;
    };
    const Case cases[] = {
        {{"HOME", "PATH"}, nullptr, false},
        {{"HOME", "LDAPURI"}, nullptr, true},
        {{"LDAPNOINIT"}, nullptr, true},  // unsure is "may"
        {{}, "TLS_CACERT /etc/ssl/certs/ca-certificates.crt\n#URI ldap://a\n", false},
        {{}, "BASE dc=example,dc=com\nURIX ldap://a\nSASL_MECH uri\n", false},
        {{}, "  URI ldap://a ldap://b\n", true},
        {{}, "# x\r\nuri\tldap://a\r\n", true},
        {{}, "HOST a.example.com\n", true},
        {{}, "Port 1389\n", true},
        {{}, "<folder>", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "no file");
        const QString path = dir.filePath(QString::number(++n));
        if (c.text && std::strcmp(c.text, "<folder>") == 0) {
            ASSERT_TRUE(QDir().mkdir(path));
        } else if (c.text) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.text);
        }
        EXPECT_EQ(ldapConfigurationMayNameServer(c.environment, {dir.filePath("none"), path}),
                  c.may);
    }
    QFile longLine(dir.filePath("long"));
    ASSERT_TRUE(longLine.open(QIODevice::WriteOnly));
    longLine.write("BASE " + QByteArray(3000, 'x') + "\n");
    longLine.close();
    EXPECT_TRUE(ldapConfigurationMayNameServer({}, {longLine.fileName()}));
}

namespace {

struct Srv {
    int priority, weight, port;
    const char* target;  // "." for the root
};

QByteArray dnsName(const char* name) {
    QByteArray out;
    for (const QByteArray& label : QByteArray(name).split('.'))
        if (!label.isEmpty()) out += char(label.size()) + label;
    return out + '\0';
}

QByteArray be16(int v) {
    return QByteArray(1, char((v >> 8) & 0xff)) + char(v & 0xff);
}

// A DNS response to the SRV question for _ldap._tcp.dc._msdcs.aa.bb.cc with `answers`.
QByteArray srvAnswer(const std::vector<Srv>& answers) {
    QByteArray m =
        be16(0x1234) + be16(0x8180) + be16(1) + be16(int(answers.size())) + be16(0) + be16(0);
    m += dnsName("_ldap._tcp.dc._msdcs.aa.bb.cc") + be16(33) + be16(1);
    for (const Srv& a : answers) {
        const QByteArray data =
            be16(a.priority) + be16(a.weight) + be16(a.port) + dnsName(a.target);
        m +=
            be16(0xc00c) + be16(33) + be16(1) + be16(0) + be16(600) + be16(int(data.size())) + data;
    }
    return m;
}

}  // namespace

TEST(LdapDirectory, SrvRecordChoosesPriorityThenWeight) {
    struct Case {
        std::vector<Srv> answers;
        const char* server;
    };
    const Case cases[] = {
        {{{0, 100, 389, "dc1.aa.bb.cc"}}, "ldap://dc1.aa.bb.cc:389"},
        {{{10, 50, 389, "dc2.aa.bb.cc"},
          {0, 10, 389, "dc1.aa.bb.cc"},
          {0, 100, 3268, "dc3.aa.bb.cc"}},
         "ldap://dc3.aa.bb.cc:3268"},
        {{{5, 0, 389, "b.aa"}, {5, 0, 390, "a.aa"}}, "ldap://b.aa:389"},
        {{{0, 0, 0, "."}}, ""},
        {{{0, 0, 0, "."}, {1, 0, 389, "late.aa"}}, "ldap://late.aa:389"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        const QByteArray m = srvAnswer(c.answers);
        EXPECT_EQ(
            bestSrvServer(reinterpret_cast<const unsigned char*>(m.constData()), int(m.size()))
                .toStdString(),
            c.server);
    }
    // Cut short or empty: nothing, and no read past the end.
    const QByteArray whole = srvAnswer({{0, 100, 389, "dc1.aa.bb.cc"}});
    for (qsizetype cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(
            bestSrvServer(reinterpret_cast<const unsigned char*>(whole.constData()), int(cut)), "")
            << cut;
    EXPECT_EQ(bestSrvServer(nullptr, 0), "");
}

// A computer in no domain has no directory: it fails at once, asking no server (nor DNS first).
TEST(LiveMachine, DirectoryOfAComputerInNoDomainAsksNoServer) {
    test::SilentListener server;
    qputenv("LDAPURI", QStringLiteral("ldap://127.0.0.1:%1").arg(server.port()).toUtf8());
    QTemporaryDir root;  // no smb.conf, no sssd.conf: a work group
    LiveMachineOptions workGroup;
    workGroup.root = root.path();
    try {
        makeLiveMachine(workGroup)
            .directory->open("ADsDSOObject", "")
            ->execute(userQuery("user1"), paged);
        ADD_FAILURE() << "no failure";
    } catch (const Failure& f) {
        EXPECT_TRUE(f.message().contains("no domain")) << f.message().toStdString();
    }
    EXPECT_EQ(server.takePending(), 0);
    qunsetenv("LDAPURI");
}
