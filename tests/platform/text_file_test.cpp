#include "platform/text/text_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/failure.h"

using namespace torvix;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll();
}

QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.message();
    }
    return QString();
}

}  // namespace

TEST(TextFile, EncodesInTheChosenCharacterSet) {
    const QString text = QStringLiteral("MACアドレス");
    EXPECT_EQ(encodeText(text, "CP932"), QByteArray("MAC\x83\x41\x83\x68\x83\x8c\x83\x58"));
    EXPECT_EQ(encodeText(text, "EUC-JP"), QByteArray("MAC\xa5\xa2\xa5\xc9\xa5\xec\xa5\xb9"));
    EXPECT_EQ(encodeText(text, "UTF-8"), text.toUtf8());
    // Full-width tilde and circled digits exist in CP932 (not in plain Shift_JIS).
    EXPECT_EQ(encodeText(QStringLiteral("～①"), "CP932"), QByteArray("\x81\x60\x87\x40"));
}

TEST(TextFile, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(encodeText(QStringLiteral("a😀b"), "CP932"), QByteArray("a?b"));
    EXPECT_EQ(encodeText(QStringLiteral("x\u0e01y"), "EUC-JP"), QByteArray("x?y"));
    EXPECT_EQ(encodeText(QStringLiteral("日本"), "ASCII"), QByteArray("??"));
    EXPECT_NE(failureOf([] { encodeText("x", "NO-SUCH-CHARSET"); }), "");
}

TEST(TextFile, WritesLinesEndedByCrLfReplacingTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("a much longer previous content that must disappear\n");
    }
    writeTextLines(path, {QStringLiteral("ホスト"), QString(), QStringLiteral("x")}, "CP932");
    EXPECT_EQ(readAll(path), QByteArray("\x83\x7a\x83\x58\x83\x67\r\n\r\nx\r\n"));

    writeTextLines(path, {QStringLiteral("ホスト")}, "UTF-8");
    EXPECT_EQ(readAll(path), QStringLiteral("ホスト\r\n").toUtf8());

    writeTextLines(path, {}, "UTF-8");
    EXPECT_EQ(readAll(path), QByteArray());
}

TEST(TextFile, FailureNamesThePathAndTheCause) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no/such/dir/f.txt"));
    const QString message = failureOf([&] { writeTextLines(missing, {"x"}, "UTF-8"); });
    EXPECT_TRUE(message.contains(missing)) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
        << message.toStdString();

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    EXPECT_NE(failureOf([&] { writeTextLines(dir.filePath("taken"), {"x"}, "UTF-8"); }), "");
}

TEST(TextFile, LocaleCharacterSet) {
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    EXPECT_EQ(localeFileCharset(), "UTF-8");  // ASCII helps nobody with Japanese text
    qputenv("LC_ALL", "POSIX");
    EXPECT_EQ(localeFileCharset(), "UTF-8");
    qputenv("LC_ALL", "C.UTF-8");
    EXPECT_EQ(localeFileCharset(), "UTF-8");
    if (saved.isNull())
        qunsetenv("LC_ALL");
    else
        qputenv("LC_ALL", saved);
}

TEST(TextFile, JoinCurrentDirectoryAddsOneSeparator) {
    EXPECT_EQ(joinCurrentDirectory("/home/u", "MACアドレス.txt"), "/home/u/MACアドレス.txt");
    EXPECT_EQ(joinCurrentDirectory("/", "MACアドレス.txt"), "//MACアドレス.txt");
}

// A file that cannot be written carries the system's error number and its own description, for
// windows that show "number   description".
TEST(TextFile, FailureCarriesTheErrorNumber) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
    QFile plain(dir.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Row {
        QString path;
        QByteArray charset;
        int error;
    };
    const Row rows[] = {
        {dir.path() + "/taken", "UTF-8", EISDIR},             // a folder stands where the file goes
        {dir.path() + "/missing/file.txt", "UTF-8", ENOENT},  // no such folder
        {dir.path() + "/plain/file.txt", "UTF-8", ENOTDIR},   // a file stands where a folder goes
        {dir.path() + "/file.txt", "NO-SUCH-CHARSET", EINVAL},  // nothing written at all
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString() + " " + row.charset.toStdString());
        try {
            writeTextLines(row.path, {QStringLiteral("特殊")}, row.charset);
            ADD_FAILURE() << "no failure";
        } catch (const TextFileError& e) {
            EXPECT_EQ(e.errorNumber(), row.error);
            EXPECT_TRUE(e.message().contains(row.path));
            if (row.error != EINVAL)
                EXPECT_EQ(e.cause(), QString::fromLocal8Bit(std::strerror(row.error)));
            else
                EXPECT_TRUE(e.cause().contains("NO-SUCH-CHARSET")) << e.cause().toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(dir.path() + "/file.txt"));
}

TEST(TextFileWriter, LineByLine) {
    const struct {
        const char* name;
        QByteArray charset;
        QStringList lines;
        bool closeIt;  // false: the writer is dropped part-way
        QByteArray bytes;
    } cases[] = {
        {"UTF-8", "UTF-8", {"bash 5.2", "日本語 1"}, true, "bash 5.2\r\n日本語 1\r\n"},
        {"CP932", "CP932", {"ソフト 1", "x"}, true, "\x83\x5c\x83\x74\x83\x67 1\r\nx\r\n"},
        {"EUC-JP, no place for the character",
         "EUC-JP",
         {"ソ", "中😀"},
         true,
         "\xa5\xbd\r\n\xc3\xe6?\r\n"},
        {"no lines: an empty file", "UTF-8", {}, true, ""},
        {"dropped part-way: the lines so far", "UTF-8", {"a", "b"}, false, "a\r\nb\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.txt");
        {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100, 'z'));  // replaced, not appended to
        }
        {
            TextFileWriter w;
            w.open(path, c.charset);
            EXPECT_TRUE(w.isOpen());
            for (const QString& line : c.lines) {
                w.appendLine(line);
                EXPECT_TRUE(readAll(path).endsWith(encodeText(line, c.charset) + "\r\n"));
            }
            if (c.closeIt) {
                w.close();
                EXPECT_FALSE(w.isOpen());
            }
        }
        EXPECT_EQ(readAll(path), c.bytes);
    }
}

TEST(TextFileWriter, FailuresNameThePath) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
    const QString folder = dir.filePath("taken");
    TextFileWriter w;
    EXPECT_TRUE(failureOf([&] { w.open(folder); }).startsWith("cannot write \"" + folder + "\""));
    EXPECT_FALSE(w.isOpen());
    EXPECT_FALSE(failureOf([&] { w.appendLine("x"); }).isEmpty());

    // An unknown character set fails before the file is touched.
    const QString path = dir.filePath("new.txt");
    EXPECT_FALSE(failureOf([&] { w.open(path, "NO-SUCH-CHARSET"); }).isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}
