#include "platform/directory/query.h"

#include "platform/failure.h"

namespace torvix::directory {

namespace {

struct Token {
    enum class Kind { Word, Literal, Symbol, End };
    Kind kind = Kind::End;
    QString text;
    qsizetype at = 0;
};

class Parser {
  public:
    explicit Parser(const QString& text) : text_(text) { advance(); }

    Query query() {
        Query q;
        expectKeyword(u"SELECT");
        for (;;) {
            if (token_.kind != Token::Kind::Word) fail(QStringLiteral("a column name"));
            if (token_.text.compare(QLatin1String("ADsPath"), Qt::CaseInsensitive) != 0)
                throw Failure(
                    QStringLiteral("directory query: only ADsPath can be selected, not %1")
                        .arg(token_.text));
            q.columns << token_.text;
            advance();
            if (!isSymbol(u",")) break;
            advance();
        }
        expectKeyword(u"FROM");
        if (token_.kind != Token::Kind::Literal) fail(QStringLiteral("a quoted 'LDAP://...' path"));
        const QString path = token_.text;
        if (!path.startsWith(QLatin1String("LDAP://")))
            throw Failure(
                QStringLiteral("directory query: the path \"%1\" does not start with LDAP://")
                    .arg(path));
        q.baseDn = path.mid(7);
        const qsizetype slash = q.baseDn.indexOf(u'/');
        if (slash >= 0 && !q.baseDn.left(slash).contains(u'='))
            throw Failure(
                QStringLiteral("directory query: a server in the path (\"%1\") is not supported")
                    .arg(path));
        advance();
        if (isKeyword(u"WHERE")) {
            advance();
            q.hasWhere = true;
            q.where = orExpression();
        }
        if (token_.kind != Token::Kind::End) fail(QStringLiteral("the end of the query"));
        return q;
    }

  private:
    [[noreturn]] void fail(const QString& expected) const {
        const QString found = token_.kind == Token::Kind::End
                                  ? QStringLiteral("the end")
                                  : QStringLiteral("\"%1\"").arg(token_.text);
        throw Failure(QStringLiteral("directory query: expected %1 at character %2, found %3")
                          .arg(expected)
                          .arg(token_.at + 1)
                          .arg(found));
    }

    bool isKeyword(QStringView word) const {
        return token_.kind == Token::Kind::Word &&
               token_.text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(QStringView s) const {
        return token_.kind == Token::Kind::Symbol && token_.text == s;
    }
    void expectKeyword(QStringView word) {
        if (!isKeyword(word)) fail(word.toString());
        advance();
    }

    Condition orExpression() { return chain(Condition::Kind::Or, u"OR"); }
    Condition andExpression() { return chain(Condition::Kind::And, u"AND"); }

    Condition chain(Condition::Kind kind, QStringView keyword) {
        Condition first = kind == Condition::Kind::Or ? andExpression() : factor();
        if (!isKeyword(keyword)) return first;
        Condition all;
        all.kind = kind;
        all.operands.push_back(std::move(first));
        while (isKeyword(keyword)) {
            advance();
            all.operands.push_back(kind == Condition::Kind::Or ? andExpression() : factor());
        }
        return all;
    }

    Condition factor() {
        if (++depth_ > 64) throw Failure(QStringLiteral("directory query: nested too deeply"));
        Condition c;
        if (isKeyword(u"NOT")) {
            advance();
            c.kind = Condition::Kind::Not;
            c.operands.push_back(factor());
        } else if (isSymbol(u"(")) {
            advance();
            c = orExpression();
            if (!isSymbol(u")")) fail(QStringLiteral("\")\""));
            advance();
        } else {
            c = comparison();
        }
        --depth_;
        return c;
    }

    Condition comparison() {
        if (token_.kind != Token::Kind::Word || !isAttributeName(token_.text) ||
            isKeyword(u"AND") || isKeyword(u"OR") || isKeyword(u"NOT"))
            fail(QStringLiteral("an attribute name"));
        Condition c;
        c.kind = Condition::Kind::Compare;
        c.attribute = token_.text;
        advance();
        if (isSymbol(u"="))
            c.op = Condition::Op::Equal;
        else if (isSymbol(u"<>"))
            c.op = Condition::Op::NotEqual;
        else if (isSymbol(u"<="))
            c.op = Condition::Op::LessOrEqual;
        else if (isSymbol(u">="))
            c.op = Condition::Op::GreaterOrEqual;
        else
            fail(QStringLiteral("=, <>, <= or >="));
        advance();
        // A quoted literal, or a bare number.
        if (token_.kind == Token::Kind::Literal ||
            (token_.kind == Token::Kind::Word && token_.text.front().isDigit()))
            c.value = token_.text;
        else
            fail(QStringLiteral("a quoted value"));
        advance();
        return c;
    }

    // An LDAP attribute description: a name (letter, then letters, digits, hyphens) or an OID.
    static bool isAttributeName(const QString& s) {
        if (s.isEmpty()) return false;
        if (s.front().isDigit()) {
            for (QChar ch : s)
                if (!(ch.isDigit() || ch == u'.')) return false;
            return true;
        }
        for (QChar ch : s)
            if (!(ch.unicode() < 128 && (ch.isLetterOrNumber() || ch == u'-'))) return false;
        return true;
    }

    void advance() {
        while (pos_ < text_.size() && text_[pos_].isSpace()) ++pos_;
        token_ = Token();
        token_.at = pos_;
        if (pos_ >= text_.size()) return;
        const QChar ch = text_[pos_];
        if (ch == u'\'') {
            QString value;
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) {
                    token_.text = text_.mid(token_.at);
                    throw Failure(
                        QStringLiteral("directory query: the quote at character %1 is not closed")
                            .arg(token_.at + 1));
                }
                if (text_[pos_] == u'\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\'') {
                        value += u'\'';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                value += text_[pos_++];
            }
            token_.kind = Token::Kind::Literal;
            token_.text = value;
            return;
        }
        if (ch.isLetterOrNumber() || ch == u'_') {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && (text_[pos_].isLetterOrNumber() || text_[pos_] == u'_' ||
                                           text_[pos_] == u'-' || text_[pos_] == u'.'))
                ++pos_;
            token_.kind = Token::Kind::Word;
            token_.text = text_.mid(start, pos_ - start);
            return;
        }
        for (const char* two : {"<>", "<=", ">="}) {
            if (QStringView(text_).mid(pos_).startsWith(QLatin1String(two))) {
                token_.kind = Token::Kind::Symbol;
                token_.text = QLatin1String(two);
                pos_ += 2;
                return;
            }
        }
        if (ch == u'(' || ch == u')' || ch == u',' || ch == u'=') {
            token_.kind = Token::Kind::Symbol;
            token_.text = ch;
            ++pos_;
            return;
        }
        token_.kind = Token::Kind::Symbol;
        token_.text = ch;
        fail(QStringLiteral("a word, a quoted value or one of ( ) , = <> <= >="));
    }

