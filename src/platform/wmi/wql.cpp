#include "platform/wmi/wql.h"

#include <cmath>
#include <limits>

#include "platform/wmi/error.h"

namespace torvix::wmi::wql {

namespace {

// Deeper nesting than this is no real query; the limit keeps the recursive parser off the
// bottom of the stack whatever the input.
constexpr int maxDepth = 100;
constexpr int maxNodes = 2000;

struct Token {
    enum class Type { End, Ident, String, Number, Star, Comma, LParen, RParen, Op };
    Type type = Type::End;
    QString text;  // identifier or operator as written; string contents unescaped
    Value number;
    qsizetype pos = 0;  // 0-based character index
};

class Lexer {
  public:
    explicit Lexer(const QString& text) : s_(text) {}

    Token next() {
        while (i_ < s_.size() && s_[i_].isSpace()) ++i_;
        Token t;
        t.pos = i_;
        if (i_ >= s_.size()) return t;
        const QChar c = s_[i_];
        if (c.isLetter() || c == QLatin1Char('_')) {
            if (c.unicode() >= 0x80) fail(i_, QStringLiteral("a name"), QString(c));
            qsizetype j = i_;
            while (j < s_.size() && s_[j].unicode() < 0x80 &&
                   (s_[j].isLetterOrNumber() || s_[j] == QLatin1Char('_')))
                ++j;
            t.type = Token::Type::Ident;
            t.text = s_.mid(i_, j - i_);
            i_ = j;
            return t;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) return readString(t);
        if (c.isDigit() ||
            ((c == QLatin1Char('-') || c == QLatin1Char('+') || c == QLatin1Char('.')) &&
             i_ + 1 < s_.size() &&
             (s_[i_ + 1].isDigit() ||
              (s_[i_ + 1] == QLatin1Char('.') && i_ + 2 < s_.size() && s_[i_ + 2].isDigit()))))
            return readNumber(t);
        ++i_;
        switch (c.unicode()) {
            case '*':
                t.type = Token::Type::Star;
                return t;
            case ',':
                t.type = Token::Type::Comma;
                return t;
            case '(':
                t.type = Token::Type::LParen;
                return t;
            case ')':
                t.type = Token::Type::RParen;
                return t;
            case '=':
                t.type = Token::Type::Op;
                t.text = QStringLiteral("=");
                return t;
            case '<':
                t.type = Token::Type::Op;
                if (i_ < s_.size() && (s_[i_] == QLatin1Char('=') || s_[i_] == QLatin1Char('>'))) {
                    t.text = QStringLiteral("<") + s_[i_];
                    ++i_;
                } else {
                    t.text = QStringLiteral("<");
                }
                return t;
            case '>':
                t.type = Token::Type::Op;
                if (i_ < s_.size() && s_[i_] == QLatin1Char('=')) {
                    t.text = QStringLiteral(">=");
                    ++i_;
                } else {
                    t.text = QStringLiteral(">");
                }
                return t;
            case '!':
                if (i_ < s_.size() && s_[i_] == QLatin1Char('=')) {
                    ++i_;
                    t.type = Token::Type::Op;
                    t.text = QStringLiteral("!=");
                    return t;
                }
                break;
            default:
                break;
        }
        fail(t.pos, QStringLiteral("a name, a value or an operator"),
             QStringLiteral("\"%1\"").arg(c));
    }

    [[noreturn]] static void fail(qsizetype pos, const QString& expected, const QString& found) {
        throw Error(Error::Code::InvalidQuery,
                    QStringLiteral("invalid query at position %1: expected %2, found %3")
                        .arg(pos + 1)
                        .arg(expected, found));
    }

