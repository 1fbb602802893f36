#include "platform/wmi/value.h"

#include <QStringList>
#include <cmath>
#include <limits>

#include "platform/wmi/error.h"
#include "platform/wmi/instance.h"

namespace torvix::wmi {

namespace {
Error mismatch(const QString& what) {
    return Error(Error::Code::TypeMismatch, what);
}

const char* kindName(Value::Kind k) {
    switch (k) {
        case Value::Kind::Null:
            return "null";
        case Value::Kind::Boolean:
            return "boolean";
        case Value::Kind::Integer:
            return "integer";
        case Value::Kind::Double:
            return "number";
        case Value::Kind::Text:
            return "text";
        case Value::Kind::Array:
            return "array";
        case Value::Kind::Object:
            return "object";
    }
    return "value";
}
}  // namespace

Value Value::textArray(const QStringList& texts) {
    std::vector<Value> items;
    items.reserve(texts.size());
    for (const QString& t : texts) items.emplace_back(t);
    return Value(std::move(items));
}

bool Value::toBool() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(data_);
        case Kind::Integer:
            return std::get<std::int64_t>(data_) != 0;
        case Kind::Double:
            return std::get<double>(data_) != 0.0;
        case Kind::Text: {
            const QString& s = std::get<QString>(data_);
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
            if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
            bool ok = false;
            const double d = s.trimmed().toDouble(&ok);
            if (ok) return d != 0.0;
            throw mismatch(QStringLiteral("type mismatch: text \"%1\" used as a boolean").arg(s));
        }
        default:
            throw mismatch(QStringLiteral("invalid use of %1 as a boolean")
                               .arg(QLatin1String(kindName(kind()))));
    }
}

std::int64_t Value::toInteger() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(data_) ? -1 : 0;
        case Kind::Integer:
            return std::get<std::int64_t>(data_);
        case Kind::Double: {
            const double d = std::get<double>(data_);
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
                throw mismatch(QStringLiteral("overflow: %1 used as an integer").arg(d));
            return static_cast<std::int64_t>(std::llround(d));
        }
        case Kind::Text: {
            const QString s = std::get<QString>(data_).trimmed();
            bool ok = false;
            const qlonglong v = s.toLongLong(&ok);
            if (ok) return v;
            const double d = s.toDouble(&ok);
            if (ok && std::isfinite(d) && std::fabs(d) <= 9.2e18)
                return static_cast<std::int64_t>(std::llround(d));
            throw mismatch(QStringLiteral("type mismatch: text \"%1\" used as a number").arg(s));
        }
        default:
            throw mismatch(QStringLiteral("invalid use of %1 as a number")
                               .arg(QLatin1String(kindName(kind()))));
    }
}

double Value::toDouble() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(data_) ? -1.0 : 0.0;
        case Kind::Integer:
            return static_cast<double>(std::get<std::int64_t>(data_));
        case Kind::Double:
            return std::get<double>(data_);
        case Kind::Text: {
            const QString s = std::get<QString>(data_).trimmed();
            bool ok = false;
            const double d = s.toDouble(&ok);
            if (ok) return d;
            throw mismatch(QStringLiteral("type mismatch: text \"%1\" used as a number").arg(s));
        }
        default:
            throw mismatch(QStringLiteral("invalid use of %1 as a number")
                               .arg(QLatin1String(kindName(kind()))));
    }
}

QString Value::toText() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<bool>(data_) ? QStringLiteral("True") : QStringLiteral("False");
        case Kind::Integer:
            return QString::number(std::get<std::int64_t>(data_));
        case Kind::Double: {
            const double d = std::get<double>(data_);
            if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
                return QString::number(static_cast<qlonglong>(d));
            return QString::number(d, 'g', 15);
        }
        case Kind::Text:
            return std::get<QString>(data_);
        default:
            throw mismatch(
                QStringLiteral("invalid use of %1 as text").arg(QLatin1String(kindName(kind()))));
    }
}

const std::vector<Value>& Value::toArray() const {
    if (kind() != Kind::Array)
        throw mismatch(QStringLiteral("type mismatch: %1 used as an array")
                           .arg(QLatin1String(kindName(kind()))));
    return std::get<std::vector<Value>>(data_);
}

const InstancePtr& Value::toObject() const {
    if (kind() != Kind::Object)
        throw mismatch(QStringLiteral("type mismatch: %1 used as an object")
                           .arg(QLatin1String(kindName(kind()))));
    return std::get<InstancePtr>(data_);
}

bool Value::operator==(const Value& other) const {
    if (kind() != other.kind()) return false;
    switch (kind()) {
        case Kind::Null:
            return true;
        case Kind::Object: {
            const auto& a = std::get<InstancePtr>(data_);
            const auto& b = std::get<InstancePtr>(other.data_);
            if (a == b) return true;
            if (!a || !b) return false;
            if (a->properties().size() != b->properties().size()) return false;
            for (std::size_t i = 0; i < a->properties().size(); ++i) {
                if (a->properties()[i].name != b->properties()[i].name ||
                    !(a->properties()[i].value == b->properties()[i].value))
                    return false;
            }
            return true;
        }
        default:
            return data_ == other.data_;
    }
}

}  // namespace torvix::wmi
