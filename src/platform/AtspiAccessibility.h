#pragma once

#include "mirroring/AccessibilityAccess.h"

namespace telvanto::platform {

// The desktop's accessibility switch: org.a11y.Status "IsEnabled" on the session bus's
// accessibility bus launcher. No session bus, no launcher or no answer in time reads as off.
class AtspiAccessibility final : public mirroring::AccessibilityAccess {
public:
    bool isEnabled() override;
    void requestEnable() override;
};

} // namespace telvanto::platform
