// The directory on libldap: the provider's SQL dialect becomes one paged LDAP search, and binding
// an object by path a base search of its entry.
#include <arpa/nameser.h>
#include <lber.h>
#include <ldap.h>
#include <netdb.h>
#include <pthread.h>
#include <resolv.h>
#include <sasl/sasl.h>
#include <signal.h>

#include <QByteArray>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/directory/directory.h"
#include "platform/directory/query.h"
#include "platform/failure.h"
#include "platform/lazy_library.h"
#include "platform/slow_wait.h"

namespace torvix::directory {

namespace {

using SteadyClock = std::chrono::steady_clock;

// liblber writes with write(2): a server that has gone away would raise SIGPIPE, whose default
// ends the program. Held back while libldap works; one raised meanwhile is taken and dropped.
class SigPipeGuard {
  public:
    SigPipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
        sigset_t pending;
        sigpending(&pending);
        pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigPipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!pendingBefore_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigPipeGuard(const SigPipeGuard&) = delete;
    SigPipeGuard& operator=(const SigPipeGuard&) = delete;

  private:
    sigset_t pipe_;
    sigset_t old_;
    bool pendingBefore_ = false;
};

// The time left of a bound on several steps.
class Deadline {
  public:
    explicit Deadline(int ms) : end_(SteadyClock::now() + std::chrono::milliseconds(ms)) {}
    int remainingMs() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end_ - SteadyClock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
    }
    // The smaller of `limitMs` and the time left, but never below 1 ms (0 would mean "no limit"
    // to some calls).
    int bound(int limitMs) const { return std::max(1, std::min(limitMs, remainingMs())); }

  private:
    SteadyClock::time_point end_;
};

timeval toTimeval(int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

QString ldapText(int rc) {
    return QString::fromUtf8(TORVIX_LAZY(Ldap, ldap_err2string)(rc));
}

// pwdLastSet counts 100-ns ticks since 1601-01-01 UTC.
constexpr qint64 unixEpochIn1601Seconds = 11644473600LL;

}  // namespace

namespace {

// A server named by a DNS SRV record.
struct SrvTarget {
    QString host;
    int port = 0;
    QString uri() const { return QStringLiteral("ldap://%1:%2").arg(host).arg(port); }
};

std::optional<SrvTarget> bestSrvTarget(const unsigned char* answer, int length) {
    ns_msg message;
    if (!answer || length <= 0 || ns_initparse(answer, length, &message) < 0) return std::nullopt;
    struct Target {
        int priority, weight, port;
        QString host;
    };
    std::vector<Target> targets;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) < 0) continue;
        if (ns_rr_type(record) != ns_t_srv || ns_rr_rdlen(record) < 7) continue;
        const unsigned char* data = ns_rr_rdata(record);
        char host[NS_MAXDNAME];
        if (ns_name_uncompress(ns_msg_base(message), ns_msg_end(message), data + 6, host,
                               sizeof host) < 0)
            continue;
        // "." says the service is not offered in the domain.
        if (host[0] == '\0' || std::strcmp(host, ".") == 0) continue;
        targets.push_back({static_cast<int>(ns_get16(data)), static_cast<int>(ns_get16(data + 2)),
                           static_cast<int>(ns_get16(data + 4)), QString::fromUtf8(host)});
    }
    if (targets.empty()) return std::nullopt;
    std::stable_sort(targets.begin(), targets.end(), [](const Target& a, const Target& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    return SrvTarget{targets.front().host, targets.front().port};
}

}  // namespace

QString bestSrvServer(const unsigned char* answer, int length) {
    const std::optional<SrvTarget> target = bestSrvTarget(answer, length);
    return target ? target->uri() : QString();
}

bool ldapConfigurationMayNameServer(const QStringList& environmentNames, const QStringList& files) {
    for (const QString& name : environmentNames)
        if (name.startsWith(QLatin1String("LDAP"))) return true;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.exists()) continue;
        // Unsure (unreadable, or more than is worth reading): let libldap decide.
        if (file.size() > (1 << 20) || !file.open(QIODevice::ReadOnly)) return true;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.size() > 1000) return true;  // libldap reads long lines in pieces
            const QByteArray keyword = line.simplified().split(' ').first().toLower();
            if (keyword == "uri" || keyword == "host" || keyword == "port") return true;
        }
    }
    return false;
}

QStringList ldapConfigurationFiles() {
    QStringList files{QStringLiteral("/etc/ldap/ldap.conf")};
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        files << home + QStringLiteral("/ldaprc") << home + QStringLiteral("/.ldaprc");
    files << QStringLiteral("ldaprc");
    return files;
}

