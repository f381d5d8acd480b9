#include "app/Touchpad.h"

#include <algorithm>
#include <cmath>

namespace telvanto::app {

Touchpad::Touchpad(core::Scheduler& scheduler, Press press, QObject* parent)
    : QObject(parent), scheduler_(scheduler), press_(std::move(press))
{
}

Touchpad::~Touchpad() = default;

Touchpad::TVKey Touchpad::zone(QSizeF size, QPointF p)
{
    const double w = size.width(), h = size.height();
    if (!(w > 0) || !(h > 0)) return TVKey::center;
    const double nx = (p.x() - w / 2) / (w / 2);
    const double ny = (p.y() - h / 2) / (h / 2);
    // NaN coordinates fail every comparison and land in the centre.
    if (!(std::max(std::abs(nx), std::abs(ny)) >= centreBox)) return TVKey::center;
    if (std::abs(ny) <= std::abs(nx)) return nx > 0 ? TVKey::right : TVKey::left;
    return ny > 0 ? TVKey::down : TVKey::up;
}

QString Touchpad::flashName() const
{
    return flash_ ? QString::fromLatin1(protocol::tvKeyName(*flash_)) : QString();
}

void Touchpad::setSize(QSizeF size)
{
    if (size == size_) return;
    size_ = size;
    Q_EMIT sizeChanged();
}

void Touchpad::pointerMoved(double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const QPointF p{x, y};
    if (!input_) { // the press
        input_ = Input{p, false};
        downZone_ = zone(size_, p);
        repeating_ = false;
        holdTask_.reset();
        if (downZone_ != TVKey::center) {
            const TVKey z = downZone_;
            holdTask_ = scheduler_.schedule(holdDelay, [this, z] { holdTick(z); });
        }
    }

    double ox = input_->origin.x(), oy = input_->origin.y();
    std::vector<TVKey> keys;
    while (std::max(std::abs(x - ox), std::abs(y - oy)) >= step) {
        if (std::abs(y - oy) <= std::abs(x - ox)) {
            const bool right = x - ox > 0;
            keys.push_back(right ? TVKey::right : TVKey::left);
            ox += right ? step : -step;
            oy = y;
        } else {
            const bool down = y - oy > 0;
            keys.push_back(down ? TVKey::down : TVKey::up);
            oy += down ? step : -step;
            ox = x;
        }
    }
    input_ = Input{{ox, oy}, input_->moved || !keys.empty()};
    if (keys.empty()) return;
    holdTask_.reset();
    for (const TVKey key : keys) send(key);
}

void Touchpad::released()
{
    holdTask_.reset();
    if (input_ && !input_->moved && !repeating_) send(downZone_);
    input_.reset();
    repeating_ = false;
}

void Touchpad::holdTick(TVKey z)
{
    if (!input_ || input_->moved) return;
    repeating_ = true;
    send(z);
    holdTask_ = scheduler_.schedule(holdEvery, [this, z] { holdTick(z); });
}

void Touchpad::send(TVKey key)
{
    press_(key);
    setFlash(key);
    // Resets run in the order they were made (same delay), so the oldest handles are the
    // ones already spent.
    for (; flashResetsRun_ > 0 && !flashResets_.empty(); --flashResetsRun_) flashResets_.pop_front();
    flashResets_.push_back(scheduler_.schedule(flashFor, [this, key] {
        ++flashResetsRun_;
        if (flash_ == key) setFlash(std::nullopt);
    }));
}

void Touchpad::setFlash(std::optional<TVKey> key)
{
    if (key == flash_) return;
    flash_ = key;
    Q_EMIT flashChanged();
}

} // namespace telvanto::app
