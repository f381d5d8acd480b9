#pragma once

#include "identity/PairingSecret.h"
#include "protocol/RemoteMsg.h"
#include "tv/TVController.h"

#include "FakeChannel.h"
#include "FakePlatform.h"
#include "TempDir.h"
#include "TestIdentities.h"
#include "TvMsg.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <sstream>

namespace telvanto::testing {

using tv::TVController;
using Status = TVController::Status;
using Case = Status::Case;
using Kind = transport::Channel::Error::Kind;
using namespace std::chrono_literals;
namespace TvMsg = tvsim::TvMsg;

inline constexpr quint16 pairingPort = 16467, remotePort = 16466;

inline QString u8(const std::string& text) { return QString::fromStdString(text); }
inline core::Duration duration(const std::string& text) { return std::stoll(text) * (text.ends_with("ms") ? 1ms : 1000ms); } // "1500ms", "2s"

// A controller with real stores in a temporary directory, fake channels in virtual time, and
// a check that every published field announces each change, and only changes.
struct TVRig {
    TempDir dir;
    VirtualScheduler scheduler;
    FakeChannelFactory channels{scheduler};
    identity::CredentialStore store{dir / "data"};
    platform::Settings settings{QString::fromStdString(dir / "telvanto.conf")};
    FakeTVLookup lookup;
    FakeNetworkMonitor network;
    FakeDirectoryWatcher storeWatch;
    identity::CredentialStore otherProcess{dir / "data"}; // another program sharing the pairing
    std::map<std::string, QVariant> announced;
    std::vector<Status> statuses;
    std::unique_ptr<TVController> tv;
    const identity::RSAPublicKey tvKey = testIdentity(2).publicKey();
    const identity::RSAPublicKey newTvKey = testIdentity(3).publicKey(); // the same TV after a reset

    ~TVRig()
    {
        for (const auto& [name, value] : announced) EXPECT_EQ(tv->property(name.c_str()), value) << name << " changed silently";
    }

    TVController& make()
    {
        tv = std::make_unique<TVController>(scheduler, channels, store, settings, lookup, network, storeWatch, "Test PC", tv::TVPorts{pairingPort, remotePort});
        const std::pair<const char*, void (TVController::*)()> notifiers[] = {
            {"status", &TVController::statusChanged}, {"found", &TVController::foundChanged}, {"volume", &TVController::volumeChanged},
            {"currentApp", &TVController::currentAppChanged}, {"isOn", &TVController::isOnChanged}, {"isPaired", &TVController::isPairedChanged},
            {"verifiedHost", &TVController::verifiedHostChanged}, {"host", &TVController::hostChanged}, {"tvName", &TVController::tvNameChanged}};
        EXPECT_EQ(std::size(notifiers), std::size_t(tv->metaObject()->propertyCount() - tv->metaObject()->propertyOffset()));
        for (const auto& [name, signal] : notifiers) {
            announced[name] = tv->property(name);
            QObject::connect(tv.get(), signal, [this, name = std::string(name)] {
                EXPECT_NE(tv->property(name.c_str()), announced[name]) << name << " announced without a change";
                announced[name] = tv->property(name.c_str());
                if (name == "status") statuses.push_back(tv->status());
            });
        }
        return *tv;
    }

    // Plays one session: the user, the TV and time, one word per step (see step()).
    TVRig& run(const std::string& script)
    {
        std::istringstream words(script);
        for (std::string word; words >> word;) step(word);
        return *this;
    }

    FakeChannel& last() { return channels.last(); }
    std::size_t opened() const { return channels.opened.size(); }
    core::Duration untilNextChannel() // at most a minute
    {
        core::Duration waited{};
        for (const std::size_t before = opened(); opened() == before && waited < 60s; waited += 100ms) scheduler.advance(100ms);
        return waited;
    }
    identity::RSAPublicKey clientKey() const { return std::get<identity::findResult::Found>(identity::findIdentity(store)).identity.publicKey(); }
    // A code the TV could show: its first byte is the check byte of the digest.
    std::string validCode() const { return QString::asprintf("%02XA1B2", identity::pairingDigest(clientKey(), tvKey, 0xA1, 0xB2)[0]).toStdString(); }