namespace {

// The best-placed server of the DNS SRV record `name`. One try against one name server.
std::optional<SrvTarget> srvLookupNow(const QString& name) {
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (res_ninit(&state) != 0) return std::nullopt;
    state.retrans = 1;  // seconds: the resolver counts no finer; srvLookup cuts it shorter
    state.retry = 1;
    if (state.nscount > 1) state.nscount = 1;
    unsigned char answer[8192];
    const QByteArray query = name.toUtf8();
    const int length =
        res_nquery(&state, query.constData(), ns_c_in, ns_t_srv, answer, sizeof answer);
    res_nclose(&state);
    return bestSrvTarget(answer, length);
}

// The same within `timeoutMs`: a lookup still waiting then is left to end by itself.
std::optional<SrvTarget> srvLookup(const QString& name, int timeoutMs) {
    auto answer = std::make_shared<std::optional<SrvTarget>>();
    if (!runServingWithin([answer, name] { *answer = srvLookupNow(name); }, timeoutMs))
        return std::nullopt;
    return *answer;
}

// True when `host` resolves within `timeoutMs`. libldap resolves names without any bound of
// its own, so a silent name server would otherwise hold the window.
bool resolvesWithin(const QByteArray& host, int timeoutMs) {
    if (host.isEmpty()) return true;
    // The lookup runs in a thread of the resolver; when it cannot be cancelled it still uses
    // this block, which is then left to it.
    struct Request {
        QByteArray name;
        addrinfo hints{};
        gaicb request{};
    };
    auto* r = new Request;
    r->name = host;
    r->hints.ai_socktype = SOCK_STREAM;
    r->request.ar_name = r->name.constData();
    r->request.ar_request = &r->hints;
    gaicb* list[1] = {&r->request};
    if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
        delete r;
        return false;
    }
    const Deadline deadline(timeoutMs);
    int rc = EAI_INPROGRESS;
    while ((rc = gai_error(&r->request)) == EAI_INPROGRESS && deadline.remainingMs() > 0) {
        const int ms = deadline.remainingMs();
        const timespec wait{ms / 1000, (ms % 1000) * 1000000L};
        const gaicb* waiting[1] = {&r->request};
        gai_suspend(waiting, 1, &wait);
    }
    if (rc == EAI_INPROGRESS) {
        if (gai_cancel(&r->request) == EAI_CANCELED) delete r;
        return false;
    }
    if (r->request.ar_result) freeaddrinfo(r->request.ar_result);
    delete r;
    return rc == 0;
}

// The URIs of a list ("ldap://a ldap://b" or comma separated).
QStringList uriList(const QString& uris) {
    return uris.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
}

// The host of a URI; empty when it names none or cannot be read.
QByteArray hostOf(const QString& uri, int* port = nullptr, QByteArray* scheme = nullptr) {
    LDAPURLDesc* d = nullptr;
    if (TORVIX_LAZY(Ldap, ldap_url_parse)(uri.toUtf8().constData(), &d) != LDAP_URL_SUCCESS || !d)
        return QByteArray();
    const QByteArray host = d->lud_host ? QByteArray(d->lud_host) : QByteArray();
    if (port) *port = d->lud_port;
    if (scheme) *scheme = d->lud_scheme ? QByteArray(d->lud_scheme) : QByteArray();
    TORVIX_LAZY(Ldap, ldap_free_urldesc)(d);
    return host;
}

// The server libldap's own configuration names, or false when it names none (its built-in
// default, ldap://localhost, counts as none).
bool configuredServer(QString* uri) {
    // Reading libldap's configuration loads it with SASL and every SASL plugin (Kerberos, TLS,
    // crypto): milliseconds and megabytes that a computer without a directory does not need.
    if (!ldapConfigurationMayNameServer(QProcessEnvironment::systemEnvironment().keys(),
                                        ldapConfigurationFiles()))
        return false;
    char* text = nullptr;
    if (TORVIX_LAZY(Ldap, ldap_get_option)(nullptr, LDAP_OPT_URI, &text) != LDAP_OPT_SUCCESS ||
        !text)
        return false;
    const QString configured = QString::fromUtf8(text);
    TORVIX_LAZY(Ldap, ldap_memfree)(text);
    const QStringList list = uriList(configured);
    if (list.isEmpty()) return false;
    int port = 0;
    QByteArray scheme;
    const QByteArray host = hostOf(list.front(), &port, &scheme);
    if (list.size() == 1 && host == "localhost" && (port == 389 || port == 0) && scheme == "ldap")
        return false;
    *uri = configured;
    return true;
}

