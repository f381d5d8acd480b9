#pragma once

#include "core/Scheduler.h"

namespace telvanto::transport {

// The real clock and timers: single-shot QTimers on the calling thread's event loop.
class QtScheduler final : public core::Scheduler {
public:
    core::TimePoint now() const override { return core::SteadyClock::now(); }
    core::TaskHandle schedule(core::Duration delay, std::function<void()> task) override;
};

} // namespace telvanto::transport
