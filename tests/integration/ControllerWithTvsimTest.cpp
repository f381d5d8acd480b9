// The controller against the simulated TV over real TLS on loopback: pairing, then commands one
// way and the TV's reports the other.
#include "protocol/RemoteMsg.h"
#include "tv/TVController.h"

#include "FakePlatform.h"
#include "Tvsim.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace std::chrono_literals;
using telvanto::testing::waitUntil;
using Case = tv::TVController::Status::Case;

TEST(ControllerWithTvsim, PairsAndControls)
{
    telvanto::testing::TempDir dir;
    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels{scheduler};
    identity::CredentialStore credentials{dir / "client"};
    platform::Settings settings{QString::fromStdString(dir / "telvanto.conf")};
    tv::NullTVLookup lookup;
    telvanto::testing::FakeNetworkMonitor network;
    telvanto::testing::FakeDirectoryWatcher credentialWatch;
    const auto tvsim = telvanto::testing::startTvsim(dir / "tv", scheduler);
    const tv::TVPorts ports{tvsim->pairingPort(), tvsim->remotePort()};
    tv::TVController remote(scheduler, channels, credentials, settings, lookup, network, credentialWatch, "desk", ports);
    const auto is = [](const tv::TVController& c, Case kind) { return waitUntil([&] { return c.status().is(kind); }, 15s); };
    const auto pairing = [&](tv::TVController& c) { return c.startPairing(), is(c, Case::waitingForCode); };

    // A code that checks out by itself but is not the TV's is answered with 402.
    remote.selectTV("Telvanto TV", "127.0.0.1");
    ASSERT_TRUE(pairing(remote));
    const auto client = std::get<identity::findResult::Found>(identity::findIdentity(credentials)).identity.publicKey();
    const Bytes digest = identity::pairingDigest(client, tvsim->publicKey(), 0x12, 0x34);
    QString other = QString::fromLatin1(QByteArray(1, static_cast<char>(digest[0])).toHex().toUpper()) + "1234";
    if (other == tvsim->code()) other = other.left(4) + "35"; // astronomically unlikely
    ASSERT_TRUE(remote.submitCode(other));
    ASSERT_TRUE(is(remote, Case::failed));
    EXPECT_EQ(remote.status().text, QString::fromUtf8("Nesprávny kód, skús znova")); // the TV's 402

    ASSERT_TRUE(pairing(remote));
    ASSERT_TRUE(remote.submitCode(tvsim->code()));
    ASSERT_TRUE(is(remote, Case::connected)) << remote.status().text.toStdString();
    remote.send(protocol::RemoteMsg::key(protocol::TVKey::volumeUp));
    remote.typeText("", "čaj");
    remote.launch("com.example.tv"); // the store's link opens an app that is not in the catalogue
    ASSERT_TRUE(waitUntil([&] { return remote.volume() && remote.volume()->level == 11 && remote.currentApp() == "com.example.tv"; }));
    EXPECT_EQ(tvsim->textField(), QString::fromUtf8("čaj"));
}
