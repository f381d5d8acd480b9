// The mDNS backend with no system bus and no daemon: it must neither block nor crash, and
// a resolution still ends by its time limit. A process of its own: the bus address is read
// once per process.
#include "platform/AvahiMdns.h"
#include "transport/QtScheduler.h"
#include "tv/Discovery.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using telvanto::testing::waitUntil;

TEST(Mdns, NoDaemonNoBusNeitherBlocksNorCrashes)
{
    const QByteArray saved = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/telvanto-test-bus");
    telvanto::transport::QtScheduler scheduler;
    {
        telvanto::platform::AvahiMdns mdns(scheduler);
        telvanto::tv::Discovery discovery(mdns, scheduler);
        bool done = false;
        discovery.browse(QStringLiteral("_androidtvremote2._tcp"), [](const QStringList&) {});
        discovery.resolve(QStringLiteral("_androidtvremote2._tcp"), "TV", [&](std::optional<QString> host) {
            EXPECT_EQ(host, std::nullopt);
            done = true;
        });
        EXPECT_FALSE(mdns.isRunning());
        EXPECT_TRUE(waitUntil([&] { return done; }, 8s)) << "the resolution must end by its time limit";
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", saved);
}