QByteArray firstHost(const QString& uris) {
    const QStringList list = uriList(uris);
    return list.isEmpty() ? QByteArray() : hostOf(list.front());
}

// GSSAPI asks nothing of the user; answer every prompt with its default.
int saslDefaults(LDAP*, unsigned, void*, void* prompts) {
    for (auto* p = static_cast<sasl_interact_t*>(prompts); p && p->id != SASL_CB_LIST_END; ++p) {
        const char* value = p->defresult ? p->defresult : "";
        p->result = value;
        p->len = static_cast<unsigned>(std::strlen(value));
    }
    return LDAP_SUCCESS;
}

// The server was not reached or did not answer in time: trying another way to bind would only
// wait again.
bool serverUnreachable(int rc) {
    return rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR ||
           rc == LDAP_UNAVAILABLE;
}

class LdapConnection : public Connection {
  public:
    explicit LdapConnection(LdapDirectoryOptions options) : options_(std::move(options)) {}
    ~LdapConnection() override {
        const SigPipeGuard guard;
        if (ld_) TORVIX_LAZY(Ldap, ldap_unbind_ext_s)(ld_, nullptr, nullptr);
    }
    LdapConnection(const LdapConnection&) = delete;
    LdapConnection& operator=(const LdapConnection&) = delete;

    // Each call waits on a thread of its own while the window goes on drawing; the waits inside
    // are bounded.
    std::vector<Row> execute(const QString& queryText, const CommandProperties& props) override {
        std::vector<Row> rows;
        runServing([&] { rows = executeNow(queryText, props); });
        return rows;
    }

    std::optional<QDateTime> passwordLastChanged(const QString& adsPath) override {
        std::optional<QDateTime> changed;
        runServing([&] { changed = passwordLastChangedNow(adsPath); });
        return changed;
    }

  private:
    std::vector<Row> executeNow(const QString& queryText, const CommandProperties& props) {
        const SigPipeGuard guard;
        const Query q = parseQuery(queryText);
        const QByteArray filter = ldapFilter(q).toUtf8();
        const QByteArray base = q.baseDn.toUtf8();
        int scope = LDAP_SCOPE_SUBTREE;
        if (props.searchScope == 0)
            scope = LDAP_SCOPE_BASE;
        else if (props.searchScope == 1)
            scope = LDAP_SCOPE_ONELEVEL;
        else if (props.searchScope != 2)
            throw Failure(QStringLiteral("Searchscope %1 is not 0, 1 or 2").arg(props.searchScope));
        if (props.pageSize < 0)
            throw Failure(QStringLiteral("Page Size %1 is negative").arg(props.pageSize));
        connect(q.baseDn);

        std::vector<Row> rows;
        char noAttributes[] = "1.1";
        char* attributes[] = {noAttributes, nullptr};
        berval cookie{0, nullptr};
        for (;;) {
            LDAPControl* page = nullptr;
            if (props.pageSize > 0) {
                const int rc = TORVIX_LAZY(Ldap, ldap_create_page_control)(
                    ld_, props.pageSize, cookie.bv_val ? &cookie : nullptr, 0, &page);
                if (rc != LDAP_SUCCESS) {
                    TORVIX_LAZY(Lber, ber_memfree)(cookie.bv_val);
                    throw Failure(QStringLiteral("paged search: %1").arg(ldapText(rc)));
                }
            }
            LDAPControl* controls[] = {page, nullptr};
            timeval timeout = toTimeval(WaitBudget::bound(options_.operationTimeoutMs));
            LDAPMessage* result = nullptr;
            const int rc = TORVIX_LAZY(Ldap, ldap_search_ext_s)(
                ld_, base.constData(), scope, filter.constData(), attributes, 1,
                page ? controls : nullptr, nullptr, &timeout, LDAP_NO_LIMIT, &result);
            if (page) TORVIX_LAZY(Ldap, ldap_control_free)(page);
            TORVIX_LAZY(Lber, ber_memfree)(cookie.bv_val);
            cookie = berval{0, nullptr};
            if (rc != LDAP_SUCCESS) {
                if (result) TORVIX_LAZY(Ldap, ldap_msgfree)(result);
                throw Failure(QStringLiteral("search of \"%1\" below \"%2\": %3")
                                  .arg(QString::fromUtf8(filter), q.baseDn, ldapText(rc)));
            }
            for (LDAPMessage* e = TORVIX_LAZY(Ldap, ldap_first_entry)(ld_, result); e;
                 e = TORVIX_LAZY(Ldap, ldap_next_entry)(ld_, e)) {
                char* dn = TORVIX_LAZY(Ldap, ldap_get_dn)(ld_, e);
                if (!dn) continue;
                rows.push_back({QStringLiteral("LDAP://") + QString::fromUtf8(dn)});
                TORVIX_LAZY(Ldap, ldap_memfree)(dn);
            }
            LDAPControl** returned = nullptr;
            int code = LDAP_SUCCESS;
            if (TORVIX_LAZY(Ldap, ldap_parse_result)(ld_, result, &code, nullptr, nullptr, nullptr,
                                                     &returned, 0) == LDAP_SUCCESS &&
                returned) {
                if (LDAPControl* response = TORVIX_LAZY(Ldap, ldap_control_find)(
                        LDAP_CONTROL_PAGEDRESULTS, returned, nullptr)) {
                    ber_int_t estimate = 0;
                    berval next{0, nullptr};
                    if (TORVIX_LAZY(Ldap, ldap_parse_pageresponse_control)(ld_, response, &estimate,
                                                                           &next) == LDAP_SUCCESS &&
                        next.bv_len > 0)
                        cookie = next;
                    else
                        TORVIX_LAZY(Lber, ber_memfree)(next.bv_val);
                }
                TORVIX_LAZY(Ldap, ldap_controls_free)(returned);
            }
            TORVIX_LAZY(Ldap, ldap_msgfree)(result);
            if (!page || cookie.bv_len == 0) break;
            if (rows.size() > maxRows) {
                TORVIX_LAZY(Lber, ber_memfree)(cookie.bv_val);
                throw Failure(QStringLiteral("the directory keeps sending pages"));
            }
        }
        return rows;
    }

