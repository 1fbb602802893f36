// dhcpcd's binary leases (the server's DHCP message): never throw, give canonical numeric
// addresses only, and a lease valid now is valid at the moment it was written.

#include "lease_checks.h"

using namespace torvix::live::netfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray message = torvix::fuzz::bytes(data, size);
    const QDateTime written(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
    torvix::fuzz::noThrow([&] {
        const auto lease = dhcpcdLease(message, written, written.addSecs(3600));
        torvix::fuzz::checkLease(lease);
        if (lease) FUZZ_CHECK(dhcpcdLease(message, written, written).has_value(), QString());
        torvix::fuzz::checkLease(dhcpcdLease(message, written, written.addYears(200)));
    });
    return 0;
}
