#pragma once

namespace telvanto::mirroring {

// Whether this process may drive other applications through the accessibility bus.
class AccessibilityAccess {
public:
    virtual ~AccessibilityAccess() = default;
    virtual bool isEnabled() = 0;       // accessibility bus reachable and IsEnabled true
    virtual void requestEnable() = 0;   // sets IsEnabled (the Linux counterpart of the prompt)
};

} // namespace telvanto::mirroring
