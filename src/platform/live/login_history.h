#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace torvix::live {

// One entry of a login history (wtmp record, wtmpdb row), time in µs since the epoch (UTC).
// The texts are filled for user logins only, and only when asked for.
struct LoginRecord {
    enum class Kind { Boot, Shutdown, UserLogin, Other };
    Kind kind = Kind::Other;
    QString user;
    QString line;
    QString host;
    qint64 microseconds = 0;
};

// A glibc utmp file (wtmp) read from its end backwards, one record at a time, so that the newest
// records cost nothing up front. Records no system writes (unknown type, impossible time) are
// skipped; a partial record at the end of the file is ignored.
class WtmpReader {
  public:
    explicit WtmpReader(const QString& path, bool texts = true);
    bool isOpen() const { return open_; }
    // Whole records in the file when it was opened.
    qint64 recordCount() const { return count_; }
    // The record before the one returned last (the file's last record first); `index` receives
    // its position in the file (0 = first record). nullopt at the start of the file.
    std::optional<LoginRecord> previous(qint64* index = nullptr);

  private:
    bool fill();

    QFile file_;
    bool texts_ = true;
    bool open_ = false;
    qint64 count_ = 0;
    qint64 next_ = 0;  // records before this index are still to be returned
    QByteArray chunk_;
    qint64 chunkFirst_ = 0;  // index of the chunk's first record
};

// Decodes one 384-byte glibc utmp record; nullopt for a record that cannot be real.
std::optional<LoginRecord> decodeUtmpRecord(const char* record, bool texts = true);

// A login by a person: a text console, a graphical seat or display, or a remote login with its
// host. Terminal emulators (pseudo-terminals without a remote host, or with the local display
// or a terminal multiplexer as their "host") are no logins of their own.
bool isRealLogin(const QString& line, const QString& host);

// One event of the system's start and shutdown history.
struct SystemEvent {
    int code = 0;  // 6005 start, 6006 clean shutdown
    qint64 microseconds = 0;
    qint64 recordNumber = 0;  // grows with time, unique within one walk
};

// Starts and clean shutdowns, newest first, from the root's login history: wtmpdb
// (var/lib/wtmpdb/wtmp.db), then the older wtmp records before it (var/log/wtmp); when neither
// holds any, the systemd journal (var/log/journal, run/log/journal). Sources are read as the
// walk goes.
class SystemEventWalk {
  public:
    explicit SystemEventWalk(QString root);
    ~SystemEventWalk();
    SystemEventWalk(const SystemEventWalk&) = delete;
    SystemEventWalk& operator=(const SystemEventWalk&) = delete;
    std::optional<SystemEvent> next();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Real logins of one account, from the same history as above.
struct LoginTally {
    QString user;
    qint64 count = 0;
    qint64 lastMicroseconds = 0;
};
// Accounts in the order of their first login in the history.
std::vector<LoginTally> tallyLogins(const QString& root);

// Starts and clean stops of each boot in the systemd journal under the root, oldest first: a
// boot starts with its first entry and stopped cleanly when the journal's own stop message is
// the last word of its journal (no journal start follows it, as after a restart of the journal
// service).
struct JournalBoot {
    qint64 start = 0;
    std::optional<qint64> stop;
};
std::vector<JournalBoot> readJournalBoots(const QString& root);

}  // namespace torvix::live
