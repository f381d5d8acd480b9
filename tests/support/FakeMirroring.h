#pragma once

#include "core/Scheduler.h"
#include "mirroring/AccessibilityAccess.h"
#include "mirroring/MirrorTV.h"
#include "mirroring/ReceiverSelector.h"

#include <QStringList>

namespace telvanto::testing {

// Receiver selection that answers on the scheduler's next turn.
class FakeReceiverSelector final : public mirroring::ReceiverSelector {
public:
    explicit FakeReceiverSelector(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    void selectReceiver(const QString& name, bool connect, std::function<void(bool)> done) override
    {
        calls << (connect ? "on " : "off ") + name;
        task_ = scheduler_.schedule({}, [done = std::move(done), ok = answer] { done(ok); });
    }
    void dumpControlCenter(const QString&, std::function<void()> done) override { done(); }

    bool answer = true;
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