    std::optional<QDateTime> passwordLastChangedNow(const QString& adsPath) {
        if (!adsPath.startsWith(QLatin1String("LDAP://")))
            throw Failure(QStringLiteral("\"%1\" is not a directory path").arg(adsPath));
        const SigPipeGuard guard;
        const QString dnText = adsPath.mid(7);
        connect(dnText);
        const QByteArray dn = dnText.toUtf8();
        char wanted[] = "pwdLastSet";
        char* attributes[] = {wanted, nullptr};
        char any[] = "(objectClass=*)";
        timeval timeout = toTimeval(WaitBudget::bound(options_.operationTimeoutMs));
        LDAPMessage* result = nullptr;
        const int rc = TORVIX_LAZY(Ldap, ldap_search_ext_s)(ld_, dn.constData(), LDAP_SCOPE_BASE,
                                                            any, attributes, 0, nullptr, nullptr,
                                                            &timeout, 1, &result);
        if (rc != LDAP_SUCCESS) {
            if (result) TORVIX_LAZY(Ldap, ldap_msgfree)(result);
            throw Failure(QStringLiteral("binding %1: %2").arg(adsPath, ldapText(rc)));
        }
        LDAPMessage* entry = TORVIX_LAZY(Ldap, ldap_first_entry)(ld_, result);
        if (!entry) {
            TORVIX_LAZY(Ldap, ldap_msgfree)(result);
            throw Failure(QStringLiteral("binding %1: no such object").arg(adsPath));
        }
        berval** values = TORVIX_LAZY(Ldap, ldap_get_values_len)(ld_, entry, wanted);
        QByteArray raw;
        const bool present = values && values[0];
        if (present) raw = QByteArray(values[0]->bv_val, static_cast<qsizetype>(values[0]->bv_len));
        TORVIX_LAZY(Ldap, ldap_value_free_len)(values);
        TORVIX_LAZY(Ldap, ldap_msgfree)(result);
        if (!present) return std::nullopt;
        bool ok = false;
        const qint64 ticks = raw.toLongLong(&ok);
        if (!ok || ticks < 0)
            throw Failure(QStringLiteral("pwdLastSet of %1 is not a time: \"%2\"")
                              .arg(adsPath, QString::fromLatin1(raw)));
        if (ticks == 0) return std::nullopt;  // must change at next logon: never set
        return QDateTime::fromSecsSinceEpoch(ticks / 10000000 - unixEpochIn1601Seconds);
    }

    static constexpr std::size_t maxRows = 10'000'000;