    const QString& text_;
    qsizetype pos_ = 0;
    int depth_ = 0;
    Token token_;
};

// Directory attributes are named in lower camel case; the dialect lets "Name" stand for "name".
QString ldapAttribute(const QString& written) {
    if (written.isEmpty() || written.front().isDigit()) return written;
    return written.front().toLower() + written.mid(1);
}

}  // namespace

Query parseQuery(const QString& text) {
    return Parser(text).query();
}

QString quoteLiteral(const QString& value) {
    QString v = value;
    v.replace(QLatin1String("'"), QLatin1String("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

QString escapeFilterValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (QChar ch : value) {
        switch (ch.unicode()) {
            case '*':
                out += QLatin1String("\\2a");
                break;
            case '(':
                out += QLatin1String("\\28");
                break;
            case ')':
                out += QLatin1String("\\29");
                break;
            case '\\':
                out += QLatin1String("\\5c");
                break;
            case 0:
                out += QLatin1String("\\00");
                break;
            default:
                out += ch;
        }
    }
    return out;
}

QString ldapFilter(const Condition& c) {
    switch (c.kind) {
        case Condition::Kind::And:
        case Condition::Kind::Or: {
            QString out =
                c.kind == Condition::Kind::And ? QStringLiteral("(&") : QStringLiteral("(|");
            for (const Condition& o : c.operands) out += ldapFilter(o);
            return out + QLatin1Char(')');
        }
        case Condition::Kind::Not:
            return QStringLiteral("(!") + ldapFilter(c.operands.front()) + QLatin1Char(')');
        case Condition::Kind::Compare: {
            const QString item = ldapAttribute(c.attribute);
            const QString value = escapeFilterValue(c.value);
            switch (c.op) {
                case Condition::Op::Equal:
                    return QStringLiteral("(%1=%2)").arg(item, value);
                case Condition::Op::NotEqual:
                    return QStringLiteral("(!(%1=%2))").arg(item, value);
                case Condition::Op::LessOrEqual:
                    return QStringLiteral("(%1<=%2)").arg(item, value);
                case Condition::Op::GreaterOrEqual:
                    return QStringLiteral("(%1>=%2)").arg(item, value);
            }
        }
    }
    return QString();
}

QString ldapFilter(const Query& query) {
    return query.hasWhere ? ldapFilter(query.where) : QStringLiteral("(objectClass=*)");
}

QString domainOfDn(const QString& dn) {
    QStringList labels;
    for (const QString& rdn : dn.split(u',')) {
        const QString t = rdn.trimmed();
        if (t.startsWith(QLatin1String("dc="), Qt::CaseInsensitive) && t.size() > 3)
            labels << t.mid(3).trimmed();
    }
    return labels.join(u'.');
}

}  // namespace torvix::directory
