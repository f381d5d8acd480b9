#pragma once

#include "core/Scheduler.h"
#include "mirroring/AccessibilityAccess.h"
#include "mirroring/MirrorTV.h"
#include "mirroring/ReceiverSelector.h"

#include <QStringList>

#include <chrono>
#include <optional>

namespace telvanto::testing {

// Receiver selection that answers after a delay on the scheduler; the outcome is set by the
// test, or left open (answer none) until the test calls finish().
class FakeReceiverSelector final : public mirroring::ReceiverSelector {
public:
    explicit FakeReceiverSelector(core::Scheduler& scheduler) : scheduler_(scheduler) {}

    void selectReceiver(const QString& name, bool connect, std::function<void(bool)> done) override
    {
        calls << (connect ? QStringLiteral("on ") : QStringLiteral("off ")) + name;
        pending_ = std::move(done);
        if (answer) finishAfter(delay, *answer);
    }
    void dumpControlCenter(const QString& path, std::function<void()> done) override
    {
        calls << QStringLiteral("dump ") + path;
        task_ = scheduler_.schedule(delay, std::move(done));
    }
    void finishAfter(core::Duration after, bool selected)
    {
        task_ = scheduler_.schedule(after, [this, selected] { if (auto done = std::move(pending_)) done(selected); });
    }

    std::optional<bool> answer = true;
    core::Duration delay = std::chrono::milliseconds(0);
    QStringList calls;

private:
    core::Scheduler& scheduler_;
    std::function<void(bool)> pending_;
    core::TaskHandle task_;
};

class FakeAccessibility final : public mirroring::AccessibilityAccess {
public:
    bool isEnabled() override { return enabled; }
    void requestEnable() override { ++requests; }
    bool enabled = true;
    int requests = 0;
};

class RecordingTV final : public mirroring::MirrorTV {
public:
    void wakeUp() override { sent << QStringLiteral("wakeUp"); }
    void launch(const QString& package) override { sent << QStringLiteral("launch ") + package; }
    QStringList sent;
};

} // namespace telvanto::testing
