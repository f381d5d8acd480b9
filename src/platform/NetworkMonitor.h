#pragma once

#include <functional>

namespace telvanto::platform {

// Tells its owner when the network changed and whether it is usable now.
class NetworkMonitor {
public:
    virtual ~NetworkMonitor() = default;

    // Reports when the network turns usable or unusable or moves to other addresses, from
    // the event loop; never from inside start itself.
    virtual void start(std::function<void(bool usable)> onChange) = 0;
    virtual void stop() = 0;
};

} // namespace telvanto::platform
