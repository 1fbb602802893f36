#pragma once

#include <QString>
#include <QTimeZone>
#include <optional>

#include "platform/wmi/provider.h"
#include "platform/wmi/service.h"

namespace torvix::live {

// Where the login and start/shutdown history is read: the root folder and the time zone the
// times are shown in (unset: local time).
struct HistorySources {
    QString root = QStringLiteral("/");
    std::optional<QTimeZone> timeZone;
};

// Win32_NetworkLoginProfile: one instance per account with a login history or a person's
// account of this computer, NumberOfLogons counting its real logins (null where the history
// holds none).
wmi::ProviderPtr makeLoginProfileProvider(const HistorySources& sources);
// Win32_NTLogEvent: the System log's starts (6005) and clean shutdowns (6006), newest first.
wmi::ProviderPtr makeSystemEventProvider(const HistorySources& sources);

void registerHistoryProviders(wmi::Registry& registry, const HistorySources& sources);

}  // namespace torvix::live
