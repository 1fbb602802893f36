#include "platform/machinefile/json_reader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "platform/outside_text.h"

namespace torvix::machinefile {

namespace {

constexpr int maxDepth = 200;

struct SyntaxError {
    qsizetype pos;
    QString what;
};

struct OverBudget {
    QString place;
};

// Counted for every value besides its node: what the caller turns it into (a property or a
// management value) and the allocator's own share.
constexpr qint64 valueCost = 64;
// A text's allocation besides its characters.
constexpr qint64 textCost = 32;
// One name in a hash of names.
constexpr qint64 hashEntryCost = 32;

class Reader {
  public:
    Reader(const QString& s, qint64 budget) : s_(s), left_(budget) {}

    void document(JsonNode& out) {
        skipSpace();
        value(out, 0);
        skipSpace();
        if (i_ < s_.size()) throw SyntaxError{i_, QStringLiteral("unexpected text after the end")};
    }

    // 1-based line and column of a position, for messages.
    QString where(qsizetype pos) const {
        int line = 1;
        qsizetype lineStart = 0;
        for (qsizetype k = 0; k < pos && k < s_.size(); ++k) {
            if (s_[k] == QLatin1Char('\n')) {
                ++line;
                lineStart = k + 1;
            }
        }
        return QStringLiteral("line %1, column %2").arg(line).arg(pos - lineStart + 1);
    }

  private:
    void skipSpace() {
        while (i_ < s_.size() && (s_[i_] == QLatin1Char(' ') || s_[i_] == QLatin1Char('\t') ||
                                  s_[i_] == QLatin1Char('\n') || s_[i_] == QLatin1Char('\r')))
            ++i_;
    }

    [[noreturn]] void fail(const QString& what) const { throw SyntaxError{i_, what}; }

    // Memory for what is being read; the member it belongs to is named when there is none left.
    void spend(qint64 bytes) {
        left_ -= bytes;
        if (left_ < 0)
            throw OverBudget{place_.isEmpty() ? QStringLiteral("the document")
                                              : place_.join(QLatin1Char('.'))};
    }

    // Room for one more node in `nodes`, counted before the vector grows.
    template <typename T>
    void spendRoom(const std::vector<T>& nodes) {
        if (nodes.size() == nodes.capacity())
            spend(qint64(std::max<std::size_t>(nodes.capacity(), 1)) * qint64(sizeof(T)));
    }

    void spendText(const QString& text) {
        if (!text.isEmpty()) spend(textCost + 2 * qint64(text.size()));
    }

    void expectWord(const char* word) {
        const QLatin1String w(word);
        if (s_.mid(i_, w.size()) != w) fail(QStringLiteral("expected a value"));
        i_ += w.size();
    }

    void value(JsonNode& out, int depth) {
        if (depth > maxDepth) fail(QStringLiteral("nested too deeply"));
        spend(valueCost);
        if (i_ >= s_.size()) fail(QStringLiteral("unexpected end, expected a value"));
        const QChar c = s_[i_];
        switch (c.unicode()) {
            case '{':
                object(out, depth);
                return;
            case '[':
                array(out, depth);
                return;
            case '"':
                out.type = JsonNode::Type::String;
                out.text = string();
                spendText(out.text);
                return;
            case 't':
                expectWord("true");
                out.type = JsonNode::Type::Boolean;
                out.boolean = true;
                return;
            case 'f':
                expectWord("false");
                out.type = JsonNode::Type::Boolean;
                out.boolean = false;
                return;
            case 'n':
                expectWord("null");
                out.type = JsonNode::Type::Null;
                return;
            default:
                if (c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
                    number(out);
                    return;
                }
                fail(QStringLiteral("expected a value"));
        }
    }

