// The directory's query text: only Failure escapes; a query that parses prints and re-parses to
// the same query; its LDAP filter is balanced whatever the values hold (no value can change it);
// quoting any text gives a value that reads back unchanged.

#include "fuzz_support.h"
#include "platform/directory/query.h"
#include "platform/failure.h"

using namespace torvix;
using namespace torvix::directory;

namespace {

const char* opText(Condition::Op op) {
    switch (op) {
        case Condition::Op::Equal:
            return "=";
        case Condition::Op::NotEqual:
            return "<>";
        case Condition::Op::LessOrEqual:
            return "<=";
        case Condition::Op::GreaterOrEqual:
            return ">=";
    }
    return "?";
}

// Only the parentheses the grammar needs, so the print nests no deeper than the text it came from.
QString printOr(const Condition& c);

QString printFactor(const Condition& c) {
    switch (c.kind) {
        case Condition::Kind::Not:
            FUZZ_CHECK(c.operands.size() == 1, QString());
            return QStringLiteral("NOT ") + printFactor(c.operands.front());
        case Condition::Kind::Compare:
            return c.attribute + u' ' + QLatin1String(opText(c.op)) + u' ' + quoteLiteral(c.value);
        default:
            return u'(' + printOr(c) + u')';
    }
}

QString printAnd(const Condition& c) {
    if (c.kind != Condition::Kind::And) return printFactor(c);
    FUZZ_CHECK(c.operands.size() >= 2, QString());
    QStringList parts;
    for (const Condition& o : c.operands) parts << printFactor(o);
    return parts.join(QStringLiteral(" AND "));
}

QString printOr(const Condition& c) {
    if (c.kind != Condition::Kind::Or) return printAnd(c);
    FUZZ_CHECK(c.operands.size() >= 2, QString());
    QStringList parts;
    for (const Condition& o : c.operands) parts << printAnd(o);
    return parts.join(QStringLiteral(" OR "));
}

QString print(const Query& q) {
    QString out = QStringLiteral("SELECT ") + q.columns.join(QStringLiteral(", ")) +
                  QStringLiteral(" FROM ") + quoteLiteral(QStringLiteral("LDAP://") + q.baseDn);
    if (q.hasWhere) out += QStringLiteral(" WHERE ") + printOr(q.where);
    return out;
}

// Parentheses pair up and every group opens with an operator or an attribute.
bool balanced(const QString& filter) {
    int depth = 0;
    for (qsizetype i = 0; i < filter.size(); ++i) {
        if (filter[i] == u'(') {
            ++depth;
            if (i + 1 >= filter.size() || filter[i + 1] == u')' || filter[i + 1] == u'(')
                return false;
        } else if (filter[i] == u')') {
            if (--depth < 0) return false;
        } else if (depth == 0) {
            return false;
        }
    }
    return depth == 0 && filter.startsWith(u'(');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(torvix::fuzz::bytes(data, size));

    Query quoted;
    torvix::fuzz::allowing<std::nullptr_t>([&] {
        quoted = parseQuery(QStringLiteral("SELECT ADsPath FROM 'LDAP://' WHERE name = ") +
                            quoteLiteral(text));
    });
    FUZZ_CHECK(quoted.where.kind == Condition::Kind::Compare && quoted.where.value == text, text);
    FUZZ_CHECK(balanced(ldapFilter(quoted)), ldapFilter(quoted));

    Query query;
    if (!torvix::fuzz::allowing<Failure>([&] { query = parseQuery(text); })) return 0;
    const QString filter = ldapFilter(query);
    FUZZ_CHECK(balanced(filter), text + QStringLiteral("\n  filter: ") + filter);
    (void)domainOfDn(query.baseDn);

    const QString printed = print(query);
    Query again;
    torvix::fuzz::allowing<std::nullptr_t>([&] { again = parseQuery(printed); });
    FUZZ_CHECK(print(again) == printed && again.columns == query.columns &&
                   again.baseDn == query.baseDn && ldapFilter(again) == filter,
               text + QStringLiteral("\n  printed: ") + printed +
                   QStringLiteral("\n  reprinted: ") + print(again));
    return 0;
}
