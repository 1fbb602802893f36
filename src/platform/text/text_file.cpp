#include "platform/text/text_file.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/failure.h"
#include "platform/text/file_target.h"

namespace torvix {

namespace {

QString currentDirectoryCause(int error) {
    if (error == ENOENT)
        return QStringLiteral("the current directory no longer exists (%1)").arg(errnoText(error));
    return QStringLiteral("the current directory cannot be determined (%1)").arg(errnoText(error));
}

QByteArray normalizedCharset(QByteArray codeset) {
    const QByteArray upper = codeset.toUpper();
    if (upper.isEmpty() || upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "US-ASCII" ||
        upper == "646")
        return "UTF-8";
    if (upper == "UTF8") return "UTF-8";
    if (upper == "SHIFT_JIS" || upper == "SJIS" || upper == "SHIFT-JIS" || upper == "MS_KANJI")
        return "CP932";
    return codeset;
}

bool isUtf8(const QByteArray& charset) {
    const QByteArray upper = charset.toUpper();
    return upper == "UTF-8" || upper == "UTF8";
}

// Closes the descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

struct Iconv {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    ~Iconv() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

}  // namespace

QByteArray localeFileCharset() {
    // The environment's locale, read without touching the process's global one.
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    QByteArray codeset;
    if (loc != static_cast<locale_t>(0)) {
        codeset = nl_langinfo_l(CODESET, loc);
        freelocale(loc);
    } else {
        codeset = nl_langinfo(CODESET);
    }
    return normalizedCharset(codeset);
}

namespace {

QByteArray convertWith(iconv_t cd, const QString& text, const QByteArray& charset) {
    QByteArray in = text.toUtf8();
    QByteArray out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = in.data();
    size_t inLeft = static_cast<size_t>(in.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        } else if (errno == EILSEQ || errno == EINVAL) {
            // No transliteration either: one "?" for the whole UTF-8 sequence.
            if (outLeft < 1) {
                const qsizetype used = outPtr - out.data();
                out.resize(out.size() * 2);
                outPtr = out.data() + used;
                outLeft = static_cast<size_t>(out.size() - used);
            }
            *outPtr++ = '?';
            --outLeft;
            const unsigned char lead = static_cast<unsigned char>(*inPtr);
            size_t skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (skip > inLeft) skip = inLeft;
            inPtr += skip;
            inLeft -= skip;
        } else {
            throw Failure(QStringLiteral("cannot convert text to the character set %1: %2")
                              .arg(QString::fromLatin1(charset), errnoText(errno)));
        }
    }
    // Flush any shift state (stateful encodings), leaving the converter at its initial state.
    for (;;) {
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno != E2BIG) break;
        const qsizetype used = outPtr - out.data();
        out.resize(out.size() * 2);
        outPtr = out.data() + used;
        outLeft = static_cast<size_t>(out.size() - used);
    }
    out.resize(outPtr - out.data());
    return out;
}

iconv_t openConverter(const QByteArray& charset) {
    const iconv_t cd = iconv_open((charset + "//TRANSLIT").constData(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Failure(QStringLiteral("cannot convert text to the character set %1: %2")
                          .arg(QString::fromLatin1(charset), errnoText(errno)));
    return cd;
}

}  // namespace

QByteArray encodeText(const QString& text, const QByteArray& charset) {
    if (isUtf8(charset)) return text.toUtf8();
    Iconv conv;
    conv.cd = openConverter(charset);
    return convertWith(conv.cd, text, charset);
}

struct TextFileWriter::State {
    QString path;
    QByteArray charset;
    Fd file;
    FileReplacement replacement;  // a list put in place when complete
    bool replacing = false;
    int writeError = 0;  // a replacement that lost lines is never put in place
    Iconv conv;          // unused for UTF-8

    int fd() const { return replacing ? replacement.fd() : file.fd; }

    TextFileError failure(int error) const {
        return TextFileError(QStringLiteral("cannot write \"%1\": %2").arg(path, errnoText(error)),
                             error, errnoText(error));
    }
    // A FIFO would hold the open (or the first write) until a reader came, and a device or a
    // socket is no text file.
    TextFileError notRegular(mode_t mode) const {
        const QString kind = S_ISFIFO(mode)   ? QStringLiteral("a named pipe")
                             : S_ISSOCK(mode) ? QStringLiteral("a socket")
                             : S_ISCHR(mode)  ? QStringLiteral("a character device")
                             : S_ISBLK(mode)  ? QStringLiteral("a block device")
                                              : QStringLiteral("a special file");
        const QString cause = QStringLiteral("not a regular file (%1)").arg(kind);
        return TextFileError(QStringLiteral("cannot write \"%1\": %2").arg(path, cause), EINVAL,
                             cause);
    }
    // No place in the character set for the text: the caller's argument is at fault.
    TextFileError charsetFailure(const Failure& f) const {
        return TextFileError(QStringLiteral("cannot write \"%1\": %2").arg(path, f.message()),
                             EINVAL, f.message());
    }
};

TextFileWriter::TextFileWriter() : d_(new State) {}

TextFileWriter::~TextFileWriter() {
    delete d_;
}

void TextFileWriter::open(const QString& path, const QByteArray& charset, Replace replace) {
    delete d_;
    d_ = new State;
    d_->path = path;
    d_->charset = charset.isEmpty() ? localeFileCharset() : normalizedCharset(charset);
    if (!isUtf8(d_->charset)) {
        try {
            d_->conv.cd = openConverter(d_->charset);
        } catch (const Failure& f) {
            throw d_->charsetFailure(f);
        }
    }
    ignoreFileSizeSignal();

    // Looked at before opening, so that nothing else is opened at all, and no link is followed
    // that the kernel's rule for shared folders would not follow.
    const FileTarget target = findFileTarget(path);
    if (target.kind == FileTarget::Kind::Refused)
        throw TextFileError(QStringLiteral("cannot write \"%1\": %2").arg(path, target.cause),
                            target.error, target.cause);
    if (target.kind == FileTarget::Kind::Stream && !target.append)
        throw d_->notRegular(target.existing.st_mode);
    if (replace == Replace::WhenComplete && target.kind != FileTarget::Kind::Stream) {
        d_->replacing = true;
        if (const int error = d_->replacement.open(target, 0666)) throw d_->failure(error);
        return;
    }

    const QByteArray name =
        QFile::encodeName(target.kind == FileTarget::Kind::Stream ? path : target.path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw d_->notRegular(st.st_mode);
    // O_NONBLOCK: a FIFO put there since the look fails at once (ENXIO) instead of waiting.
    do {
        d_->file.fd =
            ::open(name.constData(),
                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    } while (d_->file.fd < 0 && errno == EINTR);
    if (d_->file.fd < 0) {
        const int error = errno;
        if (error == ENXIO) throw d_->notRegular(S_IFIFO);
        throw d_->failure(error);
    }
    if (::fstat(d_->file.fd, &st) != 0) {
        const int error = errno;
        ::close(d_->file.fd);
        d_->file.fd = -1;
        throw d_->failure(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(d_->file.fd);
        d_->file.fd = -1;
        throw d_->notRegular(st.st_mode);
    }
}

void TextFileWriter::openIn(const CurrentDirectory& dir, const QString& name,
                            const QByteArray& charset, Replace replace) {
    if (!dir.known()) {
        delete d_;
        d_ = new State;
        d_->path = joinCurrentDirectory(dir, name);
        const QString cause = currentDirectoryCause(dir.error);
        throw TextFileError(QStringLiteral("cannot write \"%1\": %2").arg(d_->path, cause),
                            dir.error, cause);
    }
    open(joinCurrentDirectory(dir, name), charset, replace);
}

bool TextFileWriter::isOpen() const {
    return d_->fd() >= 0;
}

void TextFileWriter::appendLine(const QString& line) {
    if (!isOpen()) throw d_->failure(EBADF);
    QByteArray bytes;
    try {
        bytes = isUtf8(d_->charset) ? line.toUtf8() : convertWith(d_->conv.cd, line, d_->charset);
    } catch (const Failure& f) {
        throw d_->charsetFailure(f);
    }
    bytes += "\r\n";
    if (const int error = writeAll(d_->fd(), bytes)) {
        if (d_->replacing && !d_->writeError) d_->writeError = error;
        throw d_->failure(error);
    }
}

void TextFileWriter::close() {
    if (!isOpen()) return;
    if (d_->replacing) {
        const int error = d_->writeError ? d_->writeError : d_->replacement.commit();
        d_->replacement.discard();
        if (error) throw d_->failure(error);
        return;
    }
    const int fd = d_->file.fd;
    d_->file.fd = -1;
    if (::close(fd) != 0 && errno != EINTR) throw d_->failure(errno);
}

void TextFileWriter::discard() {
    if (d_->replacing) {
        d_->replacement.discard();
        return;
    }
    const int fd = d_->file.fd;
    d_->file.fd = -1;
    if (fd >= 0) ::close(fd);
}

void writeTextLines(const QString& path, const QStringList& lines, const QByteArray& charset) {
    TextFileWriter file;
    file.open(path, charset);
    for (const QString& line : lines) file.appendLine(line);
    file.close();
}

void writeTextLinesIn(const CurrentDirectory& dir, const QString& name, const QStringList& lines,
                      const QByteArray& charset) {
    TextFileWriter file;
    file.openIn(dir, name, charset);
    for (const QString& line : lines) file.appendLine(line);
    file.close();
}

CurrentDirectory::CurrentDirectory(const QString& folder) : path(folder), error(0) {
    if (path.isEmpty()) error = ENOENT;
}

CurrentDirectory::CurrentDirectory(const char* folder)
    : CurrentDirectory(QString::fromUtf8(folder)) {}

CurrentDirectory CurrentDirectory::unknown(int error) {
    CurrentDirectory dir;
    dir.error = error != 0 ? error : ENOENT;
    return dir;
}

CurrentDirectory currentDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size())) break;
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return CurrentDirectory::unknown(errno);
        buffer.resize(buffer.size() * 2);
    }
    // Older C libraries give "(unreachable)/..." for a folder outside the process's root.
    if (buffer[0] != '/') return CurrentDirectory::unknown(ENOENT);
    return CurrentDirectory(QFile::decodeName(buffer.data()));
}

QString joinCurrentDirectory(const CurrentDirectory& dir, const QString& name) {
    if (!dir.known()) return name;
    return dir.path + QLatin1Char('/') + name;
}

}  // namespace torvix
