#include "transport/QtScheduler.h"

#include <QTimer>

#include <algorithm>
#include <climits>

namespace telvanto::transport {

namespace {

class TimerTask final : public core::ScheduledTask {
public:
    TimerTask(core::Duration delay, std::function<void()> task) : task_(std::move(task))
    {
        // QTimer takes an int of milliseconds; round up so a task never runs early.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto run = std::move(task_);
            task_ = nullptr;
            if (run) run();
        });
        timer_.start(static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX)));
    }

private:
    QTimer timer_;
    std::function<void()> task_;
};

} // namespace

core::TaskHandle QtScheduler::schedule(core::Duration delay, std::function<void()> task)
{
    return std::make_unique<TimerTask>(delay, std::move(task));
}

} // namespace telvanto::transport
