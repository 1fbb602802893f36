#include "items/network/network_items.h"
#include "platform/directory/query.h"
#include "platform/text/date_time_text.h"
#include "platform/wmi/instance.h"

namespace torvix::items {

QString GetJoinDomainName(RoutineContext& ctx) {
    // Every step skips its failure; the last instance's Domain stands.
    QString result;
    try {
        wmi::ObjectSet systems = queryViaMoniker(
            ctx, QStringLiteral("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2"),
            QStringLiteral("Select * from Win32_ComputerSystem"));
        for (;;) {
            std::optional<wmi::Instance> system;
            try {
                system = systems.next();
            } catch (const std::exception&) {
                break;  // a broken walk cannot go on
            }
            if (!system) break;
            try {
                const wmi::Value& domain = system->property(QStringLiteral("Domain"));
                if (!domain.isNull()) result = domain.toText();
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    return result;
}

QString GetUserName(RoutineContext& ctx) {
    try {
        return ctx.system().networkUserName().toLower();
    } catch (const std::exception&) {
        return QString();
    }
}

void domain_c(const QString& domain, std::array<QString, 5>& components) {
    components.fill(QString());
    qsizetype at = 0;
    for (QString& component : components) {
        if (at >= domain.size()) break;
        qsizetype dot = domain.indexOf(u'.', at);
        if (dot < 0) dot = domain.size();
        component = domain.mid(at, dot - at);
        at = dot + 1;
    }
}

QString domainUserQueryText(const std::array<QString, 5>& components, const QString& userName) {
    // A quote inside a name is doubled, so that no name can end the literal and change what the
    // query asks.
    auto inner = [](const QString& value) {
        QString v = value;
        return v.replace(QLatin1String("'"), QLatin1String("''"));
    };
    QString query = QStringLiteral("SELECT ADSPath FROM 'LDAP://");
    if (!components[0].isEmpty()) query += QStringLiteral("dc=") + inner(components[0]);
    for (std::size_t k = 1; k < components.size(); ++k)
        if (!components[k].isEmpty())
            query += QStringLiteral(",") + QStringLiteral("dc=") + inner(components[k]);
    query += QStringLiteral("'");
    if (!userName.isEmpty())
        query += QStringLiteral(" WHERE objectCategory='user' and Name='") + inner(userName) +
                 QStringLiteral("'");
    return query;
}

void Command32_Click(RoutineContext& ctx) {
    const QString box = QStringLiteral("Text32");
    const QString notConnected = QStringLiteral("サーバ未接続");
    auto show = [&](const QString& text) {
        ctx.form().setText(box, text);
        ctx.form().setBackground(box, colors::filled);
    };

    // A connection that cannot be opened is a directory out of reach as well.
    ctx.step(QStringLiteral("open the directory connection"));
    std::unique_ptr<directory::Connection> connection;
    try {
        if (!ctx.machine().directory) throw Failure(QStringLiteral("no directory"));
        connection = ctx.machine().directory->open(directory::providerName(),
                                                   QStringLiteral("Active Directory Provider"));
    } catch (const std::exception&) {
        show(notConnected);
        return;
    }
    const directory::CommandProperties properties{10000, 2};

    std::array<QString, 5> components;
    const QString domain = GetJoinDomainName(ctx);
    const QString user = GetUserName(ctx);
    domain_c(domain, components);
    const QString query = domainUserQueryText(components, user);

    ctx.step(QStringLiteral("execute \"%1\"").arg(query));
    try {
        std::optional<QDateTime> changed;
        for (const directory::Row& row : connection->execute(query, properties)) {
            // A row without a date (never set) leaves the date as it was.
            if (std::optional<QDateTime> date = connection->passwordLastChanged(row.adsPath))
                changed = date;
        }
        show(changed ? generalDateTimeText(*changed, ctx.machine().locale)
                     : QStringLiteral("初回設定のみ"));
    } catch (const std::exception&) {
        show(notConnected);
    }
}

}  // namespace torvix::items
