#include "platform/NetlinkMonitor.h"

#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <net/if.h>

using telvanto::platform::NetlinkMonitor;

TEST(NetlinkMonitor, UsableMeansAnUpInterfaceWithIPv4BesidesLoopback)
{
    const unsigned up = IFF_UP | IFF_RUNNING;
    const struct {
        const char* name;
        std::vector<NetlinkMonitor::Interface> interfaces;
        bool usable;
    } rows[] = {
        {"nothing", {}, false},
        {"loopback only", {{"lo", up | IFF_LOOPBACK, true}}, false},
        {"wired", {{"lo", up | IFF_LOOPBACK, true}, {"eth0", up, true}}, true},
        {"cable out", {{"eth0", IFF_UP, true}}, false},
        {"down", {{"eth0", IFF_RUNNING, true}}, false},
        {"no IPv4 address", {{"wlan0", up, false}}, false},
        {"second interface", {{"eth0", IFF_UP, true}, {"wlan0", up, true}}, true},
    };
    for (const auto& row : rows) EXPECT_EQ(NetlinkMonitor::usable(row.interfaces), row.usable) << row.name;
}

TEST(NetlinkMonitor, SeesLoopbackAndReportsNothingOnStart)
{
    const auto interfaces = NetlinkMonitor::interfaces();
    EXPECT_TRUE(std::any_of(interfaces.begin(), interfaces.end(), [](const auto& i) { return i.name == "lo" && i.hasIPv4; }));

    int argc = 0;
    QCoreApplication app(argc, nullptr); // the socket notifier needs one
    telvanto::testing::VirtualScheduler scheduler;
    NetlinkMonitor monitor(scheduler);
    int reports = 0;
    monitor.start([&](bool) { ++reports; });
    scheduler.advance(std::chrono::seconds(1));
    QCoreApplication::processEvents();
    monitor.stop();
    monitor.stop();
    EXPECT_EQ(reports, 0);
}
