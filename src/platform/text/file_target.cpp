#include "platform/text/file_target.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace torvix {

namespace {

constexpr long procFileSystem = 0x9fa0;  // PROC_SUPER_MAGIC
constexpr int maxLinks = 40;             // the kernel's own limit

FileTarget refused(int error, const QString& cause = {}) {
    FileTarget t;
    t.error = error;
    t.cause = cause.isEmpty() ? errnoText(error) : cause;
    return t;
}

// The rule of the kernel's protected_symlinks: in a sticky folder anyone may write to, only the
// follower's own links and the folder owner's are followed.
bool mayFollow(const struct stat& link, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

QList<QByteArray> componentsOf(const QByteArray& path) {
    QList<QByteArray> out;
    for (const QByteArray& part : path.split('/'))
        if (!part.isEmpty() && part != ".") out << part;
    return out;
}

FileTarget kindOf(const QByteArray& path, const struct stat& st, bool throughProc) {
    FileTarget t;
    t.path = QFile::decodeName(path);
    t.existing = st;
    if (S_ISREG(st.st_mode)) {
        // A file behind a descriptor link (/dev/stdout redirected to a file) is the caller's
        // open file: written to where it stands, never replaced.
        t.kind = throughProc ? FileTarget::Kind::Stream : FileTarget::Kind::Regular;
        t.append = throughProc;
        return t;
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        t.kind = FileTarget::Kind::Stream;
        return t;
    }
    if (S_ISDIR(st.st_mode)) return refused(EISDIR);
    return refused(EINVAL, S_ISSOCK(st.st_mode) ? QStringLiteral("not a regular file (a socket)")
                           : S_ISBLK(st.st_mode)
                               ? QStringLiteral("not a regular file (a block device)")
                               : QStringLiteral("not a regular file"));
}

}  // namespace

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FileTarget findFileTarget(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return refused(ENOENT);
    if (name.endsWith('/')) return refused(EISDIR);
    QList<QByteArray> pending = componentsOf(name);
    QByteArray done = name.startsWith('/') ? QByteArray() : QByteArray(".");
    int links = 0;
    while (!pending.isEmpty()) {
        const QByteArray part = pending.takeFirst();
        if (part == "..") {
            // `done` holds no link, so going up is a matter of its text.
            if (done == "." || done.endsWith("/.."))
                done += "/..";
            else if (!done.isEmpty())
                done.truncate(done.lastIndexOf('/'));
            continue;
        }
        const QByteArray next = done + '/' + part;
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0) {
            const int error = errno;
            if (error != ENOENT || !pending.isEmpty()) return refused(error);
            FileTarget t;
            t.kind = FileTarget::Kind::New;
            t.path = QFile::decodeName(next);
            return t;
        }
        if (!S_ISLNK(st.st_mode)) {
            if (!pending.isEmpty() && !S_ISDIR(st.st_mode)) return refused(ENOTDIR);
            if (pending.isEmpty()) return kindOf(next, st, false);
            done = next;
            continue;
        }
        if (++links > maxLinks) return refused(ELOOP);
        const QByteArray folderName = done.isEmpty() ? QByteArray("/") : done;
        struct stat folder {};
        if (::stat(folderName.constData(), &folder) != 0) return refused(errno);
        if (!mayFollow(st, folder)) {
            FileTarget t = refused(EACCES, QStringLiteral("not following the link \"%1\": it "
                                                          "belongs to another user, in a folder "
                                                          "anyone may write to")
                                               .arg(QFile::decodeName(next)));
            t.linkRefused = true;
            return t;
        }
        struct statfs fs {};
        if (::statfs(folderName.constData(), &fs) == 0 && fs.f_type == procFileSystem) {
            // Its text ("pipe:[1234]") names no file: the kernel alone follows it.
            QByteArray rest = next;
            for (const QByteArray& p : pending) rest += '/' + p;
            struct stat target {};
            if (::stat(rest.constData(), &target) != 0) return refused(errno);
            return kindOf(rest, target, true);
        }
        QByteArray text(PATH_MAX, '\0');
        const ssize_t n =
            ::readlink(next.constData(), text.data(), static_cast<size_t>(text.size()));
        if (n < 0) return refused(errno);
        text.truncate(n);
        pending = componentsOf(text) + pending;
        if (text.startsWith('/')) done.clear();
    }
    // Nothing left: the path names a folder ("/", "." or a link to one).
    return refused(EISDIR);
}

FileReplacement::~FileReplacement() {
    discard();
}

int FileReplacement::open(const FileTarget& target, mode_t newMode) {
    discard();
    final_ = QFile::encodeName(target.path);
    replacing_ = target.kind == FileTarget::Kind::Regular;
    old_ = target.existing;
    const qsizetype slash = final_.lastIndexOf('/');
    const QByteArray folder = final_.left(slash + 1);
    const QByteArray base = final_.mid(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Hidden, beside the target: the rename stays within one file system.
        temporary_ = folder + '.' + base + '.' +
                     QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd_ = ::open(temporary_.constData(),
                     O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY,
                     replacing_ ? 0600 : newMode);
        if (fd_ >= 0) return 0;
        if (errno != EEXIST && errno != EINTR) break;
    }
    const int error = errno;
    temporary_.clear();
    return error;
}

int FileReplacement::commit() {
    if (fd_ < 0) return EBADF;
    int error = 0;
    if (::fsync(fd_) != 0 && errno != EINVAL) error = errno;
    if (!error && replacing_) {
        // Who may read the file stays as it was; chown before chmod, which it would undo.
        if (::fchown(fd_, old_.st_uid, old_.st_gid) != 0)
            (void)!::fchown(fd_, static_cast<uid_t>(-1), old_.st_gid);
        if (::fchmod(fd_, old_.st_mode & 07777) != 0) error = errno;
    }
    if (::close(fd_) != 0 && !error && errno != EINTR) error = errno;
    fd_ = -1;
    if (!error && ::rename(temporary_.constData(), final_.constData()) != 0) error = errno;
    if (!error) temporary_.clear();
    discard();
    return error;
}

void FileReplacement::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
    temporary_.clear();
}

int writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= n;
    }
    return 0;
}

void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGXFSZ, SIG_IGN); });
}

}  // namespace torvix
