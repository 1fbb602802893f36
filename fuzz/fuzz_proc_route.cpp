// /proc/net/route and /proc/net/ipv6_route: never throw; each default route names its interface,
// its family and a canonical gateway address of that family.

#include <sys/socket.h>

#include "lease_checks.h"

using namespace torvix::live::netfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = torvix::fuzz::bytes(data, size);
    torvix::fuzz::noThrow([&] {
        for (const RouteLine& r : procNetRoute(text)) {
            FUZZ_CHECK(r.family == AF_INET && !r.interfaceName.isEmpty(), r.gateway);
            FUZZ_CHECK(torvix::fuzz::isCanonicalAddress(r.gateway) && !r.gateway.contains(u':'),
                       r.gateway);
        }
        for (const RouteLine& r : procNetIpv6Route(text)) {
            FUZZ_CHECK(r.family == AF_INET6 && !r.interfaceName.isEmpty(), r.gateway);
            FUZZ_CHECK(torvix::fuzz::isCanonicalAddress(r.gateway) && r.gateway.contains(u':'),
                       r.gateway);
        }
    });
    return 0;
}
