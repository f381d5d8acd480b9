#include "app/RepeatAction.h"

#include <cmath>

namespace telvanto::app {

RepeatAction::RepeatAction(core::Scheduler& scheduler, std::function<void()> action, QObject* parent)
    : QObject(parent), scheduler_(scheduler), action_(std::move(action))
{
}

RepeatAction::~RepeatAction() = default;

void RepeatAction::press(double x, double y)
{
    const bool was = pressing();
    pressStart_ = QPointF{x, y};
    timer_.reset();
    action_();
    timer_ = scheduler_.schedule(firstRepeat, [this] { fire(); });
    if (!was) Q_EMIT pressingChanged();
}

void RepeatAction::move(double x, double y)
{
    if (!pressStart_) return;
    // Beyond the tolerance (or an unreadable position) the press is over.
    if (!(std::hypot(x - pressStart_->x(), y - pressStart_->y()) <= tolerance)) release();
}

void RepeatAction::release()
{
    timer_.reset();
    if (!pressStart_) return;
    pressStart_.reset();
    Q_EMIT pressingChanged();
}

void RepeatAction::fire()
{
    timer_ = scheduler_.schedule(interval, [this] { fire(); });
    action_();
}

} // namespace telvanto::app
