#pragma once

#include <cstdint>
#include <functional>

namespace torvix {

// What silent servers may cost one start-up sequence of the window, or one whole command-line
// mode, together: with room for the rest within 2 s.
inline constexpr int slowSourcesBudgetMs = 1800;

// One bound shared by every slow outside source (the directory, the print server) while a scope
// is open: the start-up sequence opens one per activation, so that two silent servers cannot
// add up their own bounds.
class WaitBudget {
  public:
    // Opens a budget of `ms` until the scope ends. Scopes do not nest: an inner one keeps the
    // outer budget.
    class Scope {
      public:
        explicit Scope(int ms);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        bool opened_ = false;
    };

    // The smaller of `ownMs` and what is left of the open budget, never below 1 ms (0 means "no
    // limit" to some libraries); `ownMs` when no budget is open.
    static int bound(int ownMs);

    // Which scope is open: a number no other scope of this process had, 0 when none is open. A
    // source read once under a scope may keep its answer for that scope.
    static std::uint64_t openScope();
};

// Runs `work` on a thread of its own and returns once it has finished (rethrowing what it
// threw). On the application's thread the wait keeps handling posted, timer and paint events,
// not user input, so that a window repaints and its clock keeps time while a server is slow.
// `work` must bound its own waits.
void runServing(const std::function<void()>& work);

// Starts `work` on a thread of its own and waits at most `ms` for it, serving events as above.
// Returns whether it finished in time; one that overruns goes on alone, so it must own what it
// touches. Without a thread to be had it returns false without running `work`.
bool runServingWithin(std::function<void()> work, int ms);

}  // namespace torvix
