#include "platform/live/root_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "platform/wmi/error.h"

namespace torvix::live {

QString underRoot(const QString& root, const QString& path) {
    QString base = root;
    while (base.size() > 1 && base.endsWith(u'/')) base.chop(1);
    if (base.isEmpty() || base == u"/") return path.startsWith(u'/') ? path : u'/' + path;
    return path.startsWith(u'/') ? base + path : base + u'/' + path;
}

namespace {

// Follows absolute links of the last path component inside the root (a few hops at most);
// relative links stay inside the tree by themselves.
QString resolveInsideRoot(const QString& root, const QString& path) {
    QString full = underRoot(root, path);
    if (underRoot(root, QStringLiteral("/")) == u"/") return full;
    for (int hop = 0; hop < 8; ++hop) {
        const QByteArray raw = QFile::encodeName(full);
        char buf[4096];
        const ssize_t n = ::readlink(raw.constData(), buf, sizeof buf - 1);
        if (n <= 0 || buf[0] != '/') break;
        full = underRoot(root, QFile::decodeName(QByteArray(buf, n)));
    }
    return full;
}

}  // namespace

std::optional<QByteArray> readRootFile(const QString& root, const QString& path, qsizetype limit) {
    const QByteArray name = QFile::encodeName(resolveInsideRoot(root, path));
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    QByteArray data;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;  // a folder, or a sysfs attribute that refuses reading
        }
        if (n == 0) break;
        data.append(buf, n);
        if (data.size() >= limit) {
            data.truncate(limit);
            break;
        }
    }
    ::close(fd);
    return data;
}

std::optional<QString> readRootLine(const QString& root, const QString& path) {
    std::optional<QByteArray> data = readRootFile(root, path, 64 * 1024);
    if (!data) return std::nullopt;
    const qsizetype nl = data->indexOf('\n');
    if (nl >= 0) data->truncate(nl);
    QString line = QString::fromUtf8(*data);
    while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
    return line;
}

QStringList listRootDir(const QString& root, const QString& path) {
    QDir dir(underRoot(root, path));
    return dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

bool rootPathExists(const QString& root, const QString& path) {
    return QFileInfo::exists(underRoot(root, path));
}

namespace {

QString unquoteShellValue(QStringView v) {
    QString out;
    out.reserve(v.size());
    QChar quote;
    // Blanks up to here were quoted or escaped and stay; only bare trailing ones go.
    qsizetype kept = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (quote.isNull()) {
            if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'\\' && i + 1 < v.size()) {
                out += v[++i];
                kept = out.size();
            } else if (c == u'#' && (i == 0 || v[i - 1].isSpace())) {
                break;  // a comment after the value
            } else {
                out += c;
            }
        } else if (c == quote) {
            quote = QChar();
        } else if (quote == u'"' && c == u'\\' && i + 1 < v.size() &&
                   QStringView(u"\"\\$`").contains(v[i + 1])) {
            out += v[++i];
            kept = out.size();
        } else {
            out += c;
            kept = out.size();
        }
    }
    while (out.size() > kept && out.back().isSpace()) out.chop(1);
    return out;
}

}  // namespace

QHash<QString, QString> parseShellAssignments(const QByteArray& text) {
    QHash<QString, QString> values;
    const QString all = QString::fromUtf8(text);
    for (QStringView line : QStringView(all).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u"export ")) line = line.mid(7).trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed().toString();
        values.insert(key, unquoteShellValue(line.mid(eq + 1)));
    }
    return values;
}

QHash<QString, qint64> parseMeminfo(const QByteArray& text) {
    QHash<QString, qint64> values;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        QByteArray rest = line.mid(colon + 1).trimmed();
        const qsizetype space = rest.indexOf(' ');
        if (space >= 0) rest.truncate(space);
        bool ok = false;
        const qint64 v = rest.toLongLong(&ok);
        if (ok) values.insert(QString::fromLatin1(line.left(colon).trimmed()), v);
    }
    return values;
}

QHash<QString, qint64> readMeminfo(const QString& root) {
    const std::optional<QByteArray> meminfo = readRootFile(root, QStringLiteral("/proc/meminfo"));
    if (!meminfo)
        throw wmi::Error(wmi::Error::Code::ProviderFailure,
                         QStringLiteral("cannot read /proc/meminfo"));
    return parseMeminfo(*meminfo);
}

}  // namespace torvix::live
