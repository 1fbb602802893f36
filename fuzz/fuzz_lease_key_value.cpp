// networkd's leases (KEY=VALUE and JSON), NetworkManager's internal ones and the per-link state
// files of networkd and resolved: never throw, and give canonical numeric addresses only.

#include "lease_checks.h"

using namespace torvix::live::netfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = torvix::fuzz::bytes(data, size);
    torvix::fuzz::noThrow([&] {
        torvix::fuzz::checkLease(keyValueLease(text));
        QStringList resolved = resolvedLinkServers(text);
        torvix::fuzz::checkAddresses(resolved, "SERVERS");
        FUZZ_CHECK(resolved.removeDuplicates() == 0, resolved.join(u' '));
        torvix::fuzz::checkAddresses(keyValueServers(text, QStringLiteral("DNS")), "DNS=");
    });
    return 0;
}