    void object(JsonNode& out, int depth) {
        out.type = JsonNode::Type::Object;
        ++i_;
        skipSpace();
        if (i_ < s_.size() && s_[i_] == QLatin1Char('}')) {
            ++i_;
            return;
        }
        NameSet names;
        for (;;) {
            skipSpace();
            if (i_ >= s_.size() || s_[i_] != QLatin1Char('"'))
                fail(QStringLiteral("expected a member name in double quotes"));
            const qsizetype keyPos = i_;
            QString key = interned(string());
            if (!names.insert(key))
                throw SyntaxError{keyPos,
                                  QStringLiteral("duplicate member %1").arg(quotedForMessage(key))};
            skipSpace();
            if (i_ >= s_.size() || s_[i_] != QLatin1Char(':'))
                fail(QStringLiteral("expected \":\""));
            ++i_;
            skipSpace();
            if (out.keys.size() >= 16) spend(hashEntryCost);  // the names are hashed by then
            spendRoom(out.keys);
            spendRoom(out.items);
            out.keys.push_back(key);
            out.items.emplace_back();
            // The top members name the part of the file that is too large.
            const bool named = depth < 2;
            if (named) place_.push_back(escapedForMessage(key));
            value(out.items.back(), depth + 1);
            if (named) place_.pop_back();
            skipSpace();
            if (i_ < s_.size() && s_[i_] == QLatin1Char(',')) {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == QLatin1Char('}')) {
                ++i_;
                return;
            }
            fail(QStringLiteral("expected \",\" or \"}\""));
        }
    }

    void array(JsonNode& out, int depth) {
        out.type = JsonNode::Type::Array;
        ++i_;
        skipSpace();
        if (i_ < s_.size() && s_[i_] == QLatin1Char(']')) {
            ++i_;
            return;
        }
        for (;;) {
            skipSpace();
            spendRoom(out.items);
            out.items.emplace_back();
            value(out.items.back(), depth + 1);
            skipSpace();
            if (i_ < s_.size() && s_[i_] == QLatin1Char(',')) {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == QLatin1Char(']')) {
                ++i_;
                return;
            }
            fail(QStringLiteral("expected \",\" or \"]\""));
        }
    }

    int hex4() {
        int v = 0;
        for (int k = 0; k < 4; ++k, ++i_) {
            const int d = i_ < s_.size()
                              ? QByteArrayView("0123456789abcdef")
                                    .indexOf(static_cast<char>(s_[i_].toLower().unicode() & 0x7f))
                              : -1;
            if (d < 0 || s_[i_].unicode() >= 0x80)
                fail(QStringLiteral("expected four hexadecimal digits"));
            v = v * 16 + int(d);
        }
        return v;
    }

    QString string() {
        ++i_;  // opening quote
        QString out;
        for (;;) {
            if (i_ >= s_.size()) fail(QStringLiteral("unterminated text"));
            const QChar c = s_[i_];
            if (c == QLatin1Char('"')) {
                ++i_;
                return out;
            }
            if (c.unicode() < 0x20) fail(QStringLiteral("control character in a text"));
            if (c != QLatin1Char('\\')) {
                // The plain run up to the next quote, escape or control character, in one copy.
                const qsizetype start = i_;
                while (i_ < s_.size()) {
                    const char16_t u = s_[i_].unicode();
                    if (u == u'"' || u == u'\\' || u < 0x20) break;
                    ++i_;
                }
                out.append(s_.constData() + start, i_ - start);
                continue;
            }
            ++i_;
            if (i_ >= s_.size()) fail(QStringLiteral("unterminated text"));
            const QChar e = s_[i_++];
            switch (e.unicode()) {
                case '"':
                    out += QLatin1Char('"');
                    break;
                case '\\':
                    out += QLatin1Char('\\');
                    break;
                case '/':
                    out += QLatin1Char('/');
                    break;
                case 'b':
                    out += QLatin1Char('\b');
                    break;
                case 'f':
                    out += QLatin1Char('\f');
                    break;
                case 'n':
                    out += QLatin1Char('\n');
                    break;
                case 'r':
                    out += QLatin1Char('\r');
                    break;
                case 't':
                    out += QLatin1Char('\t');
                    break;
                case 'u':
                    out += QChar(static_cast<char16_t>(hex4()));
                    break;
                default:
                    --i_;
                    fail(QStringLiteral("invalid escape %1")
                             .arg(quotedForMessage(QLatin1Char('\\') + QString(e))));
            }
        }
    }

