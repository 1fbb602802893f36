#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <QString>

namespace torvix {

// What a save to a path meets there, and where it may write. Links are followed only as the
// kernel's protection of links in shared folders would let this process follow them: a link in
// a sticky folder anyone may write to (/tmp) is followed when it belongs to this process's user or
// to the folder's owner, never when someone else planted it there.
struct FileTarget {
    enum class Kind {
        Refused,  // `cause` and `error` say why
        New,      // nothing there: `path` is created
        Regular,  // a regular file: replaced at `path`, keeping `existing`'s owner and mode
        Stream,   // a character device, a FIFO, or a file behind /proc/.../fd: written to as it is
    };
    Kind kind = Kind::Refused;
    // The name to create, replace or open, with every link resolved (a link of /proc, whose text
    // names no file, is left for the kernel to follow).
    QString path;
    struct stat existing {};
    bool append = false;  // a stream that is a regular file: written at its end, never cut
    int error = 0;
    QString cause;
    bool linkRefused = false;  // refused for the rule on links alone
};

// Resolves `path`, component by component. A socket, a block device or a folder is refused, as
// is a link the rule above does not let this process follow, or a chain of more than 40 links.
FileTarget findFileTarget(const QString& path);

// A file written beside its target and renamed into place when complete: until commit(), what
// was there stays whole, and a run that stops leaves it as it was. A new file gets `newMode`
// (less the umask); a replaced file keeps its owner and mode. Errors are errno values.
class FileReplacement {
  public:
    FileReplacement() = default;
    ~FileReplacement();  // an uncommitted file is removed
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // `target` is New or Regular. Returns 0 or errno.
    int open(const FileTarget& target, mode_t newMode);
    int fd() const { return fd_; }
    // Flushes to the disk, gives the file its owner and mode and renames it over the target.
    int commit();
    void discard();

  private:
    QByteArray final_, temporary_;
    int fd_ = -1;
    bool replacing_ = false;
    struct stat old_ {};
};

// Writes all of `bytes`, taking up after interruptions and short writes. Returns 0 or errno.
int writeAll(int fd, const QByteArray& bytes);

// A file-size limit (ulimit -f) is then a write failing with EFBIG, told like any other, instead
// of a signal that ends the program without a word. Idempotent.
void ignoreFileSizeSignal();

// The C library's text of an errno value ("No space left on device").
QString errnoText(int error);

}  // namespace torvix
