#include "platform/live/software_provider.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "platform/live/dpkg_status.h"
#include "platform/wmi/error.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

QString textOf(const wmi::Instance& i, const char16_t* name) {
    const wmi::Value& v = i.property(name);
    return v.isNull() ? QStringLiteral("<null>") : v.toText();
}

// Each product as "Caption|Name|Version|Vendor|Description".
QStringList walkProducts(const live::SoftwareProvider::Options& options) {
    live::SoftwareProvider provider(options);
    wmi::wql::Query query;
    auto cursor = provider.enumerate(query);
    QStringList out;
    while (std::optional<wmi::Instance> i = cursor->next())
        out << QStringList{textOf(*i, u"Caption"), textOf(*i, u"Name"), textOf(*i, u"Version"),
                           textOf(*i, u"Vendor"), textOf(*i, u"Description")}
                   .join(u'|');
    return out;
}

// A synthetic root holding `status` as dpkg's database; no Flatpak, no home.
QStringList productsOf(const QByteArray& status, const QString& nativeArch = "amd64") {
    test::FakeRoot root;
    root.write("var/lib/dpkg/status", status);
    live::SoftwareProvider::Options o;
    o.root = root.path();
    o.nativeArchitecture = nativeArch;
    o.home = QStringLiteral("/home/nobody");
    return walkProducts(o);
}

}  // namespace

