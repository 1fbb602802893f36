#include "platform/live/login_history.h"

#include <sqlite3.h>
#include <utmp.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#ifdef TORVIX_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#include <systemd/sd-messages.h>
#endif

#include "platform/lazy_library.h"
#include "platform/live/root_files.h"

namespace torvix::live {

namespace {

static_assert(sizeof(struct utmp) == 384, "wtmp files hold glibc's 384-byte records");
constexpr qint64 kUtmpSize = sizeof(struct utmp);
constexpr qint64 kChunkRecords = 256;

const QString kWtmpPath = QStringLiteral("/var/log/wtmp");
const QString kWtmpDbPath = QStringLiteral("/var/lib/wtmpdb/wtmp.db");

QString fixedText(const char* p, std::size_t size) {
    // A view of the measured length: fromUtf8(p, n) would keep a strlen branch that GCC flags
    // on these unterminated arrays.
    return QString::fromUtf8(QByteArrayView(p, static_cast<qsizetype>(strnlen(p, size))));
}

// A statement that was never made needs no SQLite, not even loaded, to be finished; and a
// destructor must not meet the failure of loading it.
void finalize(sqlite3_stmt* st) {
    if (st) TORVIX_LAZY(Sqlite, sqlite3_finalize)(st);
}

// wtmpdb's SQLite file, opened read-only. Anything that is not a readable wtmpdb file (missing,
// locked, garbage) counts as no file.
class WtmpDb {
  public:
    explicit WtmpDb(const QString& path) {
        if (!QFileInfo(path).isFile()) return;
        const QByteArray name = QFile::encodeName(path);
        if (TORVIX_LAZY(Sqlite, sqlite3_open_v2)(name.constData(), &db_, SQLITE_OPEN_READONLY,
                                                 nullptr) != SQLITE_OK) {
            close();
            return;
        }
        TORVIX_LAZY(Sqlite, sqlite3_busy_timeout)(db_, 1000);
        // Also proves that this is an SQLite file with wtmpdb's table.
        sqlite3_stmt* st = prepare("SELECT MIN(Login) FROM wtmp");
        if (!st) {
            close();
            return;
        }
        if (TORVIX_LAZY(Sqlite, sqlite3_step)(st) == SQLITE_ROW &&
            TORVIX_LAZY(Sqlite, sqlite3_column_type)(st, 0) != SQLITE_NULL)
            oldest_ = TORVIX_LAZY(Sqlite, sqlite3_column_int64)(st, 0);
        finalize(st);
    }
    ~WtmpDb() { close(); }
    WtmpDb(const WtmpDb&) = delete;
    WtmpDb& operator=(const WtmpDb&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    // The time of the oldest row: wtmp records before it are the older history.
    std::optional<qint64> oldest() const { return oldest_; }
    sqlite3_stmt* prepare(const char* sql) const {
        sqlite3_stmt* st = nullptr;
        if (!db_) return nullptr;
        if (TORVIX_LAZY(Sqlite, sqlite3_prepare_v2)(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
            finalize(st);
            return nullptr;
        }
        return st;
    }

  private:
    void close() {
        if (db_) TORVIX_LAZY(Sqlite, sqlite3_close)(db_);
        db_ = nullptr;
    }
    sqlite3* db_ = nullptr;
    std::optional<qint64> oldest_;
};

QString columnText(sqlite3_stmt* st, int column) {
    const auto* text =
        reinterpret_cast<const char*>(TORVIX_LAZY(Sqlite, sqlite3_column_text)(st, column));
    return text ? QString::fromUtf8(text, TORVIX_LAZY(Sqlite, sqlite3_column_bytes)(st, column))
                : QString();
}

std::optional<qint64> columnTime(sqlite3_stmt* st, int column) {
    if (TORVIX_LAZY(Sqlite, sqlite3_column_type)(st, column) != SQLITE_INTEGER) return std::nullopt;
    const qint64 v = TORVIX_LAZY(Sqlite, sqlite3_column_int64)(st, column);
    return v > 0 ? std::optional<qint64>(v) : std::nullopt;
}

// wtmp records older than the wtmpdb history (all of them when there is none).
bool beforeDb(const LoginRecord& r, const std::optional<qint64>& dbOldest) {
    return !dbOldest || r.microseconds < *dbOldest;
}

}  // namespace

std::optional<LoginRecord> decodeUtmpRecord(const char* record, bool texts) {
    struct utmp u;
    std::memcpy(&u, record, sizeof u);
    if (u.ut_type < EMPTY || u.ut_type > ACCOUNTING) return std::nullopt;
    const qint64 seconds = u.ut_tv.tv_sec;
    const qint64 micros = u.ut_tv.tv_usec;
    if (seconds < 0 || micros < 0 || micros > 999999) return std::nullopt;

    LoginRecord r;
    r.microseconds = seconds * 1000000 + micros;
    // As `last` reads them: "~" lines carry the system's own records, whatever their type.
    if (u.ut_line[0] == '~') {
        if (std::strncmp(u.ut_user, "shutdown", 8) == 0)
            r.kind = LoginRecord::Kind::Shutdown;
        else if (std::strncmp(u.ut_user, "reboot", 6) == 0)
            r.kind = LoginRecord::Kind::Boot;
    }
    if (r.kind == LoginRecord::Kind::Other && u.ut_type == BOOT_TIME)
        r.kind = LoginRecord::Kind::Boot;
    if (r.kind == LoginRecord::Kind::Other && u.ut_type == USER_PROCESS) {
        r.kind = LoginRecord::Kind::UserLogin;
    }
    if (texts && r.kind == LoginRecord::Kind::UserLogin) {
        r.user = fixedText(u.ut_user, sizeof u.ut_user);
        r.line = fixedText(u.ut_line, sizeof u.ut_line);
        r.host = fixedText(u.ut_host, sizeof u.ut_host);
    }
    // A start or stop without a time tells nothing.
    if (r.kind != LoginRecord::Kind::Other && seconds == 0) return std::nullopt;
    return r;
}

WtmpReader::WtmpReader(const QString& path, bool texts) : file_(path), texts_(texts) {
    if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly)) return;
    open_ = true;
    count_ = file_.size() / kUtmpSize;
    next_ = count_;
    chunkFirst_ = count_;
}

bool WtmpReader::fill() {
    const qint64 first = std::max<qint64>(0, next_ - kChunkRecords);
    const qint64 bytes = (next_ - first) * kUtmpSize;
    if (!file_.seek(first * kUtmpSize)) return false;
    chunk_ = file_.read(bytes);
    if (chunk_.size() != bytes) return false;  // cut short since it was opened
    chunkFirst_ = first;
    return true;
}

std::optional<LoginRecord> WtmpReader::previous(qint64* index) {
    while (next_ > 0) {
        if (next_ <= chunkFirst_ && !fill()) {
            next_ = 0;
            break;
        }
        --next_;
        const char* record = chunk_.constData() + (next_ - chunkFirst_) * kUtmpSize;
        if (std::optional<LoginRecord> r = decodeUtmpRecord(record, texts_)) {
            if (index) *index = next_;
            return r;
        }
    }
    return std::nullopt;
}

bool isRealLogin(const QString& line, const QString& host) {
    // Text consoles (virtual, serial, hypervisor), seats and X displays.
    static const QRegularExpression local(
        QStringLiteral("^(tty[A-Za-z]*[0-9]+|hvc[0-9]+|console|seat[0-9]+|:[0-9]+(\\.[0-9]+)?)$"));
    if (local.match(line).hasMatch()) return true;
    // Anything else (a pseudo-terminal, a service) needs a remote host: not an X display such
    // as ":0" or "host:10.0" (IPv6 addresses hold two colons or more), not a multiplexer's
    // "tmux(1234).%0".
    static const QRegularExpression display(QStringLiteral("^[^:]*:[0-9]+(\\.[0-9]+)?$"));
    return !host.trimmed().isEmpty() && !display.match(host).hasMatch() && !host.contains(u'(');
}

struct SystemEventWalk::State {
    enum class Stage { Start, Db, Wtmp, Journal, Done };
    QString root;
    Stage stage = Stage::Start;
    std::unique_ptr<WtmpDb> db;
    sqlite3_stmt* dbRows = nullptr;
    std::optional<qint64> dbOldest;
    std::unique_ptr<WtmpReader> wtmp;
    std::deque<SystemEvent> pending;
    bool produced = false;
    std::vector<JournalBoot> boots;
    std::size_t bootsLeft = 0;

