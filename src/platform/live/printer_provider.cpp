#include "platform/live/printer_provider.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcessEnvironment>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/lazy_library.h"
#include "platform/live/lazy_cursor.h"
#include "platform/slow_wait.h"

namespace torvix::live {

namespace {

// A reader left behind by its waiter still ends: libcups gives up a connection silent for this
// long. One plain timeout, with no callback: a short wait slice made libcups end a long answer
// now and then as if it were complete.
constexpr double abandonedReaderSeconds = 5.0;

// One destination as libcups gave it, copied out of its structures.
struct Destination {
    std::string name;
    std::optional<std::string> instance;
    bool isDefault = false;
    std::map<std::string, std::string> options;  // the few the class shows
};

// The files libcups takes its server from, in its own places: the default domain socket, the
// system's and the user's client.conf (HOME, else the account's home, as libcups looks).
QStringList cupsServerFiles() {
    QStringList files{QStringLiteral("/run/cups/cups.sock"),
                      QStringLiteral("/etc/cups/client.conf")};
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty()) files << home + QStringLiteral("/.cups/client.conf");
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        files << QString::fromLocal8Bit(found->pw_dir) + QStringLiteral("/.cups/client.conf");
    files.removeDuplicates();  // HOME is mostly the account's home
    return files;
}

int ippPortNumber() {
    struct servent entry {};
    struct servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r("ipp", "tcp", &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return 631;
}

bool printServerMayExist() {
    return printServerMayBeNamed(QProcessEnvironment::systemEnvironment().keys(),
                                 cupsServerFiles()) ||
           loopbackPortMayAnswer(ippPortNumber(), 100);
}

// What libcups says went wrong with its last request, if anything did.
std::optional<QString> cupsTrouble(const char* what) {
    const ipp_status_t status = TORVIX_LAZY(Cups, cupsLastError)();
    // "Not found" is how a server with no printers answers.
    if (status <= IPP_STATUS_OK_EVENTS_COMPLETE || status == IPP_STATUS_ERROR_NOT_FOUND)
        return std::nullopt;
    const char* text = TORVIX_LAZY(Cups, cupsLastErrorString)();
    return QStringLiteral("%1: %2").arg(
        QLatin1String(what),
        text && *text ? QString::fromLocal8Bit(text) : QStringLiteral("status %1").arg(status));
}

// Every destination of the print server, or a Failure saying why they cannot be known. No
// server at all is no destinations, as libcups finds too.
std::vector<Destination> readDestinations(int budgetMs) {
    if (!printServerMayExist()) return {};  // what libcups would find too, without loading it
    const char* server = TORVIX_LAZY(Cups, cupsServer)();  // a host name or a domain socket path
    if (!server || !*server) return {};
    const QString serverName = QString::fromLocal8Bit(server);

    // Our own connection, so that connecting has a bound: libcups's default one has none.
    http_t* http = TORVIX_LAZY(Cups, httpConnect2)(server, TORVIX_LAZY(Cups, ippPort)(), nullptr,
                                                   AF_UNSPEC, TORVIX_LAZY(Cups, cupsEncryption)(),
                                                   1, std::max(1, budgetMs), nullptr);
    if (!http) {
        const int error = errno;
        throw Failure(QStringLiteral("the print server %1 cannot be reached: %2")
                          .arg(serverName, QString::fromLocal8Bit(std::strerror(error))));
    }
    TORVIX_LAZY(Cups, httpSetTimeout)(http, abandonedReaderSeconds, nullptr, nullptr);

    cups_dest_t* dests = nullptr;
    const int count = TORVIX_LAZY(Cups, cupsGetDests2)(http, &dests);
    // A reply cut off or garbled leaves fewer destinations (mostly none) and says so only here.
    std::optional<QString> trouble = cupsTrouble("reading the printers");
    const int httpStatus = TORVIX_LAZY(Cups, httpError)(http);
    if (!trouble && httpStatus != 0)
        trouble = QStringLiteral("reading the printers: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(httpStatus)));
    std::vector<Destination> out;
    for (int i = 0; !trouble && i < count; ++i) {
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
    if (trouble) throw Failure(QStringLiteral("print server %1, %2").arg(serverName, *trouble));
    return out;
}

// Reads on a thread of its own and waits at most `budgetMs` (less when the open WaitBudget has
// less left), serving the window meanwhile: libcups has waits that no timeout governs (a name
// lookup, a fixed wait for "100 Continue"), and the window must not hang on a dead print server.
// A reader that overruns finishes on its own a little later; its answer is dropped. A fresh
// thread also makes libcups read CUPS_SERVER, client.conf and the user's lpoptions as they are
// now (it keeps them per thread).
std::vector<Destination> readDestinationsWithin(int budgetMs) {
    const int waitMs = WaitBudget::bound(budgetMs);
    struct Answer {
        std::vector<Destination> destinations;
        std::exception_ptr failure;
    };
    auto answer = std::make_shared<Answer>();
    const bool done = runServingWithin(
        [answer, waitMs] {
            try {
                answer->destinations = readDestinations(waitMs);
            } catch (...) {
                answer->failure = std::current_exception();
            }
        },
        waitMs);
    if (!done)
        throw Failure(QStringLiteral("the print server did not answer within %1 ms").arg(waitMs));
    if (answer->failure) std::rethrow_exception(answer->failure);
    return std::move(answer->destinations);
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

std::vector<wmi::Instance> printerInstances(const std::vector<Destination>& destinations) {
    std::vector<wmi::Instance> out;
    for (const Destination& dest : destinations) out.push_back(printerInstance(dest));
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

bool printServerMayBeNamed(const QStringList& environmentNames, const QStringList& files) {
    for (const QString& name : environmentNames)
        if (name.startsWith(QLatin1String("CUPS_")) || name == QLatin1String("IPP_PORT"))
            return true;
    for (const QString& path : files)
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) return true;
    return false;
}

bool loopbackPortMayAnswer(int port, int waitMs) {
    // "localhost" as libcups finds it: the resolver, else the two loopback addresses.
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    std::vector<sockaddr_storage> addresses;
    if (::getaddrinfo("localhost", service.constData(), &hints, &found) == 0) {
        for (addrinfo* a = found; a; a = a->ai_next) {
            sockaddr_storage s{};
            std::memcpy(&s, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof s));
            addresses.push_back(s);
        }
        ::freeaddrinfo(found);
    } else {
        sockaddr_in6 six{};
        six.sin6_family = AF_INET6;
        six.sin6_addr = in6addr_loopback;
        six.sin6_port = htons(static_cast<std::uint16_t>(port));
        sockaddr_in four{};
        four.sin_family = AF_INET;
        four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        four.sin_port = htons(static_cast<std::uint16_t>(port));
        addresses.resize(2);
        std::memcpy(&addresses[0], &six, sizeof six);
        std::memcpy(&addresses[1], &four, sizeof four);
    }
    for (const sockaddr_storage& address : addresses) {
        const socklen_t length =
            address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;  // no such family here: libcups cannot use it either
        int error = 0;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, waitMs) != 1) {
                    ::close(fd);
                    return true;  // no answer either way: unsure
                }
                socklen_t size = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            }
        }
        ::close(fd);
        // Refused, or no route to it at all: libcups fails there too. Anything else may be a
        // server.
        if (error == 0) return true;
        if (error != ECONNREFUSED && error != ENETUNREACH && error != EADDRNOTAVAIL &&
            error != EAFNOSUPPORT && error != EHOSTUNREACH)
            return true;
    }
    return false;
}

