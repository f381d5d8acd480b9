#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace telvanto::core {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using Duration = SteadyClock::duration;

// A scheduled task; destroying the handle cancels the task if it has not run yet.
class ScheduledTask {
public:
    virtual ~ScheduledTask() = default;
};
using TaskHandle = std::unique_ptr<ScheduledTask>;

// The clock and the timer of everything that waits. Production runs on the Qt event loop;
// tests advance virtual time and check exact delays.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    virtual TimePoint now() const = 0;

    // Runs the task once, after the delay, on the scheduler's thread. Keep the handle: the
    // task is cancelled when it goes.
    [[nodiscard]] virtual TaskHandle schedule(Duration delay, std::function<void()> task) = 0;
};

} // namespace telvanto::core
