// The controller against the simulated TV over real TLS on loopback.
#include "Simulator.h"
#include "identity/PairingSecret.h"
#include "platform/QtDirectoryWatcher.h"
#include "platform/Settings.h"
#include "protocol/RemoteMsg.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"
#include "tv/TVController.h"
#include "tv/Texts.h"

#include "EventLoop.h"
#include "FakeDirectoryWatcher.h"
#include "FakeNetworkMonitor.h"
#include "TempDir.h"
#include "Tvsim.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace std::chrono_literals;
using telvanto::testing::waitUntil;
using Case = tv::TVController::Status::Case;

namespace {

struct Rig {
    Rig() : simulator(telvanto::testing::startTvsim(dir / "tv", scheduler))
    {
        QObject::connect(simulator.get(), &tvsim::Simulator::received, [this](const QString& what) { received.append(what); });
        makeController();
    }

    void makeController()
    {
        controller.reset();
        controller = std::make_unique<tv::TVController>(scheduler, channels, credentials, settings, lookup, network, credentialWatch, "desk",
                                                        tv::TVPorts{simulator->pairingPort(), simulator->remotePort()});
    }

    bool is(Case c) const { return controller->status().is(c); }
    bool failedWith(const QString& text) const { return is(Case::failed) && controller->status().text == text; }

    void pair()
    {
        controller->selectTV("Telvanto TV", "127.0.0.1");
        controller->startPairing();
        ASSERT_TRUE(waitUntil([&] { return is(Case::waitingForCode); })) << controller->status().text.toStdString();
        ASSERT_TRUE(controller->submitCode(simulator->code().toLower() + "  "));
        ASSERT_TRUE(waitUntil([&] { return is(Case::connected); })) << controller->status().text.toStdString();
        controller->start();
    }

    telvanto::testing::TempDir dir;
    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels{scheduler};
    identity::CredentialStore credentials{dir / "client"};
    platform::Settings settings{QString::fromStdString(dir / "telvanto.conf")};
    tv::NullTVLookup lookup;
    telvanto::testing::FakeNetworkMonitor network;
    platform::QtDirectoryWatcher credentialWatch{scheduler, QString::fromStdString(dir / "client")};
    std::unique_ptr<tvsim::Simulator> simulator;
    std::unique_ptr<tv::TVController> controller;
    QStringList received;
};

} // namespace

