#include "platform/directory/file_directory.h"

#include <QDateTime>

#include "platform/directory/query.h"
#include "platform/machine.h"
#include "platform/machinefile/json_reader.h"
#include "platform/outside_text.h"

namespace torvix::directory {

namespace {

using machinefile::JsonNode;

struct FileObject {
    QString adsPath;
    QString dn;
    std::optional<QString> objectCategory;
    std::optional<QString> name;
    std::optional<QDateTime> pwdLastSet;
};

using Objects = std::vector<FileObject>;

bool endsWithDn(const QString& dn, const QString& base) {
    if (base.isEmpty()) return true;
    if (dn.compare(base, Qt::CaseInsensitive) == 0) return true;
    return dn.endsWith(QLatin1Char(',') + base, Qt::CaseInsensitive);
}

std::optional<QString> attributeOf(const FileObject& o, const QString& attribute) {
    if (attribute.compare(QLatin1String("objectCategory"), Qt::CaseInsensitive) == 0)
        return o.objectCategory;
    if (attribute.compare(QLatin1String("name"), Qt::CaseInsensitive) == 0) return o.name;
    return std::nullopt;
}

// LDAP semantics: a comparison with an attribute the object lacks is false.
bool matches(const FileObject& o, const Condition& c) {
    switch (c.kind) {
        case Condition::Kind::And:
            for (const Condition& x : c.operands)
                if (!matches(o, x)) return false;
            return true;
        case Condition::Kind::Or:
            for (const Condition& x : c.operands)
                if (matches(o, x)) return true;
            return false;
        case Condition::Kind::Not:
            return !matches(o, c.operands.front());
        case Condition::Kind::Compare: {
            const std::optional<QString> v = attributeOf(o, c.attribute);
            if (!v) return false;
            const int order = v->compare(c.value, Qt::CaseInsensitive);
            switch (c.op) {
                case Condition::Op::Equal:
                    return order == 0;
                case Condition::Op::NotEqual:
                    return order != 0;
                case Condition::Op::LessOrEqual:
                    return order <= 0;
                case Condition::Op::GreaterOrEqual:
                    return order >= 0;
            }
        }
    }
    return false;
}

class FileConnection : public Connection {
  public:
    FileConnection(std::shared_ptr<const Objects> objects, std::optional<QString> error)
        : objects_(std::move(objects)), error_(std::move(error)) {}

    std::vector<Row> execute(const QString& queryText, const CommandProperties& props) override {
        const Query q = parseQuery(queryText);
        if (props.searchScope < 0 || props.searchScope > 2)
            throw Failure(QStringLiteral("Searchscope %1 is not 0, 1 or 2").arg(props.searchScope));
        if (error_) throw Failure(*error_);
        std::vector<Row> rows;
        for (const FileObject& o : *objects_) {
            if (!inScope(o.dn, q.baseDn, props.searchScope)) continue;
            if (q.hasWhere && !matches(o, q.where)) continue;
            rows.push_back({o.adsPath});
        }
        return rows;
    }

    std::optional<QDateTime> passwordLastChanged(const QString& adsPath) override {
        if (error_) throw Failure(*error_);
        for (const FileObject& o : *objects_)
            if (o.adsPath.compare(adsPath, Qt::CaseInsensitive) == 0) return o.pwdLastSet;
        throw Failure(QStringLiteral("the directory has no object %1").arg(adsPath));
    }

  private:
    static bool inScope(const QString& dn, const QString& base, int scope) {
        if (!endsWithDn(dn, base)) return false;
        if (scope == 0) return dn.compare(base, Qt::CaseInsensitive) == 0;
        if (scope == 1) {
            const qsizetype comma = dn.indexOf(u',');
            const QString parent = comma < 0 ? QString() : dn.mid(comma + 1);
            return parent.compare(base, Qt::CaseInsensitive) == 0;
        }
        return true;
    }

    std::shared_ptr<const Objects> objects_;
    std::optional<QString> error_;
};

class FileDirectory : public Directory {
  public:
    FileDirectory(std::shared_ptr<const Objects> objects, std::optional<QString> error)
        : objects_(std::move(objects)), error_(std::move(error)) {}

