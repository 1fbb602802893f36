#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace torvix {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop, so the program ends through
// its normal stop path instead of being killed mid-event. Only one may exist at a time.
class QuitOnSignals : public QObject {
    Q_OBJECT
  public:
    explicit QuitOnSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~QuitOnSignals() override;

  private:
    void readSignal();
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace torvix
