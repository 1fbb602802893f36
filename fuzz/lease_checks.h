#pragma once

// What every lease reader promises: the addresses it gives are numeric and canonical.

#include "fuzz_support.h"
#include "platform/live/network_files.h"

namespace torvix::fuzz {

inline void checkAddresses(const QStringList& list, const char* what) {
    for (const QString& a : list) FUZZ_CHECK(isCanonicalAddress(a), QLatin1String(what) + u' ' + a);
}

inline void checkLease(const std::optional<live::netfiles::DhcpLease>& lease) {
    if (!lease) return;
    FUZZ_CHECK(lease->address.isEmpty() || isCanonicalAddress(lease->address), lease->address);
    FUZZ_CHECK(lease->server.isEmpty() || isCanonicalAddress(lease->server), lease->server);
    checkAddresses(lease->dnsServers, "DNS");
    checkAddresses(lease->winsServers, "WINS");
}

}  // namespace torvix::fuzz
