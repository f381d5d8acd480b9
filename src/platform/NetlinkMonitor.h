#pragma once

#include "core/Scheduler.h"
#include "platform/NetworkMonitor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace telvanto::platform {

// Network changes from the kernel: an rtnetlink socket subscribed to links, IPv4 addresses and
// IPv4 routes. A burst of messages is looked at once, a short while after it began, and
// reported only when it changed what a remote cares about (see Reachability): Wi-Fi scans and
// DHCP renewals that keep the address must not disturb a connection attempt.
class NetlinkMonitor final : public NetworkMonitor {
public:
    static constexpr std::chrono::milliseconds settleTime{200};

    struct Interface {
        std::string name;
        unsigned flags = 0;                 // IFF_*
        std::vector<std::uint32_t> ipv4 {}; // host byte order
    };

    // What a report is about: whether the network is usable, and the IPv4 addresses of the
    // interfaces that make it so (a new address is a new network, even if still usable).
    struct Reachability {
        bool usable = false;
        std::vector<std::uint32_t> addresses; // sorted
        bool operator==(const Reachability&) const = default;
    };

    explicit NetlinkMonitor(core::Scheduler& scheduler);
    ~NetlinkMonitor() override;

    void start(std::function<void(bool usable)> onChange) override;
    void stop() override;

    // Usable for a LAN remote: some interface other than loopback is up, has carrier and
    // holds an IPv4 address. A default route is not needed to reach a TV next door.
    static bool usable(const std::vector<Interface>& interfaces);
    static Reachability reachability(const std::vector<Interface>& interfaces);
    static std::vector<Interface> interfaces();

private:
    void drain();
    void report();

    core::Scheduler& scheduler_;
    std::function<void(bool)> onChange_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    core::TaskHandle settling_;
    Reachability last_; // as last reported, or as found at start
};

} // namespace telvanto::platform