TEST(DpkgStatus, InstalledMeansTheThirdWordIsInstalled) {
    const struct {
        const char* status;
        bool installed;
    } cases[] = {
        {"install ok installed", true},
        {"deinstall ok installed", true},
        {"hold ok installed", true},
        {"purge ok installed", true},
        {"  install ok installed  ", true},
        {"install ok half-installed", false},
        {"deinstall ok config-files", false},
        {"purge ok not-installed", false},
        {"install ok unpacked", false},
        {"install ok half-configured", false},
        {"install ok triggers-pending", false},
        {"install reinstreq half-installed", false},
        {"installed", false},
        {"install ok installed extra", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(live::isInstalledStatus(QString::fromLatin1(c.status)), c.installed) << c.status;
}

TEST(DpkgStatus, StanzasBecomeProducts) {
    const struct {
        const char* name;
        QByteArray status;
        QStringList products;
    } cases[] = {
        {"fields and states",
         "Package: bash\nStatus: install ok installed\nPriority: required\nArchitecture: amd64\n"
         "Maintainer: Matthias Klose <doko@debian.org>\nVersion: 5.2.15-2+b2\n"
         "Description: GNU Bourne Again SHell\n Bash is an sh-compatible command language.\n .\n"
         " More text.\nHomepage: http://tiswww.case.edu/php/chet/bash/bashtop.html\n\n"
         "Package: oldpkg\nStatus: install ok half-installed\nVersion: 1.0\n\n"
         "Package: removed\nStatus: deinstall ok config-files\nVersion: 2.0\n\n"
         "Package: gone\nStatus: purge ok not-installed\n\n"
         "Package: kept\nStatus: deinstall ok installed\nVersion: 3.0\nArchitecture: all\n",
         {"bash|bash|5.2.15-2+b2|Matthias Klose <doko@debian.org>|GNU Bourne Again SHell",
          "kept|kept|3.0|<null>|<null>"}},
        {"epoch kept, version missing or empty",
         "Package: a\nStatus: install ok installed\nVersion: 1:2.36-9+deb12u4\n\n"
         "Package: b\nStatus: install ok installed\n\n"
         "Package: c\nStatus: install ok installed\nVersion:   \n",
         {"a|a|1:2.36-9+deb12u4|<null>|<null>", "b|b|<null>|<null>|<null>",
          "c|c|<null>|<null>|<null>"}},
        {"CR LF, blank-only separators, field names in any case",
         "package: x\r\nSTATUS: install ok installed\r\nVersion: 1.2\r\n \t\r\n"
         "Package: y\r\nStatus: install ok installed\r\nDescription: why\r\n",
         {"x|x|1.2|<null>|<null>", "y|y|<null>|<null>|why"}},
        {"multi-arch: only a foreign architecture is named",
         "Package: libc6\nStatus: install ok installed\nArchitecture: amd64\nVersion: 2.36\n\n"
         "Package: libc6\nStatus: install ok installed\nArchitecture: i386\nVersion: 2.36\n\n"
         "Package: tzdata\nStatus: install ok installed\nArchitecture: all\nVersion: 2024a\n",
         {"libc6|libc6|2.36|<null>|<null>", "libc6:i386|libc6:i386|2.36|<null>|<null>",
          "tzdata|tzdata|2024a|<null>|<null>"}},
        {"garbage lines and stanzas without a package",
         "this is not a field\n:no name\nStatus: install ok installed\n\n"
         "Package: z\nnonsense\nStatus: install ok installed\n\x01\x02\xff\xfe\n\n\n\n",
         {"z|z|<null>|<null>|<null>"}},
        {"a file cut short in its last stanza",
         "Package: p\nStatus: install ok installed\n\nPackage: q\nStatus: install ok installed\n"
         "Version: 9",
         {"p|p|<null>|<null>|<null>", "q|q|9|<null>|<null>"}},
        {"a continuation line before any field, and one that looks like a field",
         " Package: ghost\nPackage: r\nStatus: install ok installed\nDescription: first\n"
         " Version: 0\n",
         {"r|r|<null>|<null>|first"}},
        {"empty file", "", {}},
        {"binary noise", QByteArray(4096, '\0'), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(productsOf(c.status), c.products) << c.name;
}

TEST(DpkgStatus, OverlongLinesAndManyPackages) {
    // A description line of 1 MB is cut, not kept whole, and the stanza after it still counts.
    QByteArray status = "Package: long\nStatus: install ok installed\nDescription: " +
                        QByteArray(1024 * 1024, 'x') + "\nVersion: 7\n\n";
    for (int i = 0; i < 5000; ++i)
        status += "Package: pkg" + QByteArray::number(i) +
                  "\nStatus: install ok installed\nVersion: 1." + QByteArray::number(i) + "\n\n";
    const QStringList products = productsOf(status);
    ASSERT_EQ(products.size(), 5001);
    const QStringList first = products.front().split(u'|');
    EXPECT_EQ(first[0], "long");
    EXPECT_EQ(first[2], "7");
    EXPECT_EQ(first[4].size(), 64 * 1024 - QStringLiteral("Description: ").size());
    EXPECT_EQ(products.back(), "pkg4999|pkg4999|1.4999|<null>|<null>");
}

TEST(DpkgStatus, ReadAsTheWalkGoes) {
    // The database is a pipe whose second stanza comes only once the first product has been
    // taken: a provider that read the whole file up front would wait for the writer to give up.
    test::FakeRoot root;
    root.mkdir("var/lib/dpkg");
    const QByteArray fifo = QFile::encodeName(root.path() + "/var/lib/dpkg/status");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::promise<void> firstTaken;
    std::atomic<bool> writerGaveUp{false};
    std::thread writer([&] {
        FILE* f = std::fopen(fifo.constData(), "w");
        if (!f) return;
        std::fputs("Package: first\nStatus: install ok installed\nVersion: 1\n\n", f);
        std::fflush(f);
        if (firstTaken.get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready)
            writerGaveUp = true;
        std::fputs("Package: second\nStatus: install ok installed\nVersion: 2\n", f);
        std::fclose(f);
    });
    live::SoftwareProvider::Options o;
    o.root = root.path();
    o.home = QStringLiteral("/home/nobody");
    live::SoftwareProvider provider(o);
    wmi::wql::Query query;
    auto cursor = provider.enumerate(query);
    const std::optional<wmi::Instance> first = cursor->next();
    EXPECT_FALSE(writerGaveUp);
    firstTaken.set_value();
    const std::optional<wmi::Instance> second = cursor->next();
    const bool end = !cursor->next().has_value();
    writer.join();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(textOf(*first, u"Name"), "first");
    EXPECT_EQ(textOf(*second, u"Name"), "second");
    EXPECT_TRUE(end);
}

TEST(DpkgStatus, NoDatabaseAndAnUnreadableOne) {
    test::FakeRoot empty;
    live::SoftwareProvider::Options o;
    o.root = empty.path();
    o.home = QStringLiteral("/home/nobody");
    EXPECT_TRUE(walkProducts(o).isEmpty());  // no dpkg: nothing installed through it

    // A folder standing where the file should be cannot be read: the walk fails, no crash.
    test::FakeRoot odd;
    odd.mkdir("var/lib/dpkg/status");
    o.root = odd.path();
    EXPECT_THROW(walkProducts(o), wmi::Error);
}

TEST(FlatpakApps, SystemThenUserWithTheirAppStreamData) {
    test::FakeRoot root;
    root.write("var/lib/dpkg/status", "Package: bash\nStatus: install ok installed\nVersion: 5\n");
    const QByteArray gimpXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<component type="desktop-application">
  <id>org.gimp.GIMP</id>
  <name>GNU Image Manipulation Program</name>
  <name xml:lang="ja">GNU 画像処理プログラム</name>
  <summary>Create images and edit photographs</summary>
  <developer_name>The GIMP team</developer_name>
  <releases>
    <release version="2.10.38" date="2024-05-02"/>
    <release version="2.10.36" date="2023-11-05"/>
  </releases>
</component>)";
    const struct {
        const char* dir;
        const char* id;
        QByteArray metadata;
        const char* xmlPath;  // under files/share/, or null
        QByteArray xml;
    } apps[] = {
        {"var/lib/flatpak/app", "org.gimp.GIMP",
         "[Application]\nname=org.gimp.GIMP\nruntime=org.gnome.Platform/x86_64/46\n",
         "metainfo/org.gimp.GIMP.metainfo.xml", gimpXml},
        {"var/lib/flatpak/app",
         "org.example.Bare",
         "[Application]\nname=org.example.Bare\n",
         nullptr,
         {}},
        {"var/lib/flatpak/app", "org.example.Broken", "[Application]\nname=org.example.Broken\n",
         "appdata/org.example.Broken.appdata.xml", "<component><name>Half</name><summary>cut"},
        {"home/user1/.local/share/flatpak/app", "com.example.Mine",
         "[Application]\nname=com.example.Mine\n", "appdata/com.example.Mine.appdata.xml",
         "<component><developer><name>Me</name></developer><name>Mine</name>"
         "<releases><release version=\"0.3\"/></releases></component>"},
    };
    for (const auto& a : apps) {
        const QString deploy = QStringLiteral("%1/%2/x86_64/stable/0123abcd").arg(a.dir, a.id);
        root.write(deploy + "/metadata", a.metadata);
        if (a.xmlPath) root.write(deploy + "/files/share/" + a.xmlPath, a.xml);
        root.symlink(QStringLiteral("%1/%2/current").arg(a.dir, a.id), "x86_64/stable");
        root.symlink(QStringLiteral("%1/%2/x86_64/stable/active").arg(a.dir, a.id), "0123abcd");
    }
    // Removed but not yet pruned: no deployment, so not listed.
    root.mkdir("var/lib/flatpak/app/org.example.Gone");

    live::SoftwareProvider::Options o;
    o.root = root.path();
    o.nativeArchitecture = "amd64";
    o.home = QStringLiteral("/home/user1");
    EXPECT_EQ(walkProducts(o),
              QStringList({"bash|bash|5|<null>|<null>",
                           "org.example.Bare|org.example.Bare|<null>|<null>|<null>",
                           "Half|org.example.Broken|<null>|<null>|<null>",
                           "GNU Image Manipulation Program|org.gimp.GIMP|2.10.38|The GIMP team|"
                           "Create images and edit photographs",
                           "Mine|com.example.Mine|0.3|Me|<null>"}));
}

TEST(DpkgStatus, AgreesWithDpkgQueryOnThisComputer) {
    if (QStandardPaths::findExecutable("dpkg-query").isEmpty() ||
        !QFile::exists("/var/lib/dpkg/status"))
        GTEST_SKIP() << "no dpkg on this computer";
    QProcess p;
    p.start("dpkg-query", {"-W", "-f=${db:Status-Abbrev} ${Package} ${Version}\\n"});
    ASSERT_TRUE(p.waitForFinished(60000));
    QSet<QString> expected;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // "ii  bash 5.2.15-2+b2": the second letter is the state, 'i' for installed.
        if (f.size() < 3 || line.size() < 2 || line[1] != 'i') continue;
        expected.insert(QString::fromUtf8(f[f.size() - 2] + ' ' + f.back()));
    }
    ASSERT_FALSE(expected.isEmpty());

    live::SoftwareProvider::Options o;
    o.root = QStringLiteral("/");
    o.home = QStringLiteral("/nonexistent");
    live::SoftwareProvider provider(o);
    wmi::wql::Query query;
    auto cursor = provider.enumerate(query);
    QSet<QString> found;
    int count = 0;
    while (std::optional<wmi::Instance> i = cursor->next()) {
        if (!i->property(u"InstallLocation").isNull()) continue;  // a Flatpak application
        ++count;
        QString name = i->property(u"Name").toText();
        name = name.section(u':', 0, 0);  // dpkg-query's ${Package} has no architecture
        found.insert(name + u' ' + textOf(*i, u"Version"));
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(count, expected.size());
}
