#include "platform/live/printer_provider.h"

#include <cups/cups.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/lazy_library.h"
#include "platform/live/lazy_cursor.h"
#include "platform/slow_wait.h"

namespace torvix::live {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// libcups waits in slices of this length and asks the callback whether to go on waiting.
constexpr double waitSliceSeconds = 0.1;

int keepWaiting(http_t*, void* data) {
    return std::chrono::steady_clock::now() < *static_cast<const Deadline*>(data) ? 1 : 0;
}

// One destination as libcups gave it, copied out of its structures.
struct Destination {
    std::string name;
    std::optional<std::string> instance;
    bool isDefault = false;
    std::map<std::string, std::string> options;  // the few the class shows
};

std::vector<Destination> readDestinations(int budgetMs) {
    Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    const char* server = TORVIX_LAZY(Cups, cupsServer)();  // a host name or a domain socket path
    if (!server || !*server) return {};

    // Our own connection with timeouts: libcups's default one waits without end for a silent
    // server.
    http_t* http = TORVIX_LAZY(Cups, httpConnect2)(server, TORVIX_LAZY(Cups, ippPort)(), nullptr,
                                                   AF_UNSPEC, TORVIX_LAZY(Cups, cupsEncryption)(),
                                                   1, std::max(1, budgetMs / 2), nullptr);
    if (!http) return {};
    TORVIX_LAZY(Cups, httpSetTimeout)(http, waitSliceSeconds, &keepWaiting, &deadline);

    cups_dest_t* dests = nullptr;
    const int count = TORVIX_LAZY(Cups, cupsGetDests2)(http, &dests);
    // An answer cut off by the timeout is no answer: libcups then returns no destinations.
    std::vector<Destination> out;
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& d = dests[i];
        Destination dest;
        dest.name = d.name ? d.name : "";
        if (d.instance) dest.instance = d.instance;
        dest.isDefault = d.is_default != 0;
        for (const char* option : {"device-uri", "printer-info", "printer-location",
                                   "printer-make-and-model", "printer-is-shared"})
            if (const char* value =
                    TORVIX_LAZY(Cups, cupsGetOption)(option, d.num_options, d.options))
                dest.options[option] = value;
        out.push_back(std::move(dest));
    }
    TORVIX_LAZY(Cups, cupsFreeDests)(count, dests);
    TORVIX_LAZY(Cups, httpClose)(http);
    return out;
}

// Reads on a thread of its own and waits at most `budgetMs` (less when the activation's
// WaitBudget has less left), serving the window meanwhile: libcups has waits that no timeout
// governs (a name lookup, a fixed wait for "100 Continue"), and the window must not hang on a
// dead print server. A reader that overruns finishes on its own a little later; its answer is
// dropped. A fresh thread also makes libcups read CUPS_SERVER, client.conf and the user's
// lpoptions as they are now (it keeps them per thread).
std::vector<Destination> readDestinationsWithin(int budgetMs) {
    const int waitMs = WaitBudget::bound(budgetMs);
    const int readerBudget = std::max(1, waitMs * 3 / 4);
    auto result = std::make_shared<std::vector<Destination>>();
    const bool done = runServingWithin(
        [result, readerBudget] {
            try {
                *result = readDestinations(readerBudget);
            } catch (const std::exception&) {
                result->clear();
            }
        },
        waitMs);
    if (!done) return {};
    return std::move(*result);
}

wmi::Value optionText(const Destination& dest, const char* name) {
    const auto it = dest.options.find(name);
    return it == dest.options.end() ? wmi::Value() : wmi::Value(QString::fromStdString(it->second));
}

wmi::Instance printerInstance(const Destination& dest) {
    QString name = QString::fromStdString(dest.name);
    if (dest.instance) name += QLatin1Char('/') + QString::fromStdString(*dest.instance);
    const wmi::Value uri = optionText(dest, "device-uri");
    const wmi::Value shared = optionText(dest, "printer-is-shared");

    QHash<QString, wmi::Value> v;
    v[QStringLiteral("Caption")] = name;
    v[QStringLiteral("Name")] = name;
    v[QStringLiteral("DeviceID")] = name;
    v[QStringLiteral("PortName")] =
        uri.isNull() ? uri : wmi::Value(withoutCredentials(uri.toText()));
    v[QStringLiteral("Default")] = dest.isDefault;
    v[QStringLiteral("Description")] = optionText(dest, "printer-info");
    v[QStringLiteral("Location")] = optionText(dest, "printer-location");
    v[QStringLiteral("DriverName")] = optionText(dest, "printer-make-and-model");
    v[QStringLiteral("Shared")] =
        shared.isNull() ? shared : wmi::Value(shared.toText() == QLatin1String("true"));
    return makeSchemaInstance(QStringLiteral("Win32_Printer"), std::move(v));
}

std::vector<wmi::Instance> readPrinters(int budgetMs) {
    std::vector<wmi::Instance> out;
    for (const Destination& dest : readDestinationsWithin(budgetMs))
        out.push_back(printerInstance(dest));
    return out;
}

}  // namespace

QString withoutCredentials(const QString& uri) {
    // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), then ":".
    const qsizetype colon = uri.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !uri.at(0).isLetter() || uri.at(0).unicode() > 0x7f) return uri;
    for (qsizetype i = 1; i < colon; ++i) {
        const char16_t c = uri.at(i).unicode();
        const bool ok = (c < 0x80 && std::isalnum(static_cast<unsigned char>(c))) || c == u'+' ||
                        c == u'-' || c == u'.';
        if (!ok) return uri;
    }
    if (uri.mid(colon + 1, 2) != QLatin1String("//")) return uri;  // no authority, no user
    const qsizetype authority = colon + 3;
    // The user information reaches to the last "@" before the path, as CUPS reads it (a
    // password holding an unencoded "?", "#" or "@" must not survive either).
    qsizetype end = uri.indexOf(QLatin1Char('/'), authority);
    if (end < 0) end = uri.size();
    const qsizetype at = uri.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at < authority) return uri;
    return uri.left(authority) + uri.mid(at + 1);
}

QStringList PrinterProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> PrinterProvider::enumerate(const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([budget = budgetMs_] { return readPrinters(budget); });
}

}  // namespace torvix::live