  private:
    Token readString(Token& t) {
        const QChar quoteChar = s_[i_];
        QString out;
        qsizetype j = i_ + 1;
        for (;;) {
            if (j >= s_.size())
                fail(t.pos, QStringLiteral("a closing %1 for the text").arg(quoteChar),
                     QStringLiteral("the end of the query"));
            const QChar c = s_[j];
            if (c == QLatin1Char('\\')) {
                if (j + 1 >= s_.size())
                    fail(t.pos, QStringLiteral("a closing %1 for the text").arg(quoteChar),
                         QStringLiteral("the end of the query"));
                out += s_[j + 1];
                j += 2;
                continue;
            }
            if (c == quoteChar) break;
            out += c;
            ++j;
        }
        i_ = j + 1;
        t.type = Token::Type::String;
        t.text = out;
        return t;
    }

    Token readNumber(Token& t) {
        qsizetype j = i_;
        if (s_[j] == QLatin1Char('-') || s_[j] == QLatin1Char('+')) ++j;
        bool fraction = false;
        while (j < s_.size() && s_[j].isDigit()) ++j;
        if (j < s_.size() && s_[j] == QLatin1Char('.')) {
            fraction = true;
            ++j;
            while (j < s_.size() && s_[j].isDigit()) ++j;
        }
        if (j < s_.size() && (s_[j] == QLatin1Char('e') || s_[j] == QLatin1Char('E'))) {
            qsizetype k = j + 1;
            if (k < s_.size() && (s_[k] == QLatin1Char('-') || s_[k] == QLatin1Char('+'))) ++k;
            if (k < s_.size() && s_[k].isDigit()) {
                while (k < s_.size() && s_[k].isDigit()) ++k;
                fraction = true;
                j = k;
            }
        }
        if (j < s_.size() && (s_[j].isLetter() || s_[j] == QLatin1Char('_')))
            fail(j, QStringLiteral("the end of the number"), QStringLiteral("\"%1\"").arg(s_[j]));
        const QString text = s_.mid(i_, j - i_);
        bool ok = false;
        if (!fraction) {
            const qlonglong v = text.toLongLong(&ok);
            if (ok) t.number = Value(static_cast<std::int64_t>(v));
        }
        if (!ok) {
            const double d = text.toDouble(&ok);
            if (!ok || !std::isfinite(d)) fail(t.pos, QStringLiteral("a number"), text);
            t.number = Value(d);
        }
        t.type = Token::Type::Number;
        t.text = text;
        i_ = j;
        return t;
    }

