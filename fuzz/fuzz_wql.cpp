// WQL parser: a query that parses prints and re-parses to the same query; quoting any text gives
// a literal that reads back unchanged; evaluation never throws but the documented error.

#include <cmath>

#include "fuzz_support.h"
#include "platform/wmi/error.h"
#include "platform/wmi/wql.h"

using namespace torvix;
using namespace torvix::wmi;

namespace {

QString literalText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null:
            return QStringLiteral("NULL");
        case Value::Kind::Boolean:
            return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case Value::Kind::Integer:
            return QString::number(v.toInteger());
        case Value::Kind::Double: {
            QString t = QString::number(v.toDouble(), 'g', 17);
            if (!t.contains(u'.') && !t.contains(u'e')) t += QStringLiteral(".0");
            return t;
        }
        case Value::Kind::Text:
            return wql::quote(v.toText());
        default:
            torvix::fuzz::fail("a literal of an unexpected kind");
    }
}

const char* opText(wql::Expr::Op op) {
    switch (op) {
        case wql::Expr::Op::Eq:
            return "=";
        case wql::Expr::Op::Ne:
            return "<>";
        case wql::Expr::Op::Lt:
            return "<";
        case wql::Expr::Op::Gt:
            return ">";
        case wql::Expr::Op::Le:
            return "<=";
        case wql::Expr::Op::Ge:
            return ">=";
    }
    return "?";
}

// With only the parentheses the grammar needs (AND binds tighter than OR, NOT tighter than AND),
// property first, so the printed form is canonical and nests no deeper than the text it came from.
QString printOr(const wql::Expr& e);

QString printPrimary(const wql::Expr& e) {
    switch (e.kind) {
        case wql::Expr::Kind::IsNull:
            return e.property + QStringLiteral(" IS NULL");
        case wql::Expr::Kind::IsNotNull:
            return e.property + QStringLiteral(" IS NOT NULL");
        case wql::Expr::Kind::Compare:
            return e.property + u' ' + QLatin1String(opText(e.op)) + u' ' + literalText(e.literal);
        default:
            return u'(' + printOr(e) + u')';
    }
}

QString printNot(const wql::Expr& e) {
    if (e.kind == wql::Expr::Kind::Not) return QStringLiteral("NOT ") + printNot(*e.left);
    return printPrimary(e);
}

QString printAnd(const wql::Expr& e) {
    if (e.kind == wql::Expr::Kind::And)
        return printAnd(*e.left) + QStringLiteral(" AND ") + printNot(*e.right);
    return printNot(e);
}

QString printOr(const wql::Expr& e) {
    if (e.kind == wql::Expr::Kind::Or)
        return printOr(*e.left) + QStringLiteral(" OR ") + printAnd(*e.right);
    return printAnd(e);
}

QString print(const wql::Query& q) {
    QString out = QStringLiteral("SELECT ") +
                  (q.selectAll ? QStringLiteral("*") : q.properties.join(QStringLiteral(", "))) +
                  QStringLiteral(" FROM ") + q.className;
    if (q.where) out += QStringLiteral(" WHERE ") + printOr(*q.where);
    return out;
}

int depth(const wql::Expr* e) {
    if (!e) return 0;
    return 1 + std::max(depth(e->left.get()), depth(e->right.get()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(torvix::fuzz::bytes(data, size));

    wql::Query query;
    const bool parsed = torvix::fuzz::allowing<Error>([&] { query = wql::parse(text); });

    // Any text survives quoting: the literal reads back exactly.
    wql::Query quoted;
    torvix::fuzz::allowing<std::nullptr_t>([&] {
        quoted = wql::parse(QStringLiteral("SELECT * FROM C WHERE P = ") + wql::quote(text));
    });
    FUZZ_CHECK(quoted.where && quoted.where->kind == wql::Expr::Kind::Compare &&
                   quoted.where->literal == Value(text),
               text);

    if (!parsed) return 0;
    FUZZ_CHECK(!query.className.isEmpty(), text);
    FUZZ_CHECK(depth(query.where.get()) < 10000, text);

    const QString printed = print(query);
    wql::Query again;
    torvix::fuzz::allowing<std::nullptr_t>([&] { again = wql::parse(printed); });
    FUZZ_CHECK(print(again) == printed, text + QStringLiteral("\n  printed: ") + printed +
                                            QStringLiteral("\n  reprinted: ") + print(again));
    FUZZ_CHECK(wql::mentionedProperties(again) == wql::mentionedProperties(query), printed);

    // Evaluation on an instance carrying every mentioned property, with a text, then a number.
    for (const Value& v : {Value(QStringLiteral("10")), Value(std::int64_t(10)), Value()}) {
        std::vector<Property> props;
        for (const QString& name : wql::mentionedProperties(query)) props.push_back({name, v});
        const Instance instance(query.className, props);
        if (!query.where) continue;
        bool first = false, second = false;
        const bool ok1 =
            torvix::fuzz::allowing<Error>([&] { first = wql::matches(*query.where, instance); });
        const bool ok2 =
            torvix::fuzz::allowing<Error>([&] { second = wql::matches(*again.where, instance); });
        FUZZ_CHECK(ok1 == ok2 && first == second, printed);
    }
    for (const QString& name : wql::mentionedProperties(query))
        torvix::fuzz::allowing<Error>([&] { (void)wql::requiredValue(query, name); });
    return 0;
}