TEST(ControllerWithTvsim, PairsThenControlsTheTv)
{
    Rig rig;
    rig.pair();
    EXPECT_TRUE(rig.controller->isPaired());
    EXPECT_EQ(rig.controller->verifiedHost(), "127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return rig.controller->volume().has_value() && !rig.controller->currentApp().isEmpty(); }));
    EXPECT_EQ(rig.controller->currentApp(), "com.google.android.tvlauncher");
    EXPECT_EQ(rig.controller->volume()->level, 10);

    rig.received.clear();
    rig.controller->send(protocol::RemoteMsg::key(protocol::TVKey::volumeUp));
    rig.controller->send(protocol::RemoteMsg::key(protocol::TVKey::down));
    rig.controller->typeText("", "čaj");
    rig.controller->launch("com.example.tv");
    rig.controller->send(protocol::RemoteMsg::key(protocol::TVKey::power));
    ASSERT_TRUE(waitUntil([&] { return !rig.controller->isOn(); }));
    const QStringList expected{"key volumeUp", "key down", "imeBatch", "appLink market://launch?id=com.example.tv", "key power"};
    EXPECT_EQ(rig.received.mid(0, 5), expected);
    EXPECT_EQ(rig.controller->volume()->level, 11);
    EXPECT_EQ(rig.controller->currentApp(), "com.example.tv");
    EXPECT_EQ(rig.simulator->textField(), QString::fromUtf8("čaj"));
}

TEST(ControllerWithTvsim, SurvivesTheTvRestarting)
{
    Rig rig;
    rig.pair();
    rig.simulator->restart();
    ASSERT_TRUE(waitUntil([&] { return !rig.is(Case::connected); }));
    EXPECT_TRUE(rig.failedWith(tv::texts::connectionLost()));
    ASSERT_TRUE(waitUntil([&] { return rig.is(Case::connected); }, 15s));
}

TEST(ControllerWithTvsim, TvThatForgotUsAsksForPairingAgain)
{
    Rig rig;
    rig.pair();
    rig.simulator->forgetClients();
    rig.controller->reconnectNow();
    ASSERT_TRUE(waitUntil([&] { return rig.failedWith(tv::texts::forgotten()); }));
}

TEST(ControllerWithTvsim, AnotherTvAtTheAddressStopsTheAttempts)
{
    Rig rig;
    rig.pair();
    rig.simulator->switchIdentity();
    ASSERT_TRUE(waitUntil([&] { return rig.failedWith(tv::texts::otherDevice()); }, 10s));
    const int connections = rig.simulator->remoteConnections();
    waitUntil([] { return false; }, 3s); // a retry would have come by now (the first back-off is 1 s)
    EXPECT_TRUE(rig.failedWith(tv::texts::otherDevice()));
    EXPECT_EQ(rig.simulator->remoteConnections(), connections);
}

TEST(ControllerWithTvsim, CodesTheTvDoesNotAccept)
{
    Rig rig;
    rig.controller->selectTV("Telvanto TV", "127.0.0.1");
    rig.controller->startPairing();
    ASSERT_TRUE(waitUntil([&] { return rig.is(Case::waitingForCode); }));

    // A typo is caught here and the TV keeps waiting.
    QString typo = rig.simulator->code();
    typo[0] = typo[0] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(rig.controller->submitCode(typo));
    EXPECT_TRUE(rig.is(Case::waitingForCode));

    // A code that checks out by itself but is not the TV's: the TV answers 402.
    const auto client = std::get<identity::findResult::Found>(identity::findIdentity(rig.credentials)).identity.publicKey();
    const Bytes digest = identity::pairingDigest(client, rig.simulator->publicKey(), 0x12, 0x34);
    QString other = QString::fromLatin1(QByteArray(1, static_cast<char>(digest[0])).toHex().toUpper()) + "1234";
    if (other == rig.simulator->code()) other = other.left(4) + "35"; // astronomically unlikely
    ASSERT_TRUE(rig.controller->submitCode(other));
    ASSERT_TRUE(waitUntil([&] { return rig.is(Case::failed); }));
    EXPECT_TRUE(rig.failedWith(tv::texts::wrongCode()));
    EXPECT_FALSE(rig.controller->isPaired());
}

// The TV was reset; the user pairs it again in another program. The controller that stopped
// at "another device" takes the new pairing from the shared files and connects by itself.
TEST(ControllerWithTvsim, PairingAgainElsewhereReachesTheRunningController)
{
    Rig rig;
    rig.pair();
    rig.simulator->switchIdentity();
    ASSERT_TRUE(waitUntil([&] { return rig.failedWith(tv::texts::otherDevice()); }, 10s));

    // The other program: objects of its own over the same files.
    identity::CredentialStore credentials(rig.dir / "client");
    platform::Settings settings(QString::fromStdString(rig.dir / "telvanto.conf"));
    telvanto::testing::FakeDirectoryWatcher watch;
    tv::TVController other(rig.scheduler, rig.channels, credentials, settings, rig.lookup, rig.network, watch, "desk",
                           tv::TVPorts{rig.simulator->pairingPort(), rig.simulator->remotePort()});
    other.startPairing();
    ASSERT_TRUE(waitUntil([&] { return other.status().is(Case::waitingForCode); }));
    ASSERT_TRUE(other.submitCode(rig.simulator->code()));
    ASSERT_TRUE(waitUntil([&] { return other.status().is(Case::connected); })) << other.status().text.toStdString();

    ASSERT_TRUE(waitUntil([&] { return rig.is(Case::connected); })) << rig.controller->status().text.toStdString();
    EXPECT_EQ(rig.controller->verifiedHost(), "127.0.0.1");
    EXPECT_EQ(rig.simulator->remoteConnections(), 2);
}
