#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace torvix::directory {

// A WHERE condition of the directory's SQL dialect.
struct Condition {
    enum class Kind { And, Or, Not, Compare };
    enum class Op { Equal, NotEqual, LessOrEqual, GreaterOrEqual };
    Kind kind = Kind::Compare;
    std::vector<Condition> operands;  // And, Or (two or more), Not (one)
    QString attribute;                // Compare: as written ("Name")
    Op op = Op::Equal;
    QString value;  // Compare: the literal's value, quotes removed
};

// A parsed query: SELECT columns FROM 'LDAP://base' [WHERE condition].
struct Query {
    QStringList columns;
    QString baseDn;  // empty for "LDAP://"
    bool hasWhere = false;
    Condition where;
};

// Parses the dialect; throws Failure naming what is wrong. Keywords ignore case; literals are
// quoted with ' and a quote inside is written twice. Only ADsPath can be selected.
Query parseQuery(const QString& text);

// Quotes a value for the dialect: 'it''s'.
QString quoteLiteral(const QString& value);

// The LDAP filter of a condition (RFC 4515), every value escaped so that no value can change
// the filter: objectCategory='user' and Name='x' -> (&(objectCategory=user)(name=x)).
QString ldapFilter(const Condition& condition);
// The filter of a query: its condition's, or (objectClass=*) without WHERE.
QString ldapFilter(const Query& query);
// RFC 4515 escaping of one assertion value: * ( ) \ NUL as \2a \28 \29 \5c \00.
QString escapeFilterValue(const QString& value);

// The DNS domain a distinguished name's dc= components spell ("dc=aa,dc=bb" -> "aa.bb"); empty
// when it has none.
QString domainOfDn(const QString& dn);

}  // namespace torvix::directory
