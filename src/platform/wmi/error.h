#pragma once

#include "platform/failure.h"

namespace torvix::wmi {

// Failures of the management query service, each with its own code so a routine or a test can
// tell them apart.
class Error : public Failure {
  public:
    enum class Code {
        ConnectionFailed,  // moniker not understood, other computer or namespace, service off
        InvalidQuery,      // malformed WQL
        InvalidClass,      // no such class
        InvalidProperty,   // no such property (in the query, or read from an instance)
        ProviderFailure,   // the class's source failed
        NotSupported,      // e.g. Count on a forward-only collection, a second walk of one
        TypeMismatch,      // a value used as a kind it cannot be taken as (null as text, ...)
    };
    Error(Code code, const QString& message) : Failure(message), code_(code) {}
    Code code() const { return code_; }

  private:
    Code code_;
};

}  // namespace torvix::wmi