    void step(const std::string& word);
};

// id | badid          the client identity is stored | cannot be read
// host | paired       address 10.0.0.5 saved | and the TV's key pinned
// make | start        construct | and start (start alone constructs first)
// ready               the last channel's TLS is up and shows the TV's key
// tv:start tv:off tv:ping tv:active tv:ime tv:volume tv:app tv:config=N
//                     the TV sends on the last channel
// req opt conf secret refuse=N    the TV's pairing replies
// close close:tls close:conn mismatch    the last channel closes
// pair cancel code reconnect key=N launch=PKG type=OLD>NEW net:up net:down select=NAME@HOST select@HOST
// repaired | moved=HOST | unpaired | touched    another program pinned the TV's new key |
//                     stored another address | removed the key | changed nothing; then the
//                     store's directory reports the change
// +DURATION           time passes (1500ms, 2s)
inline void TVRig::step(const std::string& w)
{
    const auto arg = [&] { return w.substr(w.find_first_of("=@") + 1); };
    static const std::map<std::string, Bytes> frames = {
        {"tv:start", TvMsg::start(true)}, {"tv:off", TvMsg::start(false)}, {"tv:ping", TvMsg::ping(123456789)}, {"tv:active", TvMsg::setActive()},
        {"tv:ime", TvMsg::imeBatch(4, 9)}, {"tv:volume", TvMsg::volume(12, 100, true)}, {"tv:app", TvMsg::currentApp("com.netflix.ninja")},
        {"req", TvMsg::pairingRequestAck("TV")}, {"opt", TvMsg::pairingOption(false)}, {"conf", TvMsg::pairingConfigurationAck()},
        {"secret", TvMsg::pairingSecretAck({})}};
    static const std::map<std::string, Kind> kinds = {{"close:tls", Kind::tls}, {"close:conn", Kind::connection}};
    if (w == "id") { // the client identity as the application stores it, made once per test program
        static const Bytes stored = [] {
            TempDir made;
            identity::CredentialStore once(made.path());
            identity::loadOrCreateIdentity(once, "Test PC");
            return *once.read(identity::CredentialStore::identityItem).data;
        }();
        store.write(identity::CredentialStore::identityItem, stored);
    }
    else if (w == "badid") std::filesystem::create_directories(dir / "data" / "Telvanto client");
    else if (w == "host") settings.setTvHost("10.0.0.5");
    else if (w == "paired") store.storePinnedKey(tvKey), settings.setTvHost("10.0.0.5");
    else if (w == "make") make();
    else if (w == "start") (tv ? *tv : make()).start();
    else if (w == "ready") last().ready(tvKey);
    else if (frames.count(w)) last().receiveFrame(frames.at(w));
    else if (w.starts_with("tv:config=")) last().receiveFrame(TvMsg::configure(std::stoll(arg()), "model", "vendor"));
    else if (w.starts_with("refuse=")) last().receiveFrame(TvMsg::pairingFailure(std::stoll(arg())));
    else if (w == "close") last().close();
    else if (kinds.count(w) || w == "mismatch") last().close(transport::Channel::Error{kinds.count(w) ? kinds.at(w) : Kind::tls, "t"}, w == "mismatch");
    else if (w == "pair") tv->startPairing();
    else if (w == "cancel") tv->cancelPairing();
    else if (w == "code") EXPECT_TRUE(tv->submitCode(" \t" + u8(validCode()).toLower() + " ")); // as people type it
    else if (w == "reconnect") tv->reconnectNow();
    else if (w.starts_with("key=")) tv->send(protocol::RemoteMsg::key(*protocol::tvKeyFromCode(std::stoll(arg()))));
    else if (w.starts_with("launch=")) tv->launch(u8(arg()));
    else if (w.starts_with("type=")) tv->typeText(u8(w.substr(5, w.find('>') - 5)), u8(w.substr(w.find('>') + 1)));
    else if (w == "net:up" || w == "net:down") network.change(w == "net:up");
    else if (w == "repaired") otherProcess.storePinnedKey(newTvKey), storeWatch.change();
    else if (w.starts_with("moved=")) otherProcess.storeHost(arg()), storeWatch.change();
    else if (w == "unpaired") otherProcess.storePinnedKey(std::nullopt), storeWatch.change();
    else if (w == "touched") storeWatch.change();
    else if (w.starts_with("select")) tv->selectTV(w[6] == '@' ? tv->tvName() : u8(w.substr(7, w.find('@') - 7)), u8(w.substr(w.find('@') + 1)));
    else if (w[0] == '+') scheduler.advance(duration(w.substr(1)));
    else ADD_FAILURE() << "unknown step " << w;
}

} // namespace telvanto::testing
