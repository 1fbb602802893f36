#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/failure.h"

namespace torvix::wmi {

class Instance;
using InstancePtr = std::shared_ptr<const Instance>;

// A management property value: null, boolean, integer, double, text, array or embedded object.
class Value {
  public:
    enum class Kind { Null, Boolean, Integer, Double, Text, Array, Object };

    Value() = default;  // null
    Value(bool b) : data_(b) {}
    // Any integer type but bool (int, qint64, quint32, ...).
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) Value(T i)
        : data_(static_cast<std::int64_t>(i)) {}
    Value(double d) : data_(d) {}
    Value(const QString& s) : data_(s) {}
    Value(const char* s) : data_(QString::fromUtf8(s)) {}
    Value(std::vector<Value> a) : data_(std::move(a)) {}
    Value(InstancePtr o) : data_(std::move(o)) {}

    static Value textArray(const QStringList& texts);

    Kind kind() const { return static_cast<Kind>(data_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isObject() const { return kind() == Kind::Object; }

    // Conversions as the window's script language makes them. Each throws a Failure where that
    // language raises an error: null used as a scalar, an array or object used as text, a text
    // that is no number used as one.
    bool toBool() const;
    std::int64_t toInteger() const;
    double toDouble() const;
    QString toText() const;
    const std::vector<Value>& toArray() const;
    const InstancePtr& toObject() const;

    bool operator==(const Value& other) const;

  private:
    std::variant<std::monostate, bool, std::int64_t, double, QString, std::vector<Value>,
                 InstancePtr>
        data_;
};

}  // namespace torvix::wmi
