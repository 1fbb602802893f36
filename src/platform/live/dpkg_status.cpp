#include "platform/live/dpkg_status.h"

#include <cstring>

#include "platform/wmi/error.h"

namespace torvix::live {

namespace {

// Longer lines are cut here: only first lines of fields are kept, and no real field is this long.
constexpr qint64 maxLine = 64 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) ++begin;
    while (end > begin && (isBlank(end[-1]) || end[-1] == '\r')) --end;
    return QByteArray(begin, end - begin);
}

bool fieldIs(const QByteArray& name, const char* wanted) {
    return name.size() == static_cast<qsizetype>(std::strlen(wanted)) &&
           qstrnicmp(name.constData(), wanted, static_cast<size_t>(name.size())) == 0;
}

std::optional<QString> textOf(const QByteArray& value) {
    if (value.isEmpty()) return std::nullopt;
    return QString::fromUtf8(value);
}

wmi::Error readFailure(const QString& path, const QString& why) {
    return wmi::Error(wmi::Error::Code::ProviderFailure,
                      QStringLiteral("cannot read \"%1\": %2").arg(path, why));
}

}  // namespace

bool isInstalledStatus(QStringView status) {
    const QList<QStringView> words = status.trimmed().split(u' ', Qt::SkipEmptyParts);
    return words.size() == 3 && words.at(2) == u"installed";
}

QString nativeDpkgArchitecture() {
#if defined(__x86_64__) && defined(__ILP32__)
    return QStringLiteral("x32");
#elif defined(__x86_64__)
    return QStringLiteral("amd64");
#elif defined(__i386__)
    return QStringLiteral("i386");
#elif defined(__aarch64__)
    return QStringLiteral("arm64");
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    return QStringLiteral("armhf");
#elif defined(__arm__)
    return QStringLiteral("armel");
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return QStringLiteral("ppc64el");
#elif defined(__powerpc64__)
    return QStringLiteral("ppc64");
#elif defined(__s390x__)
    return QStringLiteral("s390x");
#elif defined(__riscv) && __riscv_xlen == 64
    return QStringLiteral("riscv64");
#elif defined(__loongarch64)
    return QStringLiteral("loong64");
#elif defined(__mips64) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return QStringLiteral("mips64el");
#elif defined(__mips__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return QStringLiteral("mipsel");
#else
    return QString();
#endif
}

DpkgStatusReader::DpkgStatusReader(const QString& path) : path_(path), file_(path) {
    if (!QFile::exists(path)) {
        atEnd_ = true;
        return;
    }
    if (!file_.open(QIODevice::ReadOnly)) throw readFailure(path_, file_.errorString());
    open_ = true;
    buffer_.resize(maxLine + 1);
}

bool DpkgStatusReader::readLine(QByteArray& line) {
    if (atEnd_) return false;
    const qint64 n = file_.readLine(buffer_.data(), buffer_.size());
    if (n <= 0) {
        if (n < 0 && !file_.atEnd()) throw readFailure(path_, file_.errorString());
        atEnd_ = true;
        return false;
    }
    const char* begin = buffer_.constData();
    const char* end = begin + n;
    const bool complete = end[-1] == '\n';
    if (complete) --end;
    if (end > begin && end[-1] == '\r') --end;
    line = QByteArray(begin, end - begin);
    if (!complete) {
        // An overlong line: keep its beginning, pass over the rest.
        char scrap[4096];
        for (;;) {
            const qint64 m = file_.readLine(scrap, sizeof scrap);
            if (m <= 0 || scrap[m - 1] == '\n') break;
        }
    }
    return true;
}

std::optional<DpkgPackage> DpkgStatusReader::next() {
    if (!open_) return std::nullopt;
    QByteArray line;
    for (;;) {
        DpkgPackage p;
        bool any = false;  // any field seen in this stanza
        bool more = true;
        while ((more = readLine(line))) {
            const char* b = line.constData();
            const char* e = b + line.size();
            const char* first = b;
            while (first < e && isBlank(*first)) ++first;
            if (first == e) {
                if (any) break;  // end of the stanza
                continue;        // blank lines between stanzas
            }
            if (first != b) continue;  // a continuation line: only first lines are kept
            const char* colon = static_cast<const char*>(std::memchr(b, ':', line.size()));
            if (!colon || colon == b) continue;  // garbage: no field name
            any = true;
            const QByteArray field(b, colon - b);
            const QByteArray value = trimmed(colon + 1, e);
            if (fieldIs(field, "Package"))
                p.package = QString::fromUtf8(value);
            else if (fieldIs(field, "Status"))
                p.status = textOf(value);
            else if (fieldIs(field, "Architecture"))
                p.architecture = textOf(value);
            else if (fieldIs(field, "Version"))
                p.version = textOf(value);
            else if (fieldIs(field, "Maintainer"))
                p.maintainer = textOf(value);
            else if (fieldIs(field, "Description"))
                p.synopsis = textOf(value);
        }
        if (any && !p.package.isEmpty()) return p;
        if (!more) return std::nullopt;
    }
}

}  // namespace torvix::live
