// The wake signal from a stand-in logind on a bus of the test's own.
#include "platform/WakeMonitor.h"

#include "PrivateBus.h"
#include "TempDir.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <gtest/gtest.h>

using telvanto::platform::WakeMonitor;
using namespace telvanto::testing;

TEST(WakeMonitor, OnlyLogindWakingUpCounts)
{
    // Without a bus the monitor quietly does nothing.
    EXPECT_FALSE(WakeMonitor(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"))).listening());
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    TempDir dir;
    PrivateBus bus(dir / "bus");
    if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection logind = bus.connect(), other = bus.connect(), app = bus.connect();
    WakeMonitor monitor(app); // logind takes its name only after the monitor subscribed
    ASSERT_EQ(logind.interface()->registerService(WakeMonitor::service).value(), QDBusConnectionInterface::ServiceRegistered);
    settle(logind, app); // the monitor has seen who owns the name
    int wakes = 0;
    QObject::connect(&monitor, &WakeMonitor::woke, [&] { ++wakes; });
    // Who sends PrepareForSleep, its arguments in order, and the wakes they make.
    const struct { const char* what; QDBusConnection& sender; std::vector<bool> signals; int wakes; } steps[] = {
        {"sleep then resume", logind, {true, false}, 1}, {"a look-alike from another client", other, {false}, 0}};
    for (const auto& step : steps) {
        wakes = 0;
        for (bool sleeping : step.signals)
            ASSERT_TRUE(step.sender.send(QDBusMessage::createSignal(WakeMonitor::path, WakeMonitor::interface, WakeMonitor::signal) << sleeping));
        settle(step.sender, app);
        EXPECT_EQ(wakes, step.wakes) << step.what;
    }
}
