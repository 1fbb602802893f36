// dhclient's lease files: never throw, give canonical numeric addresses only, and never a lease
// that has expired.

#include "lease_checks.h"

using namespace torvix::live::netfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool fileNamesInterface = data[0] & 1;
    const QByteArray text = torvix::fuzz::bytes(data + 1, size - 1);
    const QDateTime now(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
    torvix::fuzz::noThrow([&] {
        const auto lease = dhclientLease(text, QStringLiteral("eth0"), fileNamesInterface, now);
        torvix::fuzz::checkLease(lease);
        // A lease still valid at `now` was also valid a moment earlier.
        if (lease)
            FUZZ_CHECK(
                dhclientLease(text, QStringLiteral("eth0"), fileNamesInterface, now.addSecs(-1))
                    .has_value(),
                QString::fromUtf8(text));
    });
    return 0;
}
