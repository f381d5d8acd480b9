#pragma once

#include "core/Scheduler.h"

#include <map>
#include <memory>

namespace telvanto::testing {

// Virtual time for tests: tasks run only when the test advances the clock, in time order
// (tasks due at the same instant run in the order they were scheduled).
class VirtualScheduler final : public core::Scheduler {
public:
    core::TimePoint now() const override { return now_; }

    core::TaskHandle schedule(core::Duration delay, std::function<void()> task) override
    {
        const Key key{now_ + std::max(delay, core::Duration::zero()), next_++};
        auto entry = std::make_shared<Entry>(std::move(task));
        tasks_.emplace(key, entry);
        return std::make_unique<Handle>(entry);
    }

    // Moves time forward by the given amount, running every task that falls due on the way
    // at its own instant (tasks scheduled by tasks included).
    void advance(core::Duration by)
    {
        const core::TimePoint end = now_ + by;
        while (!tasks_.empty() && tasks_.begin()->first.first <= end) {
            auto it = tasks_.begin();
            now_ = it->first.first;
            auto entry = it->second;
            tasks_.erase(it);
            if (entry->task) {
                auto task = std::move(entry->task);
                entry->task = nullptr;
                task();
            }
        }
        now_ = end;
    }

    // Number of tasks scheduled and not cancelled.
    std::size_t pending() const
    {
        std::size_t n = 0;
        for (const auto& [key, entry] : tasks_) n += entry->task ? 1 : 0;
        return n;
    }

private:
    struct Entry {
        explicit Entry(std::function<void()> t) : task(std::move(t)) {}
        std::function<void()> task;
    };
    struct Handle final : core::ScheduledTask {
        explicit Handle(std::shared_ptr<Entry> e) : entry(std::move(e)) {}
        ~Handle() override { entry->task = nullptr; }
        std::shared_ptr<Entry> entry;
    };
    using Key = std::pair<core::TimePoint, std::uint64_t>;

    core::TimePoint now_{std::chrono::hours(1000)};
    std::uint64_t next_ = 0;
    std::map<Key, std::shared_ptr<Entry>> tasks_;
};

} // namespace telvanto::testing