    std::unique_ptr<Connection> open(const QString& provider, const QString&) override {
        if (provider != providerName())
            throw Failure(QStringLiteral("unknown directory provider \"%1\"").arg(provider));
        return std::make_unique<FileConnection>(objects_, error_);
    }

  private:
    std::shared_ptr<const Objects> objects_;
    std::optional<QString> error_;
};

class Checker {
  public:
    explicit Checker(QString file) : file_(std::move(file)) {}
    [[noreturn]] void fail(const QString& path, const QString& what) const {
        throw MachineFileError(QStringLiteral("%1: %2: %3").arg(file_, path, what));
    }
    QString text(const JsonNode& n, const QString& path) const {
        if (n.type != JsonNode::Type::String) fail(path, QStringLiteral("expected a text"));
        return n.text;
    }
    void onlyMembers(const JsonNode& n, const QString& path, const QStringList& allowed) const {
        for (const QString& k : n.keys)
            if (!allowed.contains(k))
                fail(path + QLatin1Char('.') + escapedForMessage(k),
                     QStringLiteral("unknown member (known: %1)")
                         .arg(allowed.join(QStringLiteral(", "))));
    }

  private:
    QString file_;
};

FileObject readObject(const Checker& c, const JsonNode& n, const QString& path) {
    if (!n.isObject()) c.fail(path, QStringLiteral("expected an object"));
    c.onlyMembers(n, path, {"adsPath", "objectCategory", "name", "pwdLastSet"});
    FileObject o;
    const JsonNode* ads = n.member(QStringLiteral("adsPath"));
    if (!ads) c.fail(path + QStringLiteral(".adsPath"), QStringLiteral("missing"));
    o.adsPath = c.text(*ads, path + QStringLiteral(".adsPath"));
    if (!o.adsPath.startsWith(QLatin1String("LDAP://")) || o.adsPath.size() == 7)
        c.fail(path + QStringLiteral(".adsPath"),
               QStringLiteral("%1 is not a path like LDAP://CN=user1,DC=aa")
                   .arg(quotedForMessage(o.adsPath)));
    o.dn = o.adsPath.mid(7);
    if (const JsonNode* m = n.member(QStringLiteral("objectCategory")))
        o.objectCategory = c.text(*m, path + QStringLiteral(".objectCategory"));
    if (const JsonNode* m = n.member(QStringLiteral("name")))
        o.name = c.text(*m, path + QStringLiteral(".name"));
    if (const JsonNode* m = n.member(QStringLiteral("pwdLastSet"));
        m && m->type != JsonNode::Type::Null) {
        const QString where = path + QStringLiteral(".pwdLastSet");
        const QString t = c.text(*m, where);
        const QDateTime d = QDateTime::fromString(t, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        if (!d.isValid())
            c.fail(where, QStringLiteral("%1 is not a date and time like 2024-03-01T10:00:00, "
                                         "or null")
                              .arg(quotedForMessage(t)));
        o.pwdLastSet = d;
    }
    return o;
}

}  // namespace

std::shared_ptr<Directory> readFileDirectory(const JsonNode& member, const QString& fileName) {
    const Checker c(fileName);
    const QString base = QStringLiteral("directory");
    if (!member.isObject()) c.fail(base, QStringLiteral("expected an object"));
    if (const JsonNode* error = member.member(QStringLiteral("error"))) {
        if (member.keys.size() != 1)
            c.fail(base, QStringLiteral("{\"error\": TEXT} holds nothing else"));
        return std::make_shared<FileDirectory>(std::make_shared<const Objects>(),
                                               c.text(*error, base + QStringLiteral(".error")));
    }
    c.onlyMembers(member, base, {"objects", "error"});
    auto objects = std::make_shared<Objects>();
    if (const JsonNode* list = member.member(QStringLiteral("objects"))) {
        const QString path = base + QStringLiteral(".objects");
        if (list->type != JsonNode::Type::Array) c.fail(path, QStringLiteral("expected an array"));
        for (std::size_t k = 0; k < list->items.size(); ++k)
            objects->push_back(readObject(c, list->items[k], path + QStringLiteral("[%1]").arg(k)));
    }
    return std::make_shared<FileDirectory>(std::move(objects), std::nullopt);
}

}  // namespace torvix::directory
