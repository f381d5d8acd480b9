#pragma once

#include "core/Scheduler.h"
#include "mirroring/AccessibilityAccess.h"
#include "mirroring/MirrorTV.h"
#include "mirroring/ReceiverSelector.h"

#include <QStringList>

#include <optional>

namespace telvanto::testing {

// Receiver selection that answers after a delay on the scheduler, or never (no answer set).
class FakeReceiverSelector final : public mirroring::ReceiverSelector {
public:
    explicit FakeReceiverSelector(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    void selectReceiver(const QString& name, bool connect, std::function<void(bool)> done) override
    {
        calls << (connect ? "on " : "off ") + name;
        if (answer) task_ = scheduler_.schedule(delay, [done = std::move(done), ok = *answer] { done(ok); });
    }
    void dumpControlCenter(const QString&, std::function<void()> done) override { done(); }

    std::optional<bool> answer = true;
    core::Duration delay{};
    QStringList calls;

private:
    core::Scheduler& scheduler_;
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
    void wakeUp() override { sent << "wakeUp"; }
    void launch(const QString& package) override { sent << "launch " + package; }
    QStringList sent;
};

} // namespace telvanto::testing
