#pragma once

#include "core/Scheduler.h"
#include "mirroring/ElementTree.h"
#include "mirroring/Panel.h"
#include "mirroring/ReceiverSelector.h"

#include <chrono>
#include <memory>
#include <vector>

namespace telvanto::mirroring {

// Receiver selection by driving the desktop panel the way a user would: open the panel from
// its status item, press the screen-mirroring tile, press the receiver's row when its state
// differs from the wanted one, and dismiss the panel with Escape. Waits run on the scheduler;
// calls are independent, and none reports after the selector is gone.
class ControlCenterSelector final : public ReceiverSelector {
public:
    static constexpr core::Duration tileWait = std::chrono::milliseconds(2000);
    static constexpr core::Duration rowWait = std::chrono::milliseconds(4000);
    static constexpr core::Duration pollInterval = std::chrono::milliseconds(150);
    // Lets the panel take the press before it is dismissed.
    static constexpr core::Duration afterRowPress = std::chrono::milliseconds(600);
    static constexpr core::Duration dumpAfterItemPress = std::chrono::milliseconds(1200);
    static constexpr core::Duration dumpBeforeTree = std::chrono::milliseconds(1500);

    ControlCenterSelector(ElementTree& tree, core::Scheduler& scheduler, Panel panel = Panel::controlCenter());
    ~ControlCenterSelector() override;
    ControlCenterSelector(const ControlCenterSelector&) = delete;
    ControlCenterSelector& operator=(const ControlCenterSelector&) = delete;

    void selectReceiver(const QString& name, bool connect, std::function<void(bool)> done) override;
    // path may also be a file URL.
    void dumpControlCenter(const QString& path, std::function<void()> done) override;

private:
    class Run;
    class Selection;
    class Dump;

    void begin(std::unique_ptr<Run> run);
    void remove(const Run* run);

    ElementTree& tree_;
    core::Scheduler& scheduler_;
    const Panel panel_;
    std::vector<std::unique_ptr<Run>> runs_;
};

} // namespace telvanto::mirroring
