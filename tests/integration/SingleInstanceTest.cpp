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

// Steps: "+" a new instance claims (its role is recorded), "+DIR" one on the profile in DIR,
// "-N" instance N goes away, "squat" another client holds the name without answering.
TEST(SingleInstance, TheFirstOfAProfileRunsLaterOnesShowItsWindow)
{
    const struct { const char* script; std::vector<Role> roles; std::vector<int> shows; } rows[] = {
        {"+", {Role::first}, {0}},
        {"+ +", {Role::first, Role::second}, {1, 0}},
        {"+ + +", {Role::first, Role::second, Role::second}, {2, 0, 0}},
        {"+ -0 +", {Role::first, Role::first}, {0, 0}},
        {"+ + -0 + +", {Role::first, Role::second, Role::first, Role::second}, {1, 0, 1, 0}},
        {"squat +", {Role::alone}, {0}},
        {"+/tmp/demo/config +/tmp/demo/config", {Role::first, Role::second}, {1, 0}},
        {"+ +/tmp/demo/config", {Role::first, Role::first}, {0, 0}},
        {"+/tmp/demo/config +", {Role::first, Role::first}, {0, 0}},
        {"+/tmp/demo/config +/tmp/other/config", {Role::first, Role::first}, {0, 0}},
    };
    TempDir dir;
    PrivateBus bus(dir / "bus");
    if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection squatter = bus.connect();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        std::vector<std::unique_ptr<SingleInstance>> instances;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        std::vector<Role> roles;
        std::istringstream words(row.script);
        for (std::string w; words >> w;) {
            if (w[0] == '+') {
                instances.push_back(std::make_unique<SingleInstance>(bus.connect(), SingleInstance::serviceFor(QString::fromStdString(w.substr(1)))));
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
        squatter.interface()->unregisterService(QLatin1String(SingleInstance::service));
    }
    EXPECT_EQ(SingleInstance::serviceFor(QString()), QLatin1String(SingleInstance::service));
    EXPECT_TRUE(SingleInstance::serviceFor(QStringLiteral("/a")).startsWith(QLatin1String(SingleInstance::service) + ".profile_"));
}
