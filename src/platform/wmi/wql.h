#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "platform/wmi/instance.h"
#include "platform/wmi/value.h"

namespace torvix::wmi::wql {

// SELECT * | prop, ... FROM Class [WHERE expr]
// expr: AND, OR, NOT, parentheses, = <> != < > <= >=, IS [NOT] NULL; literals: strings in
// single or double quotes, numbers, TRUE, FALSE, NULL. Names are case-insensitive.
struct Expr {
    enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull };
    enum class Op { Eq, Ne, Lt, Gt, Le, Ge };
    Kind kind = Kind::Compare;
    Op op = Op::Eq;
    std::unique_ptr<Expr> left, right;  // And/Or: both; Not: left
    QString property;                   // Compare/IsNull: the property (as written)
    Value literal;                      // Compare: the constant
    bool literalOnLeft = false;         // "'x' = Address" is allowed; the operator is mirrored
};

struct Query {
    bool selectAll = true;
    QStringList properties;  // as written, when !selectAll
    QString className;       // as written
    std::unique_ptr<Expr> where;
};

// Throws Error(InvalidQuery) with a message naming the position and what was expected.
Query parse(const QString& text);

// WMI's comparison: case-insensitive texts, coercion of the literal to the property's kind
// ('True' on a boolean, '6005' on an integer). A null property makes every comparison false.
// A property the instance lacks counts as null.
bool matches(const Expr& expr, const Instance& instance);

// The value a conjunctive WHERE clause requires of `property` ("Address = 'x'"), if it does.
// Providers that make instances from the query (Win32_PingStatus) use it.
std::optional<Value> requiredValue(const Query& query, QStringView property);

// Every property name the query mentions (select list and WHERE), for validation.
QStringList mentionedProperties(const Query& query);

// Quotes a text as a WQL string literal so that no content can change the query's meaning.
QString quote(const QString& text);

}  // namespace torvix::wmi::wql
