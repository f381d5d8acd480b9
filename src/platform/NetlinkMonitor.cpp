#include "platform/NetlinkMonitor.h"

#include <QSocketNotifier>

#include <cerrno>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <netinet/in.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace telvanto::platform {

NetlinkMonitor::NetlinkMonitor(core::Scheduler& scheduler) : scheduler_(scheduler) {}

NetlinkMonitor::~NetlinkMonitor() { stop(); }

void NetlinkMonitor::start(std::function<void(bool)> onChange)
{
    stop();
    onChange_ = std::move(onChange);
    fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd_ < 0) return; // no netlink (a restricted sandbox): the connection still heals by its timers
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // Taken after subscribing, so no change can fall between the two.
    last_ = reachability(interfaces());
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
}

void NetlinkMonitor::stop()
{
    settling_.reset();
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void NetlinkMonitor::drain()
{
    // The messages themselves are not read: the state is taken afresh once things settle.
    // ENOBUFS (messages were lost) means the same.
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0 || (n < 0 && (errno == EINTR || errno == ENOBUFS))) continue;
        break;
    }
    if (!settling_) settling_ = scheduler_.schedule(settleTime, [this] { report(); });
}

void NetlinkMonitor::report()
{
    settling_.reset(); // messages from here on start a new round
    Reachability now = reachability(interfaces());
    if (now == last_) return;
    last_ = std::move(now);
    if (auto onChange = onChange_) onChange(last_.usable);
}

namespace {

bool counts(const NetlinkMonitor::Interface& i)
{
    return !i.ipv4.empty() && !(i.flags & IFF_LOOPBACK) && (i.flags & IFF_UP) && (i.flags & IFF_RUNNING);
}

} // namespace

bool NetlinkMonitor::usable(const std::vector<Interface>& interfaces)
{
    return std::any_of(interfaces.begin(), interfaces.end(), counts);
}

NetlinkMonitor::Reachability NetlinkMonitor::reachability(const std::vector<Interface>& interfaces)
{
    Reachability r;
    for (const Interface& i : interfaces) {
        if (counts(i)) r.addresses.insert(r.addresses.end(), i.ipv4.begin(), i.ipv4.end());
    }
    r.usable = !r.addresses.empty();
    std::sort(r.addresses.begin(), r.addresses.end());
    r.addresses.erase(std::unique(r.addresses.begin(), r.addresses.end()), r.addresses.end());
    return r;
}

std::vector<NetlinkMonitor::Interface> NetlinkMonitor::interfaces()
{
    std::vector<Interface> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        auto it = std::find_if(found.begin(), found.end(), [a](const Interface& i) { return i.name == a->ifa_name; });
        if (it == found.end()) it = found.insert(found.end(), Interface{a->ifa_name, a->ifa_flags});
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            it->ipv4.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr));
        }
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace telvanto::platform