    ~State() { finalize(dbRows); }

    void start() {
        // Starts and stops need no texts.
        wtmp = std::make_unique<WtmpReader>(underRoot(root, kWtmpPath), false);
        db = std::make_unique<WtmpDb>(underRoot(root, kWtmpDbPath));
        if (db->isOpen()) {
            dbOldest = db->oldest();
            dbRows = db->prepare(
                "SELECT ID, Login, Logout FROM wtmp WHERE User = 'reboot' AND Type <> 3 "
                "ORDER BY Login DESC, ID DESC");
        }
        stage = dbRows ? Stage::Db : Stage::Wtmp;
    }

    // One boot row gives its stop (newer) and then its start.
    bool readDbRow() {
        if (TORVIX_LAZY(Sqlite, sqlite3_step)(dbRows) != SQLITE_ROW) return false;
        // After every wtmp record, two numbers per row.
        const qint64 base =
            wtmp->recordCount() + 2 * TORVIX_LAZY(Sqlite, sqlite3_column_int64)(dbRows, 0);
        if (const auto logout = columnTime(dbRows, 2)) pending.push_back({6006, *logout, base});
        if (const auto login = columnTime(dbRows, 1)) pending.push_back({6005, *login, base - 1});
        return true;
    }

    std::optional<SystemEvent> readWtmp() {
        qint64 index = 0;
        while (std::optional<LoginRecord> r = wtmp->previous(&index)) {
            if (!beforeDb(*r, dbOldest)) continue;
            if (r->kind == LoginRecord::Kind::Boot)
                return SystemEvent{6005, r->microseconds, index + 1};
            if (r->kind == LoginRecord::Kind::Shutdown)
                return SystemEvent{6006, r->microseconds, index + 1};
        }
        return std::nullopt;
    }

