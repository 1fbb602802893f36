#include "platform/wmi/service.h"

#include <QRegularExpression>
#include <vector>

#include "platform/outside_text.h"

namespace torvix::wmi {

void Registry::add(ProviderPtr provider) {
    providers_.insert(provider->className().toLower(), std::move(provider));
}

ProviderPtr Registry::find(QStringView className) const {
    return providers_.value(className.toString().toLower());
}

QStringList Registry::classNames() const {
    QStringList names;
    for (const ProviderPtr& p : providers_) names << p->className();
    names.sort(Qt::CaseInsensitive);
    return names;
}

// ---------------------------------------------------------------------------------------------

struct ObjectSet::State {
    std::unique_ptr<InstanceCursor> cursor;
    std::shared_ptr<const wql::Query> query;
    bool forwardOnly = false;
    bool exhausted = false;
    bool started = false;
    std::vector<Instance> cache;  // what was read so far (not for forward-only sets)
    std::size_t position = 0;     // walk position within the cache

    std::optional<Instance> pull() {
        while (!exhausted) {
            std::optional<Instance> raw = cursor->next();
            if (!raw) {
                exhausted = true;
                cursor.reset();
                break;
            }
            if (query->where && !wql::matches(*query->where, *raw)) continue;
            if (query->selectAll) return raw;
            std::vector<Property> picked;
            for (const Property& p : raw->properties()) {
                for (const QString& wanted : query->properties) {
                    if (p.name.compare(wanted, Qt::CaseInsensitive) == 0) {
                        picked.push_back(p);
                        break;
                    }
                }
            }
            return Instance(raw->className(), std::move(picked));
        }
        return std::nullopt;
    }
};

ObjectSet::ObjectSet(std::unique_ptr<InstanceCursor> cursor,
                     std::shared_ptr<const wql::Query> query, int flags)
    : d_(std::make_unique<State>()) {
    d_->cursor = std::move(cursor);
    d_->query = std::move(query);
    d_->forwardOnly = (flags & wbemFlagForwardOnly) != 0;
}
ObjectSet::ObjectSet(ObjectSet&&) noexcept = default;
ObjectSet& ObjectSet::operator=(ObjectSet&&) noexcept = default;
ObjectSet::~ObjectSet() = default;

std::optional<Instance> ObjectSet::next() {
    d_->started = true;
    if (d_->forwardOnly) return d_->pull();
    if (d_->position < d_->cache.size()) return d_->cache[d_->position++];
    std::optional<Instance> next = d_->pull();
    if (next) {
        d_->cache.push_back(*next);
        ++d_->position;
    }
    return next;
}

void ObjectSet::rewind() {
    if (d_->forwardOnly) {
        if (d_->started)
            throw Error(Error::Code::NotSupported,
                        QStringLiteral("a forward-only collection can be walked only once"));
        return;
    }
    d_->position = 0;
}

int ObjectSet::count() {
    if (d_->forwardOnly)
        throw Error(Error::Code::NotSupported,
                    QStringLiteral("Count is not supported on a forward-only collection"));
    // Read the rest into the cache, so later walks still see every instance.
    while (std::optional<Instance> more = d_->pull()) d_->cache.push_back(std::move(*more));
    return static_cast<int>(d_->cache.size());
}

// ---------------------------------------------------------------------------------------------

ObjectSet Services::ExecQuery(const QString& text, int flags) const {
    auto query = std::make_shared<wql::Query>(wql::parse(text));
    ProviderPtr provider = registry_->find(query->className);
    if (!provider)
        throw Error(Error::Code::InvalidClass,
                    QStringLiteral("invalid class: %1").arg(query->className));
    const QStringList schema = provider->propertyNames();
    if (!schema.isEmpty()) {
        for (const QString& name : wql::mentionedProperties(*query)) {
            if (!schema.contains(name, Qt::CaseInsensitive))
                throw Error(
                    Error::Code::InvalidProperty,
                    QStringLiteral("invalid property %1 of %2").arg(name, provider->className()));
        }
    }
    std::unique_ptr<InstanceCursor> cursor = provider->enumerate(*query);
    return ObjectSet(std::move(cursor), std::move(query), flags);
}

Services QueryService::ConnectServer() const {
    return connect(QStringLiteral("winmgmts:"));
}

Services QueryService::connect(const QString& moniker) const {
    auto fail = [&](const QString& why) {
        return Error(Error::Code::ConnectionFailed,
                     QStringLiteral("cannot connect to \"%1\": %2").arg(moniker, why));
    };
    // The text comes from a machine file: any length, any characters.
    if (registry_->connectionError()) throw fail(escapedForMessage(*registry_->connectionError()));

    // winmgmts:[{security settings}][!][\\server\namespace]
    static const QRegularExpression form(
        QStringLiteral(R"(^winmgmts:(\{[^{}]*\})?(!)?(?:(?:\\\\|//)([^\\/]+)[\\/](.+))?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(moniker.trimmed());
    if (!m.hasMatch()) throw fail(QStringLiteral("not a moniker this program understands"));
    const QString settings = m.captured(1);
    if (!settings.isEmpty()) {
        static const QRegularExpression allowed(
            QStringLiteral(
                R"(^\{\s*impersonationLevel\s*=\s*(impersonate|identify|delegate)\s*\}$)"),
            QRegularExpression::CaseInsensitiveOption);
        if (!allowed.match(settings).hasMatch())
            throw fail(QStringLiteral("unsupported security settings %1").arg(settings));
    }
    const QString server = m.captured(3);
    QString ns = m.captured(4);
    if (!server.isEmpty() && server != QLatin1String(".") &&
        server.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        throw fail(QStringLiteral("only the local computer can be reached"));
    ns.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!ns.isEmpty() && ns.compare(QLatin1String("root\\cimv2"), Qt::CaseInsensitive) != 0)
        throw fail(QStringLiteral("invalid namespace %1").arg(ns));
    return Services(registry_);
}

}  // namespace torvix::wmi
