#pragma once

#include "mirroring/ElementTree.h"

#include <chrono>
#include <memory>

namespace telvanto::platform {

// Other applications' accessibility trees over AT-SPI, spoken directly on the accessibility
// bus with QtDBus. Mapping: title = accessible name, description = description, identifier =
// accessible id (or, for toolkits without ids, a description that is one word), value = the
// on/off state of checkable elements or the Value interface, help = help text, role and
// subrole = the role name and its localized form, press = the first action. Status items are
// the children of the application's status bar. Escape goes through the registry's device
// event controller.
//
// Calls block the main thread, each for at most callTimeout; an application that lets a call
// time out or leaves the bus is not asked again until the next application() lookup, so a
// hung or vanished panel costs one timeout, never a hang.
class AtspiElementTree final : public mirroring::ElementTree {
public:
    static constexpr std::chrono::milliseconds callTimeout{500};

    AtspiElementTree();
    ~AtspiElementTree() override;
    AtspiElementTree(const AtspiElementTree&) = delete;
    AtspiElementTree& operator=(const AtspiElementTree&) = delete;

    mirroring::ElementPtr application(const QString& name) override;
    std::vector<mirroring::ElementPtr> statusItems(const mirroring::Element& application) override;
    void postEscape() override;

    struct Bus;

private:
    std::shared_ptr<Bus> bus_;
};

} // namespace telvanto::platform
