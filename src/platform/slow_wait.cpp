#include "platform/slow_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace torvix {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::mutex budgetMutex;
bool budgetOpen = false;
std::uint64_t budgetScope = 0;  // the open one's, else the last one's
SteadyClock::time_point budgetEnd;

// What the waiting thread and the worker share; it outlives whichever ends last.
struct Work {
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    // The application's thread waits in an event loop for this work: only then may the worker
    // wake it through the application, which is certainly alive then. A worker left to end
    // alone never touches Qt (the application may be going away by then).
    bool serving = false;
    std::exception_ptr failure;
    QEventLoop* loop = nullptr;  // touched on the waiting thread only
};

void finish(const std::shared_ptr<Work>& w) {
    bool wake = false;
    {
        const std::lock_guard lock(w->mutex);
        w->finished = true;
        wake = w->serving;
    }
    w->finishedChanged.notify_all();
    // Wakes the waiting thread's event loop; the call runs there, where `loop` lives.
    if (QCoreApplication* app = wake ? QCoreApplication::instance() : nullptr)
        QMetaObject::invokeMethod(
            app,
            [w] {
                if (w->loop) w->loop->quit();
            },
            Qt::QueuedConnection);
}

bool isFinished(Work& w) {
    const std::lock_guard lock(w.mutex);
    return w.finished;
}

void setServing(Work& w, bool serving) {
    const std::lock_guard lock(w.mutex);
    w.serving = serving;
}

bool onApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Waits until `w` has finished or `deadline` (none: without end) has passed.
bool waitFor(const std::shared_ptr<Work>& w, const SteadyClock::time_point* deadline) {
    if (onApplicationThread()) {
        setServing(*w, true);
        while (!isFinished(*w)) {
            int leftMs = -1;
            if (deadline) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    *deadline - SteadyClock::now());
                if (left.count() <= 0) break;
                leftMs = static_cast<int>(left.count());
            }
            QEventLoop loop;
            w->loop = &loop;
            QTimer timeout;
            bool timedOut = false;
            if (leftMs >= 0) {
                timeout.setSingleShot(true);
                timeout.setTimerType(Qt::PreciseTimer);
                QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
                    timedOut = true;
                    loop.quit();
                });
                timeout.start(leftMs);
            }
            // Checked again now that the loop can be woken: the worker may have just ended.
            if (!isFinished(*w)) loop.exec(QEventLoop::ExcludeUserInputEvents);
            w->loop = nullptr;
            // An application going down serves nothing more: the rest is waited for plainly.
            if (QCoreApplication::closingDown()) break;
            // Neither woken nor timed out: the application was told to exit, after which every
            // new loop returns at once; going round again would only spin.
            if (!timedOut && !isFinished(*w)) break;
        }
        setServing(*w, false);
    }
    std::unique_lock lock(w->mutex);
    if (deadline)
        return w->finishedChanged.wait_until(lock, *deadline, [&] { return w->finished; });
    w->finishedChanged.wait(lock, [&] { return w->finished; });
    return true;
}

std::shared_ptr<Work> start(std::function<void()> work) {
    auto w = std::make_shared<Work>();
    std::thread([w, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            w->failure = std::current_exception();
        }
        finish(w);
    }).detach();
    return w;
}

}  // namespace

WaitBudget::Scope::Scope(int ms) {
    const std::lock_guard lock(budgetMutex);
    if (budgetOpen) return;
    budgetOpen = true;
    opened_ = true;
    ++budgetScope;
    budgetEnd = SteadyClock::now() + std::chrono::milliseconds(ms);
}

WaitBudget::Scope::~Scope() {
    if (!opened_) return;
    const std::lock_guard lock(budgetMutex);
    budgetOpen = false;
}

int WaitBudget::bound(int ownMs) {
    const std::lock_guard lock(budgetMutex);
    if (!budgetOpen) return std::max(1, ownMs);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(budgetEnd - SteadyClock::now());
    return static_cast<int>(
        std::clamp<std::chrono::milliseconds::rep>(left.count(), 1, std::max(1, ownMs)));
}

std::uint64_t WaitBudget::openScope() {
    const std::lock_guard lock(budgetMutex);
    return budgetOpen ? budgetScope : 0;
}

void runServing(const std::function<void()>& work) {
    std::shared_ptr<Work> w;
    try {
        // The worker only borrows `work`: this call returns after it has ended.
        w = start([&work] { work(); });
    } catch (const std::system_error&) {
        work();  // no thread to be had: wait here
        return;
    }
    waitFor(w, nullptr);
    if (w->failure) std::rethrow_exception(w->failure);
}

bool runServingWithin(std::function<void()> work, int ms) {
    std::shared_ptr<Work> w;
    try {
        w = start(std::move(work));
    } catch (const std::system_error&) {
        return false;
    }
    const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    return waitFor(w, &deadline);
}

}  // namespace torvix
