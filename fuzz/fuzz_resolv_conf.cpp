// resolv.conf and server entries: never throw; servers are canonical numeric addresses, each
// once, never the local resolver stub; reading an address again gives itself.

#include "lease_checks.h"

using namespace torvix::live::netfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = torvix::fuzz::bytes(data, size);
    torvix::fuzz::noThrow([&] {
        QStringList servers = resolvConfServers(text);
        torvix::fuzz::checkAddresses(servers, "nameserver");
        FUZZ_CHECK(!servers.contains(QStringLiteral("127.0.0.53")), servers.join(u' '));
        FUZZ_CHECK(servers.removeDuplicates() == 0, servers.join(u' '));

        const QString entry = QString::fromUtf8(text);
        const QString address = serverAddress(entry);
        FUZZ_CHECK(address.isEmpty() || torvix::fuzz::isCanonicalAddress(address), address);
        FUZZ_CHECK(serverAddress(address) == address, entry + QStringLiteral(" -> ") + address);
        // smb.conf's WINS servers and ifupdown's interfaces are read by the same kind of code.
        (void)sambaWinsServers(text);
        (void)ifupdownUsesDhcp(text, QStringLiteral("eth0"));
    });
    return 0;
}