    // Locates the server, connects and binds, all within the connect budget.
    void connect(const QString& baseDn) {
        if (ld_) return;
        const Deadline deadline(WaitBudget::bound(options_.connectBudgetMs));
        QString uri = options_.uri;
        bool fromConfiguration = false;
        if (uri.isEmpty()) fromConfiguration = configuredServer(&uri);
        QByteArray host;
        if (uri.isEmpty()) {
            // Located here without libldap, which is loaded only once a server resolves.
            const QString domain = domainOfDn(baseDn);
            if (domain.isEmpty())
                throw Failure(QStringLiteral(
                    "no directory server is configured and the path names no domain"));
            const std::optional<SrvTarget> srv =
                srvLookup(QStringLiteral("_ldap._tcp.dc._msdcs.") + domain,
                          deadline.bound(options_.srvTimeoutMs));
            uri = srv ? srv->uri() : QStringLiteral("ldap://") + domain;
            host = (srv ? srv->host : domain).toUtf8();
        } else {
            host = firstHost(uri);
        }
        if (!resolvesWithin(host, deadline.bound(1000)))
            throw Failure(QStringLiteral("the directory server of %1 cannot be found").arg(uri));

        LDAP* ld = nullptr;
        // Without a URI of our own libldap applies its configuration (ldap.conf, LDAPURI, ...).
        const QByteArray uriBytes = uri.toUtf8();
        int rc = TORVIX_LAZY(Ldap, ldap_initialize)(
            &ld, fromConfiguration ? nullptr : uriBytes.constData());
        if (rc != LDAP_SUCCESS || !ld)
            throw Failure(QStringLiteral("directory server %1: %2").arg(uri, ldapText(rc)));
        ld_ = ld;
        const int version = LDAP_VERSION3;
        TORVIX_LAZY(Ldap, ldap_set_option)(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
        // Referrals lead to other servers, outside the bound of this one.
        TORVIX_LAZY(Ldap, ldap_set_option)(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        // No reverse lookups of the server's name for SASL. Any address but null means on
        // (LDAP_OPT_ON names a variable of liblber, which is loaded only at run time).
        static const int on = 1;
        TORVIX_LAZY(Ldap, ldap_set_option)(ld_, LDAP_OPT_X_SASL_NOCANON, &on);
        setTimeouts(deadline.bound(2000), deadline.bound(options_.operationTimeoutMs));

        rc = TORVIX_LAZY(Ldap, ldap_sasl_interactive_bind_s)(
            ld_, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, saslDefaults, nullptr);
        if (rc != LDAP_SUCCESS && !serverUnreachable(rc) && deadline.remainingMs() > 0) {
            // No Kerberos ticket (or no GSSAPI): an anonymous simple bind.
            setTimeouts(deadline.bound(2000), deadline.bound(options_.operationTimeoutMs));
            berval none{0, nullptr};
            rc = TORVIX_LAZY(Ldap, ldap_sasl_bind_s)(ld_, nullptr, LDAP_SASL_SIMPLE, &none, nullptr,
                                                     nullptr, nullptr);
        }
        if (rc != LDAP_SUCCESS) {
            TORVIX_LAZY(Ldap, ldap_unbind_ext_s)(ld_, nullptr, nullptr);
            ld_ = nullptr;
            throw Failure(QStringLiteral("directory server %1: %2").arg(uri, ldapText(rc)));
        }
        setTimeouts(options_.operationTimeoutMs, options_.operationTimeoutMs);
    }

    void setTimeouts(int connectMs, int operationMs) {
        const timeval network = toTimeval(connectMs);
        const timeval operation = toTimeval(operationMs);
        TORVIX_LAZY(Ldap, ldap_set_option)(ld_, LDAP_OPT_NETWORK_TIMEOUT, &network);
        TORVIX_LAZY(Ldap, ldap_set_option)(ld_, LDAP_OPT_TIMEOUT, &operation);
    }

    LdapDirectoryOptions options_;
    LDAP* ld_ = nullptr;
};

class LdapDirectory : public Directory {
  public:
    explicit LdapDirectory(LdapDirectoryOptions options) : options_(std::move(options)) {}

    std::unique_ptr<Connection> open(const QString& provider, const QString&) override {
        // Opening only names the provider; the server is found from each query's path.
        if (provider != providerName())
            throw Failure(QStringLiteral("unknown directory provider \"%1\"").arg(provider));
        return std::make_unique<LdapConnection>(options_);
    }

  private:
    LdapDirectoryOptions options_;
};

}  // namespace

std::shared_ptr<Directory> makeLdapDirectory(const LdapDirectoryOptions& options) {
    return std::make_shared<LdapDirectory>(options);
}

}  // namespace torvix::directory
