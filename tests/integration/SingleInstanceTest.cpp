// One instance per session, on a session bus of the test's own: each connection plays one
// telvanto process.
#include "app/SingleInstance.h"

#include "PrivateBus.h"
#include "TempDir.h"

#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <gtest/gtest.h>

using telvanto::app::SingleInstance;
using Role = SingleInstance::Role;
using namespace telvanto::testing;

TEST(SingleInstance, TheFirstRunsLaterOnesShowItsWindow)
{
    // Steps: "+" a new instance claims (its role is recorded), "-N" instance N goes away,
    // "squat" another client holds the name without answering.
    struct Row {
        const char* script;
        std::vector<Role> roles;
        std::vector<int> shows; // showRequested per instance, at the end
    };
    const Row rows[] = {
        {"+", {Role::first}, {0}},
        {"+ +", {Role::first, Role::second}, {1, 0}},
        {"+ + +", {Role::first, Role::second, Role::second}, {2, 0, 0}},
        {"+ -0 +", {Role::first, Role::first}, {0, 0}},
        {"+ + -0 + +", {Role::first, Role::second, Role::first, Role::second}, {1, 0, 1, 0}},
        {"squat +", {Role::alone}, {0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        TempDir dir;
        PrivateBus bus(dir / "bus");
        if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
        std::vector<std::unique_ptr<SingleInstance>> instances;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        std::vector<Role> roles;
        QDBusConnection squatter = bus.connect();
        std::istringstream words(row.script);
        for (std::string w; words >> w;) {
            if (w == "+") {
                instances.push_back(std::make_unique<SingleInstance>(bus.connect()));
                spies.push_back(std::make_unique<QSignalSpy>(instances.back().get(), &SingleInstance::showRequested));
                roles.push_back(instances.back()->claim());
            } else if (w == "squat") {
                ASSERT_EQ(squatter.interface()->registerService(QLatin1String(SingleInstance::service)).value(),
                          QDBusConnectionInterface::ServiceRegistered);
            } else {
                instances[std::stoul(w.substr(1))].reset();
            }
        }
        drainEvents();
        EXPECT_EQ(roles, row.roles);
        std::vector<int> shows;
        for (const auto& spy : spies) shows.push_back(static_cast<int>(spy->count()));
        EXPECT_EQ(shows, row.shows);
    }
}

TEST(SingleInstance, WithoutASessionBusItJustRuns)
{
    SingleInstance instance(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none")));
    EXPECT_EQ(instance.claim(), Role::alone);
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

TEST(SingleInstance, EachProfileHasItsOwnName)
{
    const QString plain = QLatin1String(SingleInstance::service);
    EXPECT_EQ(SingleInstance::serviceFor(QString()), plain);
    const QString demo = SingleInstance::serviceFor(QStringLiteral("/tmp/demo/config"));
    EXPECT_TRUE(demo.startsWith(plain + ".profile_")) << demo.toStdString();
    EXPECT_EQ(demo, SingleInstance::serviceFor(QStringLiteral("/tmp/demo/config"))); // stable
    EXPECT_NE(demo, SingleInstance::serviceFor(QStringLiteral("/tmp/other/config")));

    // (profile of the running one, profile of the new one, the new one's role)
    const std::tuple<const char*, const char*, Role> rows[] = {
        {"", "", Role::second},
        {"/tmp/demo/config", "/tmp/demo/config", Role::second},
        {"", "/tmp/demo/config", Role::first},
        {"/tmp/demo/config", "", Role::first},
        {"/tmp/demo/config", "/tmp/other/config", Role::first},
    };
    for (const auto& [running, fresh, role] : rows) {
        TempDir dir;
        PrivateBus bus(dir / "bus");
        if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
        SingleInstance first(bus.connect(), SingleInstance::serviceFor(QString::fromUtf8(running)));
        ASSERT_EQ(first.claim(), Role::first);
        SingleInstance later(bus.connect(), SingleInstance::serviceFor(QString::fromUtf8(fresh)));
        EXPECT_EQ(later.claim(), role) << running << " then " << fresh;
    }
}
