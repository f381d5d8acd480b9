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
    // fromLogind: sent by the owner of the logind name, else by another client; logindFirst: logind on
    // the bus before the monitor subscribes; signals: PrepareForSleep arguments, in order.
    const struct { const char* what; bool fromLogind, logindFirst; std::vector<bool> signals; int wakes; } rows[] = {
        {"resumed", true, true, {false}, 1}, {"going to sleep is no wake", true, true, {true}, 0}, {"sleep then resume", true, true, {true, false}, 1},
        {"two resumes", true, true, {false, false}, 2}, {"a look-alike from another client", false, true, {false}, 0},
        {"logind starting after the monitor", true, false, {false}, 1}};
    // Without a bus the monitor quietly does nothing.
    EXPECT_FALSE(WakeMonitor(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"))).listening());
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        PrivateBus bus(dir / "bus");
        if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
        QDBusConnection logind = bus.connect(), other = bus.connect(), app = bus.connect();
        const auto ownLogind = [&] { return logind.interface()->registerService(WakeMonitor::service).value() == QDBusConnectionInterface::ServiceRegistered; };
        ASSERT_TRUE(!row.logindFirst || ownLogind());
        WakeMonitor monitor(app);
        EXPECT_TRUE(monitor.listening());
        ASSERT_TRUE(row.logindFirst || ownLogind());
        settle(logind, app); // the monitor has seen who owns the name
        int wakes = 0;
        QObject::connect(&monitor, &WakeMonitor::woke, [&] { ++wakes; });
        QDBusConnection& sender = row.fromLogind ? logind : other;
        for (bool sleeping : row.signals)
            ASSERT_TRUE(sender.send(QDBusMessage::createSignal(WakeMonitor::path, WakeMonitor::interface, WakeMonitor::signal) << sleeping));
        settle(sender, app);
        EXPECT_EQ(wakes, row.wakes);
    }
}
