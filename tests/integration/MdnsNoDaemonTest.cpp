// The mDNS backend with no system bus and no daemon: it must neither block nor crash, and
// a resolution still ends by its time limit. A process of its own: the bus address is read
// once per process.
#include "platform/AvahiMdns.h"
#include "tv/Discovery.h"

#include "VirtualScheduler.h"

#include <gtest/gtest.h>

using telvanto::tv::Discovery;

TEST(Mdns, NoDaemonNoBusNeitherBlocksNorCrashes)
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-test-bus");
    telvanto::testing::VirtualScheduler scheduler;
    telvanto::platform::AvahiMdns mdns(scheduler);
    Discovery discovery(mdns, scheduler);
    std::vector<std::optional<QString>> results;
    discovery.browse(QStringLiteral("_androidtvremote2._tcp"), [](const QStringList&) {});
    discovery.resolve(QStringLiteral("_androidtvremote2._tcp"), "TV", [&](std::optional<QString> host) { results.push_back(host); });
    scheduler.advance(Discovery::resolveTimeout); // the client is retried meanwhile, in vain
    EXPECT_EQ(results, (std::vector<std::optional<QString>>{std::nullopt})) << "the resolution ends by its time limit";
    EXPECT_FALSE(mdns.isRunning());
}
