// The wake signal from a stand-in logind on a bus of the test's own.
#include "platform/WakeMonitor.h"

#include "EventLoop.h"
#include "PrivateBus.h"
#include "TempDir.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <gtest/gtest.h>

using telvanto::platform::WakeMonitor;
using namespace telvanto::testing;

namespace {

QDBusMessage prepareForSleep(bool sleeping)
{
    QDBusMessage m = QDBusMessage::createSignal(QLatin1String(WakeMonitor::path), QLatin1String(WakeMonitor::interface),
                                                QLatin1String(WakeMonitor::signal));
    m << sleeping;
    return m;
}

bool ownLogind(QDBusConnection& bus)
{
    return bus.interface()->registerService(QLatin1String(WakeMonitor::service)).value() == QDBusConnectionInterface::ServiceRegistered;
}

} // namespace

TEST(WakeMonitor, OnlyLogindWakingUpCounts)
{
    struct Row {
        const char* what;
        bool fromLogind; // sent by the owner of the logind name, else by another client
        bool logindFirst; // logind on the bus before the monitor subscribes
        std::vector<bool> signals; // PrepareForSleep arguments, in order
        int wakes;
    };
    const Row rows[] = {
        {"resumed", true, true, {false}, 1},
        {"going to sleep is no wake", true, true, {true}, 0},
        {"sleep then resume", true, true, {true, false}, 1},
        {"two resumes", true, true, {false, false}, 2},
        {"a look-alike from another client", false, true, {false}, 0},
        {"logind starting after the monitor", true, false, {false}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        PrivateBus bus(dir / "bus");
        if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
        QDBusConnection logind = bus.connect();
        QDBusConnection other = bus.connect();
        QDBusConnection app = bus.connect();
        if (row.logindFirst) {
            ASSERT_TRUE(ownLogind(logind));
        }
        WakeMonitor monitor(app);
        EXPECT_TRUE(monitor.listening());
        if (!row.logindFirst) {
            ASSERT_TRUE(ownLogind(logind));
        }
        settle(logind, app); // the monitor has seen who owns the name

        int wakes = 0;
        QObject::connect(&monitor, &WakeMonitor::woke, [&] { ++wakes; });
        QDBusConnection& sender = row.fromLogind ? logind : other;
        for (bool sleeping : row.signals) ASSERT_TRUE(sender.send(prepareForSleep(sleeping)));
        settle(sender, app);
        EXPECT_EQ(wakes, row.wakes);
    }
}

TEST(WakeMonitor, NoBusMeansQuietlyNothing)
{
    const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
    WakeMonitor monitor(none);
    EXPECT_FALSE(monitor.listening());
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}
