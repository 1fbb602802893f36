#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "platform/wmi/provider.h"
#include "platform/wmi/schema.h"

namespace torvix::live {

// Reads its sources on the first next() only, so a query that is never walked costs nothing.
class LazyListCursor : public wmi::InstanceCursor {
  public:
    explicit LazyListCursor(std::function<std::vector<wmi::Instance>()> load)
        : load_(std::move(load)) {}
    std::optional<wmi::Instance> next() override {
        if (load_) {
            items_ = load_();
            load_ = nullptr;
        }
        if (position_ < items_.size()) return std::move(items_[position_++]);
        return std::nullopt;
    }

  private:
    std::function<std::vector<wmi::Instance>()> load_;
    std::vector<wmi::Instance> items_;
    std::size_t position_ = 0;
};

// An instance carrying every property of the class's schema, in schema order: the values given,
// null for the rest (as Windows leaves properties it cannot fill).
inline wmi::Instance makeSchemaInstance(const QString& className,
                                        QHash<QString, wmi::Value> values) {
    std::vector<wmi::Property> props;
    for (const QString& name : wmi::schemaProperties(className)) {
        props.push_back({name, values.take(name)});
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        props.push_back({it.key(), it.value()});
    return wmi::Instance(className, std::move(props));
}

}  // namespace torvix::live