QStringList PrinterProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

// The answer of the print server under one WaitBudget scope: every query under that scope gets
// it, so that a mode or a start-up sequence waits for a silent server once.
struct PrinterProvider::Answer {
    std::mutex mutex;
    std::uint64_t scope = 0;  // 0: nothing kept
    std::vector<Destination> destinations;
    std::exception_ptr failure;
};

PrinterProvider::PrinterProvider(int budgetMs)
    : budgetMs_(budgetMs), answer_(std::make_shared<Answer>()) {}

std::unique_ptr<wmi::InstanceCursor> PrinterProvider::enumerate(const wmi::wql::Query&) const {
    return std::make_unique<LazyListCursor>([budget = budgetMs_, answer = answer_] {
        const std::uint64_t scope = WaitBudget::openScope();
        std::unique_lock lock(answer->mutex);
        if (scope == 0 || answer->scope != scope) {
            // Not locked while reading: the wait serves events, which might ask again.
            lock.unlock();
            std::vector<Destination> destinations;
            std::exception_ptr failure;
            try {
                destinations = readDestinationsWithin(budget);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            answer->scope = scope;
            answer->destinations = std::move(destinations);
            answer->failure = failure;
        }
        if (answer->failure) std::rethrow_exception(answer->failure);
        return printerInstances(answer->destinations);
    });
}

}  // namespace torvix::live
