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

// Steps: "+" a new instance claims, "+DIR" one on the profile in DIR, "-N" instance N goes away,
// "squat" another client holds the name without answering. Roles: f first, s second, a alone;
// then how often each instance was asked to show its window.
TEST(SingleInstance, TheFirstOfAProfileRunsLaterOnesShowItsWindow)
{
    const struct { const char *script, *roles, *shows; } rows[] = {
        {"+", "f", "0"}, {"+ +", "fs", "10"}, {"+ + -0 + +", "fsfs", "1010"}, {"squat +", "a", "0"},
        {"+/tmp/demo/config +/tmp/demo/config", "fs", "10"}, {"+ +/tmp/demo/config", "ff", "00"}, {"+/tmp/demo/config +/tmp/other/config", "ff", "00"},
    };
    TempDir dir;
    PrivateBus bus(dir / "bus");
    if (!bus.running()) GTEST_SKIP() << "dbus-daemon is not installed";
    QDBusConnection squatter = bus.connect();
    for (const auto& row : rows) {
        std::vector<std::unique_ptr<SingleInstance>> instances;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        std::string roles, shows;
        std::istringstream words(row.script);
        for (std::string w; words >> w;) {
            if (w[0] == '+') {
                instances.push_back(std::make_unique<SingleInstance>(bus.connect(), SingleInstance::serviceFor(QString::fromStdString(w.substr(1)))));
                spies.push_back(std::make_unique<QSignalSpy>(instances.back().get(), &SingleInstance::showRequested));
                const Role role = instances.back()->claim();
                roles += role == Role::first ? 'f' : role == Role::second ? 's' : 'a';
            } else if (w == "squat") {
                ASSERT_EQ(squatter.interface()->registerService(QLatin1String(SingleInstance::service)).value(), QDBusConnectionInterface::ServiceRegistered);
            } else {
                instances[std::stoul(w.substr(1))].reset();
            }
        }
        drainEvents();
        for (const auto& spy : spies) shows += std::to_string(spy->count());
        EXPECT_EQ(roles + " " + shows, std::string(row.roles) + " " + row.shows) << row.script;
        squatter.interface()->unregisterService(QLatin1String(SingleInstance::service));
    }
}
