#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

namespace torvix::machinefile {

// A JSON value as the machine file needs it: integers stay exact 64-bit numbers (QJsonDocument
// keeps every number as a double, which would round a large tickCount), and members keep their
// order (instances list their properties in file order).
struct JsonNode {
    enum class Type { Null, Boolean, Integer, Double, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;
    QString text;
    std::vector<JsonNode> items;  // array elements, or object member values
    std::vector<QString> keys;    // object member names, parallel to items

    bool isObject() const { return type == Type::Object; }
    const JsonNode* member(QStringView key) const;
    QJsonValue toJsonValue() const;
};

// Names met so far, for refusing a repeated one in linear time: a short list is searched (most
// objects are small), a long one hashed.
class NameSet {
  public:
    // False when `name` is there already.
    bool insert(const QString& name);

  private:
    std::vector<QString> few_;
    QSet<QString> many_;
};

// Memory a parse may spend on its values by default: a small multiple of the text's size, so
// that reading a file, with the text itself and what its values become, stays within about eight
// times its size.
qint64 defaultJsonBudget(qsizetype dataSize);

// Parses UTF-8 JSON. On failure returns false with `error` set to "what is wrong at line L,
// column C". Duplicate member names are refused: one of them would be lost without a word.
// Values (each counted with what a reader makes of it) that need more than `budget` bytes stop
// the parse: `error` then names the member too large ("wmi.Win32_Product") and `tooLarge` is set.
// A budget below zero means defaultJsonBudget(data.size()).
bool parseJson(const QByteArray& data, JsonNode& out, QString& error, qint64 budget = -1,
               bool* tooLarge = nullptr);

}  // namespace torvix::machinefile
