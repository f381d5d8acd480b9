#pragma once

#include "core/Scheduler.h"
#include "platform/NetworkMonitor.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace telvanto::platform {

// Network changes from the kernel: an rtnetlink socket subscribed to links, IPv4 addresses and
// IPv4 routes. A burst of messages is reported once, a short while after it began.
class NetlinkMonitor final : public NetworkMonitor {
public:
    static constexpr std::chrono::milliseconds settleTime{200};

    struct Interface {
        std::string name;
        unsigned flags = 0; // IFF_*
        bool hasIPv4 = false;
    };

    explicit NetlinkMonitor(core::Scheduler& scheduler);
    ~NetlinkMonitor() override;

    void start(std::function<void(bool usable)> onChange) override;
    void stop() override;

    // Usable for a LAN remote: some interface other than loopback is up, has carrier and
    // holds an IPv4 address. A default route is not needed to reach a TV next door.
    static bool usable(const std::vector<Interface>& interfaces);
    static std::vector<Interface> interfaces();

private:
    void drain();
    void report();

    core::Scheduler& scheduler_;
    std::function<void(bool)> onChange_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    core::TaskHandle settling_;
};

} // namespace telvanto::platform
