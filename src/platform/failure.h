#pragma once

#include <QString>
#include <stdexcept>

namespace torvix {

// Every failure of an outside source (management query, operating-system function, file,
// directory) is thrown as a Failure. Routines without a guard let it reach the runner, which
// reports it; routines that skip failures catch it step by step.
class Failure : public std::runtime_error {
  public:
    explicit Failure(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

  private:
    QString message_;
};

// What went wrong, for a message: a Failure's own text, else the exception's.
inline QString failureMessage(const std::exception& e) {
    if (const auto* f = dynamic_cast<const Failure*>(&e)) return f->message();
    return QString::fromLocal8Bit(e.what());
}

}  // namespace torvix
