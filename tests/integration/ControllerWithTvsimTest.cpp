// The controller against the simulated TV over real TLS on loopback: one TV, one life of a pairing.
#include "platform/QtDirectoryWatcher.h"
#include "protocol/RemoteMsg.h"
#include "tv/TVController.h"

#include "FakePlatform.h"
#include "Tvsim.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace std::chrono_literals;
using telvanto::testing::waitUntil;
using Case = tv::TVController::Status::Case;

TEST(ControllerWithTvsim, PairsControlsAndHealsTheConnection)
{
    telvanto::testing::TempDir dir;
    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels{scheduler};
    identity::CredentialStore credentials{dir / "client"};
    platform::Settings settings{QString::fromStdString(dir / "telvanto.conf")};
    tv::NullTVLookup lookup;
    telvanto::testing::FakeNetworkMonitor network;
    platform::QtDirectoryWatcher credentialWatch{scheduler, QString::fromStdString(dir / "client")};
    const auto tvsim = telvanto::testing::startTvsim(dir / "tv", scheduler);
    const tv::TVPorts ports{tvsim->pairingPort(), tvsim->remotePort()};
    tv::TVController remote(scheduler, channels, credentials, settings, lookup, network, credentialWatch, "desk", ports);
    QStringList received;
    QObject::connect(tvsim.get(), &tvsim::Simulator::received, [&](const QString& what) { received.append(what); });
    const auto is = [](const tv::TVController& c, Case kind, const char* text = "") { return waitUntil([&] { return c.status() == tv::TVController::Status{kind, QString::fromUtf8(text)}; }, 15s); };
    const auto pairing = [&](tv::TVController& c) { return c.startPairing(), is(c, Case::waitingForCode); };

    // A typo is caught here and the TV keeps waiting; a code that checks out by itself but is not
    // the TV's is answered with 402.
    remote.selectTV("Telvanto TV", "127.0.0.1");
    ASSERT_TRUE(pairing(remote));
    EXPECT_FALSE(remote.submitCode((tvsim->code()[0] == 'A' ? "B" : "A") + tvsim->code().mid(1)));
    EXPECT_TRUE(remote.status().is(Case::waitingForCode));
    const auto client = std::get<identity::findResult::Found>(identity::findIdentity(credentials)).identity.publicKey();
    const Bytes digest = identity::pairingDigest(client, tvsim->publicKey(), 0x12, 0x34);
    QString other = QString::fromLatin1(QByteArray(1, static_cast<char>(digest[0])).toHex().toUpper()) + "1234";
    if (other == tvsim->code()) other = other.left(4) + "35"; // astronomically unlikely
    ASSERT_TRUE(remote.submitCode(other));
    ASSERT_TRUE(is(remote, Case::failed, "Nesprávny kód, skús znova"));
    EXPECT_FALSE(remote.isPaired());

    ASSERT_TRUE(pairing(remote));
    ASSERT_TRUE(remote.submitCode(tvsim->code().toLower() + "  "));
    ASSERT_TRUE(is(remote, Case::connected)) << remote.status().text.toStdString();
    remote.start();
    EXPECT_TRUE(remote.isPaired() && remote.verifiedHost() == "127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return remote.volume() && !remote.currentApp().isEmpty(); }));
    EXPECT_TRUE(remote.currentApp() == "com.google.android.tvlauncher" && remote.volume()->level == 10);

    received.clear();
    remote.send(protocol::RemoteMsg::key(protocol::TVKey::volumeUp));
    remote.send(protocol::RemoteMsg::key(protocol::TVKey::down));
    remote.typeText("", "čaj");
    remote.launch("com.example.tv");
    remote.send(protocol::RemoteMsg::key(protocol::TVKey::power));
    ASSERT_TRUE(waitUntil([&] { return !remote.isOn(); }));
    EXPECT_EQ(received.mid(0, 5), QStringList({"key volumeUp", "key down", "imeBatch", "appLink market://launch?id=com.example.tv", "key power"}));
    EXPECT_TRUE(remote.volume()->level == 11 && remote.currentApp() == "com.example.tv" && tvsim->textField() == QString::fromUtf8("čaj"));

    tvsim->restart();
    ASSERT_TRUE(waitUntil([&] { return !remote.status().is(Case::connected); }));
    EXPECT_EQ(remote.status().text, QString::fromUtf8("Spojenie sa prerušilo, pripájam znova…"));
    ASSERT_TRUE(is(remote, Case::connected));

    // Another TV at the address: no more attempts, until the user pairs again in another program
    // (objects of its own over the same files), which the running controller takes by itself.
    tvsim->switchIdentity();
    ASSERT_TRUE(is(remote, Case::failed, "Iné zariadenie než spárovaná TV – spáruj znova"));
    int changes = 0;
    const auto counter = QObject::connect(&remote, &tv::TVController::statusChanged, [&] { ++changes; });
    waitUntil([] { return false; }, 2s); // a retry would have come by now (the first back-off is 1 s)
    EXPECT_EQ(changes, 0);
    QObject::disconnect(counter);
    identity::CredentialStore otherCredentials(dir / "client");
    platform::Settings otherSettings(QString::fromStdString(dir / "telvanto.conf"));
    telvanto::testing::FakeDirectoryWatcher watch;
    tv::TVController elsewhere(scheduler, channels, otherCredentials, otherSettings, lookup, network, watch, "desk", ports);
    ASSERT_TRUE(pairing(elsewhere));
    ASSERT_TRUE(elsewhere.submitCode(tvsim->code()));
    ASSERT_TRUE(is(elsewhere, Case::connected)) << elsewhere.status().text.toStdString();
    ASSERT_TRUE(is(remote, Case::connected)) << remote.status().text.toStdString();
    EXPECT_EQ(remote.verifiedHost(), "127.0.0.1");
    EXPECT_EQ(tvsim->remoteConnections(), 2);

    // The TV forgot this computer.
    tvsim->forgetClients();
    remote.reconnectNow();
    ASSERT_TRUE(is(remote, Case::failed, "TV toto zariadenie už nepozná – stlač Spárovať znova"));
}
