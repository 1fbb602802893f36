#pragma once

#include <QString>
#include <vector>

#include "platform/wmi/value.h"

namespace torvix::wmi {

struct Property {
    QString name;
    Value value;
};

// One management object: its class and its properties in schema order.
class Instance {
  public:
    Instance() = default;
    Instance(QString className, std::vector<Property> properties)
        : className_(std::move(className)), properties_(std::move(properties)) {}

    const QString& className() const { return className_; }

    // Property names compare case-insensitively. A property the instance does not carry throws
    // Error(InvalidProperty).
    const Value& property(QStringView name) const;
    const Value* find(QStringView name) const;
    bool has(QStringView name) const { return find(name) != nullptr; }

    // Properties_ enumeration, in order.
    const std::vector<Property>& properties() const { return properties_; }

    void set(const QString& name, Value value);

  private:
    QString className_;
    std::vector<Property> properties_;
};

}  // namespace torvix::wmi
