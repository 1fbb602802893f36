#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/wmi/instance.h"
#include "platform/wmi/wql.h"

namespace torvix::wmi {

// Produces a class's instances one at a time, so a walk that stops early pays for what it read.
// next() returns nullopt at the end and throws Error on a failed source.
class InstanceCursor {
  public:
    virtual ~InstanceCursor() = default;
    virtual std::optional<Instance> next() = 0;
};

// A cursor over a function that yields instances (convenient for providers).
class FunctionCursor : public InstanceCursor {
  public:
    explicit FunctionCursor(std::function<std::optional<Instance>()> fn) : fn_(std::move(fn)) {}
    std::optional<Instance> next() override { return fn_(); }

  private:
    std::function<std::optional<Instance>()> fn_;
};

class ClassProvider {
  public:
    virtual ~ClassProvider() = default;
    virtual QString className() const = 0;
    // The class's property names (its schema), used to reject unknown properties in a query.
    virtual QStringList propertyNames() const = 0;
    // All instances in provider order; the query is passed for classes whose instances the query
    // defines (Win32_PingStatus). The service applies WHERE and the select list itself.
    virtual std::unique_ptr<InstanceCursor> enumerate(const wql::Query& query) const = 0;
};

using ProviderPtr = std::shared_ptr<const ClassProvider>;

}  // namespace torvix::wmi
