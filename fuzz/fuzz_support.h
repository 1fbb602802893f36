#pragma once

// Shared pieces of the fuzz targets: checks that abort (so libFuzzer records the input), the
// rule that only a parser's documented error type may escape, and a private root folder for the
// parsers that read files.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace torvix::fuzz {

[[noreturn]] inline void fail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "fuzz check failed: %s\n  %s\n", what,
                 detail.left(2000).toUtf8().constData());
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                 \
    do {                                                              \
        if (!(condition)) ::torvix::fuzz::fail(#condition, (detail)); \
    } while (0)

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Runs `body`; an exception of type Allowed is the parser saying no, any other one escaping is a
// fault.
template <class Allowed, class Body>
bool allowing(Body&& body) {
    try {
        body();
        return true;
    } catch (const Allowed&) {
        return false;
    } catch (const std::exception& e) {
        fail("an undocumented exception escaped", QString::fromUtf8(e.what()));
    } catch (...) {
        fail("a non-standard exception escaped");
    }
}

// For the parsers documented never to throw.
template <class Body>
void noThrow(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        fail("an exception escaped a parser that never throws", QString::fromUtf8(e.what()));
    } catch (...) {
        fail("a non-standard exception escaped a parser that never throws");
    }
}

// A root folder of this run, on tmpfs when there is one (one file write per input).
inline const QString& scratchRoot() {
    static QTemporaryDir dir((QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm")
                                                                        : QDir::tempPath()) +
                             QStringLiteral("/torvix-fuzz-XXXXXX"));
    static const QString path = [] {
        if (!dir.isValid()) fail("no scratch folder", dir.errorString());
        return dir.path();
    }();
    return path;
}

// Writes `data` to `path` (absolute as on the real system) under the scratch root.
inline void writeUnderRoot(const QString& path, const QByteArray& data) {
    const QString full = scratchRoot() + path;
    QDir().mkpath(full.left(full.lastIndexOf(u'/')));
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        fail("cannot write the scratch file", full);
}

// The address in inet_ntop's canonical form, or empty when `text` is no numeric address.
inline QString canonicalAddress(const QString& text) {
    const QByteArray latin = text.toLatin1();
    unsigned char raw[16];
    char out[INET6_ADDRSTRLEN] = {};
    for (int family : {AF_INET, AF_INET6}) {
        if (::inet_pton(family, latin.constData(), raw) == 1 &&
            ::inet_ntop(family, raw, out, sizeof out))
            return QString::fromLatin1(out);
    }
    return QString();
}

inline bool isCanonicalAddress(const QString& text) {
    return !text.isEmpty() && !text.contains(QChar(0)) && canonicalAddress(text) == text;
}

}  // namespace torvix::fuzz
