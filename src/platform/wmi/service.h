#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

#include "platform/wmi/error.h"
#include "platform/wmi/provider.h"

namespace torvix::wmi {

constexpr int wbemFlagReturnImmediately = 16;
constexpr int wbemFlagForwardOnly = 32;

// The registry of class providers for one computer, plus an optional failure that makes every
// connection fail (a stopped service, or a machine file's "wmiError").
class Registry {
  public:
    void add(ProviderPtr provider);                 // replaces a provider of the same class
    ProviderPtr find(QStringView className) const;  // case-insensitive; null if absent
    QStringList classNames() const;
    void setConnectionError(std::optional<QString> error) { connectionError_ = std::move(error); }
    const std::optional<QString>& connectionError() const { return connectionError_; }

  private:
    QHash<QString, ProviderPtr> providers_;  // key: lower-case class name
    std::optional<QString> connectionError_;
};

// The result of ExecQuery (SWbemObjectSet). Walk with next(); Count walks the rest and counts.
// With wbemFlagForwardOnly the collection can be walked once and Count fails.
class ObjectSet {
  public:
    ObjectSet(std::unique_ptr<InstanceCursor> cursor, std::shared_ptr<const wql::Query> query,
              int flags);
    ObjectSet(ObjectSet&&) noexcept;
    ObjectSet& operator=(ObjectSet&&) noexcept;
    ~ObjectSet();

    // Next instance of the walk, nullopt at the end. Throws Error on a failed source.
    std::optional<Instance> next();
    // Starts a new walk (fails with NotSupported on a forward-only collection once walked).
    void rewind();
    // Number of instances (fails with NotSupported on a forward-only collection).
    int count();

  private:
    struct State;
    std::unique_ptr<State> d_;
};

// A connection to root\cimv2 of the local computer (SWbemServices).
class Services {
  public:
    explicit Services(std::shared_ptr<const Registry> registry) : registry_(std::move(registry)) {}
    // Parses and checks the query at once (InvalidQuery, InvalidClass, InvalidProperty); the
    // instances are produced as the walk goes.
    ObjectSet ExecQuery(const QString& text, int flags = wbemFlagReturnImmediately) const;

  private:
    std::shared_ptr<const Registry> registry_;
};

// The management query service of one computer: monikers and the locator.
class QueryService {
  public:
    explicit QueryService(std::shared_ptr<const Registry> registry)
        : registry_(std::move(registry)) {}

    // GetObject("winmgmts:...") for the monikers the window uses; anything that does not name
    // the local computer's root\cimv2 fails with ConnectionFailed.
    Services connect(const QString& moniker) const;
    // SWbemLocator.ConnectServer() without arguments.
    Services ConnectServer() const;

    const Registry& registry() const { return *registry_; }

  private:
    std::shared_ptr<const Registry> registry_;
};

}  // namespace torvix::wmi