    void number(JsonNode& out) {
        const qsizetype start = i_;
        if (s_[i_] == QLatin1Char('-')) ++i_;
        auto digit = [&] {
            return i_ < s_.size() && s_[i_] >= QLatin1Char('0') && s_[i_] <= QLatin1Char('9');
        };
        if (!digit()) fail(QStringLiteral("expected a digit"));
        if (s_[i_] == QLatin1Char('0')) {
            ++i_;
        } else {
            while (digit()) ++i_;
        }
        bool integral = true;
        if (i_ < s_.size() && s_[i_] == QLatin1Char('.')) {
            integral = false;
            ++i_;
            if (!digit()) fail(QStringLiteral("expected a digit after the point"));
            while (digit()) ++i_;
        }
        if (i_ < s_.size() && (s_[i_] == QLatin1Char('e') || s_[i_] == QLatin1Char('E'))) {
            integral = false;
            ++i_;
            if (i_ < s_.size() && (s_[i_] == QLatin1Char('+') || s_[i_] == QLatin1Char('-'))) ++i_;
            if (!digit()) fail(QStringLiteral("expected a digit in the exponent"));
            while (digit()) ++i_;
        }
        const QString text = s_.mid(start, i_ - start);
        bool ok = false;
        if (integral) {
            const qlonglong v = text.toLongLong(&ok);
            if (ok) {
                out.type = JsonNode::Type::Integer;
                out.integer = v;
                return;
            }
        }
        const double d = text.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw SyntaxError{start, QStringLiteral("number out of range")};
        out.type = JsonNode::Type::Double;
        out.number = d;
    }

    // Member names repeat in every instance: each is kept once.
    QString interned(QString key) {
        const auto known = keys_.constFind(key);
        if (known != keys_.constEnd()) return *known;
        spendText(key);
        spend(hashEntryCost);
        keys_.insert(key);
        return key;
    }

    const QString& s_;
    qsizetype i_ = 0;
    qint64 left_;
    QStringList place_;
    QSet<QString> keys_;
};

}  // namespace

bool NameSet::insert(const QString& name) {
    constexpr std::size_t listed = 16;
    if (many_.isEmpty()) {
        if (std::find(few_.begin(), few_.end(), name) != few_.end()) return false;
        if (few_.size() < listed) {
            few_.push_back(name);
            return true;
        }
        for (QString& n : few_) many_.insert(std::move(n));
        few_.clear();
    }
    const qsizetype before = many_.size();
    many_.insert(name);
    return many_.size() != before;
}

const JsonNode* JsonNode::member(QStringView key) const {
    if (type != Type::Object) return nullptr;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k] == key) return &items[k];
    }
    return nullptr;
}

QJsonValue JsonNode::toJsonValue() const {
    switch (type) {
        case Type::Null:
            return QJsonValue(QJsonValue::Null);
        case Type::Boolean:
            return QJsonValue(boolean);
        case Type::Integer:
            return QJsonValue(static_cast<qint64>(integer));
        case Type::Double:
            return QJsonValue(number);
        case Type::String:
            return QJsonValue(text);
        case Type::Array: {
            QJsonArray a;
            for (const JsonNode& n : items) a.append(n.toJsonValue());
            return a;
        }
        case Type::Object: {
            QJsonObject o;
            for (std::size_t k = 0; k < keys.size(); ++k) o.insert(keys[k], items[k].toJsonValue());
            return o;
        }
    }
    return QJsonValue();
}

qint64 defaultJsonBudget(qsizetype dataSize) {
    // Besides the budget: the data and its decoded text (three times its size). A fixed share
    // on top lets files of ordinary records through whole (a record list of 100,000 installed
    // packages, some 5 MB, takes about 70 MB); only files of tiny values reach the 4x part.
    return 4 * qint64(dataSize) + 128 * 1024 * 1024;
}

bool parseJson(const QByteArray& data, JsonNode& out, QString& error, qint64 budget,
               bool* tooLarge) {
    if (tooLarge) *tooLarge = false;
    if (budget < 0) budget = defaultJsonBudget(data.size());
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError()) {
        error = QStringLiteral("not UTF-8 text");
        return false;
    }
    Reader reader(text, budget);
    try {
        out = JsonNode();
        reader.document(out);
    } catch (const SyntaxError& e) {
        error = QStringLiteral("%1 at %2").arg(e.what, reader.where(e.pos));
        return false;
    } catch (const OverBudget& e) {
        out = JsonNode();
        error = QStringLiteral("%1 holds too many values to read (more than %2 MB of memory)")
                    .arg(e.place)
                    .arg(budget / (1024 * 1024));
        if (tooLarge) *tooLarge = true;
        return false;
    }
    return true;
}

}  // namespace torvix::machinefile