    std::optional<SystemEvent> next() {
        for (;;) {
            if (!pending.empty()) {
                const SystemEvent e = pending.front();
                pending.pop_front();
                produced = true;
                return e;
            }
            switch (stage) {
                case Stage::Start:
                    start();
                    break;
                case Stage::Db:
                    if (!readDbRow()) {
                        finalize(dbRows);
                        dbRows = nullptr;
                        stage = Stage::Wtmp;
                    }
                    break;
                case Stage::Wtmp:
                    if (std::optional<SystemEvent> e = readWtmp()) {
                        produced = true;
                        return e;
                    }
                    wtmp.reset();
                    db.reset();
                    // The journal only stands in for a history that has no starts at all.
                    stage = produced ? Stage::Done : Stage::Journal;
                    if (!produced) {
                        boots = readJournalBoots(root);
                        bootsLeft = boots.size();
                    }
                    break;
                case Stage::Journal: {
                    if (bootsLeft == 0) {
                        stage = Stage::Done;
                        break;
                    }
                    --bootsLeft;
                    const JournalBoot& b = boots[bootsLeft];
                    const qint64 number = 2 * static_cast<qint64>(bootsLeft) + 1;
                    if (b.stop) pending.push_back({6006, *b.stop, number + 1});
                    pending.push_back({6005, b.start, number});
                    break;
                }
                case Stage::Done:
                    return std::nullopt;
            }
        }
    }
};

SystemEventWalk::SystemEventWalk(QString root) : s_(std::make_unique<State>()) {
    s_->root = std::move(root);
}

SystemEventWalk::~SystemEventWalk() = default;

std::optional<SystemEvent> SystemEventWalk::next() {
    return s_->next();
}

std::vector<LoginTally> tallyLogins(const QString& root) {
    // Counted as read, so that a long history costs memory per account, not per login.
    struct Tally {
        LoginTally tally;
        qint64 first = 0;  // position of the first login: wtmp records, then wtmpdb rows
    };
    std::map<QString, Tally> byUser;
    auto count = [&byUser](const QString& user, const QString& line, const QString& host,
                           qint64 microseconds, qint64 position) {
        if (user.isEmpty() || !isRealLogin(line, host)) return;
        auto [it, added] = byUser.try_emplace(user);
        Tally& t = it->second;
        if (added) {
            t.tally.user = user;
            t.first = position;
        }
        ++t.tally.count;
        t.tally.lastMicroseconds = std::max(t.tally.lastMicroseconds, microseconds);
        t.first = std::min(t.first, position);
    };

    WtmpDb db(underRoot(root, kWtmpDbPath));
    const std::optional<qint64> dbOldest = db.isOpen() ? db.oldest() : std::nullopt;
    WtmpReader wtmp(underRoot(root, kWtmpPath));
    qint64 index = 0;
    while (std::optional<LoginRecord> r = wtmp.previous(&index)) {
        if (r->kind == LoginRecord::Kind::UserLogin && beforeDb(*r, dbOldest))
            count(r->user, r->line, r->host, r->microseconds, index);
    }
    if (sqlite3_stmt* st = db.prepare("SELECT User, TTY, RemoteHost, Login FROM wtmp "
                                      "WHERE Type = 3 ORDER BY Login, ID")) {
        qint64 position = wtmp.recordCount();
        while (TORVIX_LAZY(Sqlite, sqlite3_step)(st) == SQLITE_ROW) {
            count(columnText(st, 0), columnText(st, 1), columnText(st, 2),
                  columnTime(st, 3).value_or(0), position++);
        }
        finalize(st);
    }

    std::vector<Tally> all;
    for (auto& [user, t] : byUser) all.push_back(std::move(t));
    std::sort(all.begin(), all.end(),
              [](const Tally& a, const Tally& b) { return a.first < b.first; });
    std::vector<LoginTally> out;
    for (Tally& t : all) out.push_back(std::move(t.tally));
    return out;
}

std::vector<JournalBoot> readJournalBoots(const QString& root) {
    std::vector<JournalBoot> boots;
#ifdef TORVIX_HAVE_SYSTEMD
    const QByteArray dir =
        QFile::encodeName(QFileInfo(underRoot(root, QStringLiteral("/"))).absoluteFilePath());
    sd_journal* j = nullptr;
    // Looks in var/log/journal and run/log/journal below the root.
    if (TORVIX_LAZY(Systemd, sd_journal_open_directory)(&j, dir.constData(), SD_JOURNAL_OS_ROOT) <
        0)
        return boots;
    std::unique_ptr<sd_journal, void (*)(sd_journal*)> guard(
        j, TORVIX_LAZY(Systemd, sd_journal_close));

    std::vector<QByteArray> ids;
    if (TORVIX_LAZY(Systemd, sd_journal_query_unique)(j, "_BOOT_ID") >= 0) {
        const void* data = nullptr;
        size_t length = 0;
        // SD_JOURNAL_FOREACH_UNIQUE, with the functions taken from the library loaded on first use
        for (TORVIX_LAZY(Systemd, sd_journal_restart_unique)(j);
             TORVIX_LAZY(Systemd, sd_journal_enumerate_available_unique)(j, &data, &length) > 0;) {
            ids.emplace_back(static_cast<const char*>(data), static_cast<qsizetype>(length));
        }
    }

    struct Entry {
        qint64 realtime = 0;
        quint64 monotonic = 0;
    };
    // The first or last entry of a boot, optionally with a message id.
    auto edge = [j](const QByteArray& boot, const char* messageId,
                    bool last) -> std::optional<Entry> {
        TORVIX_LAZY(Systemd, sd_journal_flush_matches)(j);
        if (TORVIX_LAZY(Systemd, sd_journal_add_match)(j, boot.constData(),
                                                       static_cast<size_t>(boot.size())) < 0)
            return std::nullopt;
        if (messageId && TORVIX_LAZY(Systemd, sd_journal_add_match)(j, messageId, 0) < 0)
            return std::nullopt;
        if ((last ? TORVIX_LAZY(Systemd, sd_journal_seek_tail)(j)
                  : TORVIX_LAZY(Systemd, sd_journal_seek_head)(j)) < 0)
            return std::nullopt;
        if ((last ? TORVIX_LAZY(Systemd, sd_journal_previous)(j)
                  : TORVIX_LAZY(Systemd, sd_journal_next)(j)) <= 0)
            return std::nullopt;
        uint64_t realtime = 0;
        uint64_t monotonic = 0;
        sd_id128_t bootId;
        if (TORVIX_LAZY(Systemd, sd_journal_get_realtime_usec)(j, &realtime) < 0 ||
            TORVIX_LAZY(Systemd, sd_journal_get_monotonic_usec)(j, &monotonic, &bootId) < 0)
            return std::nullopt;
        return Entry{static_cast<qint64>(realtime), monotonic};
    };

    for (const QByteArray& id : ids) {
        const std::optional<Entry> first = edge(id, nullptr, false);
        if (!first) continue;
        JournalBoot boot;
        boot.start = first->realtime;
        const std::optional<Entry> stop = edge(id, "MESSAGE_ID=" SD_MESSAGE_JOURNAL_STOP_STR, true);
        const std::optional<Entry> restart =
            edge(id, "MESSAGE_ID=" SD_MESSAGE_JOURNAL_START_STR, true);
        // Within one boot the monotonic clock orders entries even when the wall clock jumps.
        if (stop && (!restart || restart->monotonic < stop->monotonic)) boot.stop = stop->realtime;
        boots.push_back(boot);
    }
    std::stable_sort(boots.begin(), boots.end(),
                     [](const JournalBoot& a, const JournalBoot& b) { return a.start < b.start; });
#else
    Q_UNUSED(root);
#endif
    return boots;
}

}  // namespace torvix::live