    const QString& s_;
    qsizetype i_ = 0;
};

bool isKeyword(const Token& t, const char* word) {
    return t.type == Token::Type::Ident &&
           t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isReserved(const Token& t) {
    for (const char* w :
         {"select", "from", "where", "and", "or", "not", "is", "null", "true", "false"}) {
        if (isKeyword(t, w)) return true;
    }
    return false;
}

QString describe(const Token& t) {
    switch (t.type) {
        case Token::Type::End:
            return QStringLiteral("the end of the query");
        case Token::Type::Ident:
            return QStringLiteral("\"%1\"").arg(t.text);
        case Token::Type::String:
            return QStringLiteral("the text '%1'").arg(t.text);
        case Token::Type::Number:
            return QStringLiteral("the number %1").arg(t.text);
        case Token::Type::Star:
            return QStringLiteral("\"*\"");
        case Token::Type::Comma:
            return QStringLiteral("\",\"");
        case Token::Type::LParen:
            return QStringLiteral("\"(\"");
        case Token::Type::RParen:
            return QStringLiteral("\")\"");
        case Token::Type::Op:
            return QStringLiteral("\"%1\"").arg(t.text);
    }
    return QString();
}

Expr::Op opFrom(const QString& text) {
    if (text == QLatin1String("=")) return Expr::Op::Eq;
    if (text == QLatin1String("<>") || text == QLatin1String("!=")) return Expr::Op::Ne;
    if (text == QLatin1String("<")) return Expr::Op::Lt;
    if (text == QLatin1String(">")) return Expr::Op::Gt;
    if (text == QLatin1String("<=")) return Expr::Op::Le;
    return Expr::Op::Ge;
}

// "'x' < Prop" means "Prop > 'x'".
Expr::Op mirrored(Expr::Op op) {
    switch (op) {
        case Expr::Op::Lt:
            return Expr::Op::Gt;
        case Expr::Op::Gt:
            return Expr::Op::Lt;
        case Expr::Op::Le:
            return Expr::Op::Ge;
        case Expr::Op::Ge:
            return Expr::Op::Le;
        default:
            return op;
    }
}

class Parser {
  public:
    explicit Parser(const QString& text) : lexer_(text) { advance(); }

    Query parseQuery() {
        Query q;
        expectKeyword("SELECT");
        if (cur_.type == Token::Type::Star) {
            advance();
        } else {
            q.selectAll = false;
            for (;;) {
                q.properties << expectName(QStringLiteral("\"*\" or a property name"));
                if (cur_.type != Token::Type::Comma) break;
                advance();
            }
        }
        expectKeyword("FROM");
        q.className = expectName(QStringLiteral("a class name"));
        if (isKeyword(cur_, "where")) {
            advance();
            q.where = parseOr(0);
        }
        if (cur_.type != Token::Type::End)
            Lexer::fail(cur_.pos,
                        q.where ? QStringLiteral("AND, OR or the end of the query")
                                : QStringLiteral("WHERE or the end of the query"),
                        describe(cur_));
        return q;
    }

  private:
    void advance() { cur_ = lexer_.next(); }

    void expectKeyword(const char* word) {
        if (!isKeyword(cur_, word)) Lexer::fail(cur_.pos, QLatin1String(word), describe(cur_));
        advance();
    }

    QString expectName(const QString& what) {
        if (cur_.type != Token::Type::Ident || isReserved(cur_))
            Lexer::fail(cur_.pos, what, describe(cur_));
        QString name = cur_.text;
        advance();
        return name;
    }

    std::unique_ptr<Expr> node() {
        if (++nodes_ > maxNodes)
            Lexer::fail(cur_.pos, QStringLiteral("a shorter condition"),
                        QStringLiteral("more than %1 terms").arg(maxNodes));
        return std::make_unique<Expr>();
    }

    void checkDepth(int depth) const {
        if (depth > maxDepth)
            Lexer::fail(cur_.pos, QStringLiteral("a condition nested less deeply"),
                        QStringLiteral("more than %1 levels").arg(maxDepth));
    }

    std::unique_ptr<Expr> parseOr(int depth) {
        checkDepth(depth);
        std::unique_ptr<Expr> left = parseAnd(depth);
        while (isKeyword(cur_, "or")) {
            advance();
            auto node = this->node();
            node->kind = Expr::Kind::Or;
            node->left = std::move(left);
            node->right = parseAnd(depth);
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Expr> parseAnd(int depth) {
        std::unique_ptr<Expr> left = parseNot(depth);
        while (isKeyword(cur_, "and")) {
            advance();
            auto node = this->node();
            node->kind = Expr::Kind::And;
            node->left = std::move(left);
            node->right = parseNot(depth);
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Expr> parseNot(int depth) {
        if (isKeyword(cur_, "not")) {
            checkDepth(depth + 1);
            advance();
            auto node = this->node();
            node->kind = Expr::Kind::Not;
            node->left = parseNot(depth + 1);
            return node;
        }
        return parsePrimary(depth);
    }

    bool isLiteral() const {
        return cur_.type == Token::Type::String || cur_.type == Token::Type::Number ||
               isKeyword(cur_, "true") || isKeyword(cur_, "false") || isKeyword(cur_, "null");
    }

    Value takeLiteral() {
        Value v;
        if (cur_.type == Token::Type::String)
            v = Value(cur_.text);
        else if (cur_.type == Token::Type::Number)
            v = cur_.number;
        else if (isKeyword(cur_, "true"))
            v = Value(true);
        else if (isKeyword(cur_, "false"))
            v = Value(false);
        advance();  // NULL leaves v null
        return v;
    }

    Expr::Op expectOp() {
        if (cur_.type != Token::Type::Op)
            Lexer::fail(cur_.pos, QStringLiteral("a comparison operator"), describe(cur_));
        const Expr::Op op = opFrom(cur_.text);
        advance();
        return op;
    }

    // "Prop = NULL" reads as "Prop IS NULL", as WMI takes it.
    static void nullCompare(Expr& e) {
        if (!e.literal.isNull()) return;
        if (e.op == Expr::Op::Eq)
            e.kind = Expr::Kind::IsNull;
        else if (e.op == Expr::Op::Ne)
            e.kind = Expr::Kind::IsNotNull;
    }

    std::unique_ptr<Expr> parsePrimary(int depth) {
        if (cur_.type == Token::Type::LParen) {
            checkDepth(depth + 1);
            advance();
            std::unique_ptr<Expr> inner = parseOr(depth + 1);
            if (cur_.type != Token::Type::RParen)
                Lexer::fail(cur_.pos, QStringLiteral("\")\", AND or OR"), describe(cur_));
            advance();
            return inner;
        }
        auto e = node();
        e->kind = Expr::Kind::Compare;
        if (isLiteral()) {
            e->literal = takeLiteral();
            e->op = mirrored(expectOp());
            e->property = expectName(QStringLiteral("a property name"));
            e->literalOnLeft = true;
            nullCompare(*e);
            return e;
        }
        e->property = expectName(QStringLiteral("a property name, NOT or \"(\""));
        if (isKeyword(cur_, "is")) {
            advance();
            e->kind = Expr::Kind::IsNull;
            if (isKeyword(cur_, "not")) {
                advance();
                e->kind = Expr::Kind::IsNotNull;
            }
            if (!isKeyword(cur_, "null"))
                Lexer::fail(cur_.pos, QStringLiteral("NULL"), describe(cur_));
            advance();
            return e;
        }
        e->op = expectOp();
        if (!isLiteral())
            Lexer::fail(cur_.pos, QStringLiteral("a text, a number, TRUE, FALSE or NULL"),
                        describe(cur_));
        e->literal = takeLiteral();
        nullCompare(*e);
        return e;
    }

    Lexer lexer_;
    Token cur_;
    int nodes_ = 0;
};

// Three-way comparison of a property value with a literal after WMI's coercion of the literal
// to the property's kind; nullopt when the two cannot be compared (no match).
std::optional<int> compareValues(const Value& prop, const Value& lit) {
    auto sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    auto textToBool = [](const QString& s) -> std::optional<bool> {
        const QString t = s.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (ok) return n != 0;
        return std::nullopt;
    };
    switch (prop.kind()) {
        case Value::Kind::Boolean: {
            const bool p = prop.toBool();
            std::optional<bool> l;
            switch (lit.kind()) {
                case Value::Kind::Boolean:
                    l = lit.toBool();
                    break;
                case Value::Kind::Integer:
                    l = lit.toInteger() != 0;
                    break;
                case Value::Kind::Double:
                    l = lit.toDouble() != 0.0;
                    break;
                case Value::Kind::Text:
                    l = textToBool(lit.toText());
                    break;
                default:
                    break;
            }
            if (!l) return std::nullopt;
            return sign(int(p), int(*l));
        }
        case Value::Kind::Integer: {
            const std::int64_t p = prop.toInteger();
            switch (lit.kind()) {
                case Value::Kind::Integer:
                    return sign(p, lit.toInteger());
                case Value::Kind::Boolean:
                    return sign(p, std::int64_t(lit.toBool() ? 1 : 0));
                case Value::Kind::Double:
                    return sign(double(p), lit.toDouble());
                case Value::Kind::Text: {
                    const QString t = lit.toText().trimmed();
                    bool ok = false;
                    const qlonglong n = t.toLongLong(&ok);
                    if (ok) return sign(p, std::int64_t(n));
                    const double d = t.toDouble(&ok);
                    if (ok && std::isfinite(d)) return sign(double(p), d);
                    return std::nullopt;
                }
                default:
                    return std::nullopt;
            }
        }
        case Value::Kind::Double: {
            const double p = prop.toDouble();
            switch (lit.kind()) {
                case Value::Kind::Integer:
                case Value::Kind::Double:
                    return sign(p, lit.toDouble());
                case Value::Kind::Boolean:
                    return sign(p, lit.toBool() ? 1.0 : 0.0);
                case Value::Kind::Text: {
                    bool ok = false;
                    const double d = lit.toText().trimmed().toDouble(&ok);
                    if (ok && std::isfinite(d)) return sign(p, d);
                    return std::nullopt;
                }
                default:
                    return std::nullopt;
            }
        }
        case Value::Kind::Text: {
            if (lit.isNull() || lit.isArray() || lit.isObject()) return std::nullopt;
            const int c = prop.toText().compare(lit.toText(), Qt::CaseInsensitive);
            return sign(c, 0);
        }
        default:
            return std::nullopt;  // null, arrays and objects match no comparison
    }
}

bool holds(Expr::Op op, int c) {
    switch (op) {
        case Expr::Op::Eq:
            return c == 0;
        case Expr::Op::Ne:
            return c != 0;
        case Expr::Op::Lt:
            return c < 0;
        case Expr::Op::Gt:
            return c > 0;
        case Expr::Op::Le:
            return c <= 0;
        case Expr::Op::Ge:
            return c >= 0;
    }
    return false;
}

void collect(const Expr* e, QStringList& out) {
    if (!e) return;
    if (!e->property.isEmpty() && !out.contains(e->property, Qt::CaseInsensitive))
        out << e->property;
    collect(e->left.get(), out);
    collect(e->right.get(), out);
}

std::optional<Value> required(const Expr* e, QStringView property) {
    if (!e) return std::nullopt;
    if (e->kind == Expr::Kind::And) {
        if (auto v = required(e->left.get(), property)) return v;
        return required(e->right.get(), property);
    }
    if (e->kind == Expr::Kind::Compare && e->op == Expr::Op::Eq &&
        e->property.compare(property, Qt::CaseInsensitive) == 0 && !e->literal.isNull())
        return e->literal;
    return std::nullopt;
}

}  // namespace

Query parse(const QString& text) {
    return Parser(text).parseQuery();
}

bool matches(const Expr& expr, const Instance& instance) {
    switch (expr.kind) {
        case Expr::Kind::And:
            return matches(*expr.left, instance) && matches(*expr.right, instance);
        case Expr::Kind::Or:
            return matches(*expr.left, instance) || matches(*expr.right, instance);
        case Expr::Kind::Not:
            return !matches(*expr.left, instance);
        case Expr::Kind::IsNull:
        case Expr::Kind::IsNotNull: {
            const Value* v = instance.find(expr.property);
            const bool isNull = !v || v->isNull();
            return expr.kind == Expr::Kind::IsNull ? isNull : !isNull;
        }
        case Expr::Kind::Compare: {
            const Value* v = instance.find(expr.property);
            if (!v) return false;
            const std::optional<int> c = compareValues(*v, expr.literal);
            return c && holds(expr.op, *c);
        }
    }
    return false;
}

std::optional<Value> requiredValue(const Query& query, QStringView property) {
    return required(query.where.get(), property);
}

QStringList mentionedProperties(const Query& query) {
    QStringList out;
    if (!query.selectAll) {
        for (const QString& p : query.properties) {
            if (!out.contains(p, Qt::CaseInsensitive)) out << p;
        }
    }
    collect(query.where.get(), out);
    return out;
}

QString quote(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('\'')) out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

}  // namespace torvix::wmi::wql
