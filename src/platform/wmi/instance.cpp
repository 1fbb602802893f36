#include "platform/wmi/instance.h"

#include "platform/wmi/error.h"

namespace torvix::wmi {

const Value* Instance::find(QStringView name) const {
    for (const Property& p : properties_) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) return &p.value;
    }
    return nullptr;
}

const Value& Instance::property(QStringView name) const {
    if (const Value* v = find(name)) return *v;
    throw Error(Error::Code::InvalidProperty,
                QStringLiteral("%1 has no property %2").arg(className_, name.toString()));
}

void Instance::set(const QString& name, Value value) {
    for (Property& p : properties_) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) {
            p.value = std::move(value);
            return;
        }
    }
    properties_.push_back({name, std::move(value)});
}

}  // namespace torvix::wmi
