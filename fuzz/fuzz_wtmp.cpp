// wtmp: records decode one by one and through the backwards reader alike; the reader returns
// every whole record once, newest first; the start/shutdown walk and the login tally built on
// the file never throw but Failure, and tally only real logins.

#include "fuzz_support.h"
#include "platform/failure.h"
#include "platform/live/login_history.h"

using namespace torvix;
using namespace torvix::live;

namespace {

constexpr qsizetype recordSize = 384;

bool sameRecord(const std::optional<LoginRecord>& a, const std::optional<LoginRecord>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->kind == b->kind && a->user == b->user && a->line == b->line && a->host == b->host &&
           a->microseconds == b->microseconds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file = torvix::fuzz::bytes(data, size);
    torvix::fuzz::writeUnderRoot(QStringLiteral("/var/log/wtmp"), file);
    const QString root = torvix::fuzz::scratchRoot();

    torvix::fuzz::allowing<Failure>([&] {
        WtmpReader reader(root + QStringLiteral("/var/log/wtmp"));
        FUZZ_CHECK(reader.isOpen(), root);
        FUZZ_CHECK(reader.recordCount() == file.size() / recordSize, QString());
        qint64 expected = reader.recordCount() - 1;
        qint64 index = -1;
        while (std::optional<LoginRecord> r = reader.previous(&index)) {
            // Skipped records are those that decode to nothing.
            while (expected > index) {
                FUZZ_CHECK(!decodeUtmpRecord(file.constData() + expected * recordSize),
                           QStringLiteral("record %1 was skipped").arg(expected));
                --expected;
            }
            FUZZ_CHECK(index == expected,
                       QStringLiteral("index %1, expected %2").arg(index).arg(expected));
            FUZZ_CHECK(sameRecord(r, decodeUtmpRecord(file.constData() + index * recordSize)),
                       QStringLiteral("record %1").arg(index));
            --expected;
        }
        for (; expected >= 0; --expected)
            FUZZ_CHECK(!decodeUtmpRecord(file.constData() + expected * recordSize),
                       QStringLiteral("record %1 was never returned").arg(expected));
    });

    torvix::fuzz::allowing<Failure>([&] {
        SystemEventWalk walk(root);
        std::optional<qint64> last;
        int events = 0;
        while (std::optional<SystemEvent> e = walk.next()) {
            FUZZ_CHECK(e->code == 6005 || e->code == 6006, QString::number(e->code));
            if (last) FUZZ_CHECK(e->recordNumber != *last, QString::number(e->recordNumber));
            last = e->recordNumber;
            FUZZ_CHECK(++events <= file.size() / recordSize + 1, QString());
        }
    });
    torvix::fuzz::allowing<Failure>([&] {
        qint64 total = 0;
        for (const LoginTally& t : tallyLogins(root)) {
            FUZZ_CHECK(!t.user.isEmpty() && t.count >= 1, t.user);
            total += t.count;
        }
        FUZZ_CHECK(total <= file.size() / recordSize, QString());
    });
    return 0;
}
