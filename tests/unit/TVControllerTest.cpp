#include "TVRig.h"

#include <QSettings>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace telvanto;
using namespace telvanto::testing;

namespace {

const Status unreachable = Status::failed("TV nedostupná, skúšam znova…");
const Status connectionLost = Status::failed("Spojenie sa prerušilo, pripájam znova…");
const Status pairingFailed = Status::failed("Párovanie sa nepodarilo, skús znova");
const Status keychainDown = Status::failed("keychain(\"kľúčenka nedostupná (21)\")");
Status is(Case kind) { return Status::of(kind); }
using Check = std::function<void(TVRig&)>;

} // namespace

TEST(TVController, StatusTable)
{
    const Check retriesIn1s = [](TVRig& r) { EXPECT_EQ(r.untilNextChannel(), 1s); };
    const Check dropped = [](TVRig& r) { EXPECT_TRUE(r.last().cancelled); };
    const struct {
        const char* script;
        Status expected;
        Check check;
    } rows[] = {
        {"make", is(Case::idle), nullptr},
        {"id start", is(Case::searching), [](TVRig& r) { EXPECT_EQ(r.opened(), 0u); }},
        {"id paired start", is(Case::connecting), [](TVRig& r) {
             const FakeChannel& c = r.last();
             EXPECT_TRUE(c.host() == "10.0.0.5" && c.port == remotePort && c.pinned == r.tvKey && c.identity && c.started);
         }},
        {"badid paired start", keychainDown, [](TVRig& r) {
             std::filesystem::remove_all(r.dir / "data" / "Telvanto client");
             EXPECT_EQ(r.run("id").untilNextChannel(), 1s);
         }},
        {"id host start", is(Case::pairing), [](TVRig& r) { // needs pairing, which starts by itself
             EXPECT_EQ(r.statuses, (std::vector{is(Case::needsPairing), is(Case::pairing)}));
             EXPECT_TRUE(r.last().port == pairingPort && !r.last().pinned);
         }},
        {"id paired start ready tv:start pair", is(Case::pairing),
         [](TVRig& r) { EXPECT_TRUE(r.channels.opened[0]->cancelled && r.tv->verifiedHost().isEmpty()); }},
        {"badid paired make pair", keychainDown, [](TVRig& r) { EXPECT_EQ(r.opened(), 0u); }},
        {"id host start ready req opt conf", is(Case::waitingForCode), [](TVRig& r) {
             ASSERT_EQ(r.last().sent.size(), 3u);
             EXPECT_EQ(std::get<TvMsg::pairing::Request>(TvMsg::decodePairing(payloadOf(r.last().sent[0]))).clientName, "Test PC");
         }},
        {"id host start ready req opt conf code secret", is(Case::connecting), [](TVRig& r) {
             EXPECT_TRUE(r.tv->isPaired() && r.store.loadPinnedKey() == r.tvKey && r.store.loadHost() == "10.0.0.5");
             EXPECT_TRUE(r.last().port == remotePort && r.last().pinned == r.tvKey);
         }},
        {"id host start ready conf refuse=402", Status::failed("Nesprávny kód, skús znova"), dropped},
        {"id host start ready conf refuse=403", Status::failed("TV odmietla párovanie (403)"), dropped},
        {"id host start ready conf secret", pairingFailed, dropped}, // no secret was sent
        {"id host start ready code secret", pairingFailed, [](TVRig& r) { EXPECT_FALSE(r.tv->isPaired()); }}, // too early
        {"id host start ready conf close", Status::failed("Párovanie sa prerušilo"), nullptr},
        {"id host start key=3", is(Case::pairing), [](TVRig& r) { EXPECT_EQ(r.opened(), 1u); }}, // no remote while pairing
        {"id paired start pair cancel", is(Case::connecting),
         [](TVRig& r) { EXPECT_TRUE(r.statuses.end()[-2] == is(Case::idle) && r.last().port == remotePort); }},
        {"id host start cancel", is(Case::needsPairing), dropped},
        {"id host start cancel key=3", is(Case::needsPairing), [](TVRig& r) { EXPECT_EQ(r.opened(), 1u); }}, // once only
        {"id pin make select@10.0.0.6 ready tv:start tv:volume tv:volume tv:app tv:off", is(Case::connected), [](TVRig& r) {
             EXPECT_TRUE(r.tv->verifiedHost() == "10.0.0.6" && r.settings.tvHost() == "10.0.0.6" && r.store.loadHost() == "10.0.0.6");
             EXPECT_TRUE(r.tv->volume() == (TVController::Volume{12, 100, true}) && r.announcements["volume"] == 1);
             EXPECT_TRUE(r.tv->currentApp() == "com.netflix.ninja" && !r.tv->isOn());
         }},
        {"id paired start select@10.0.0.9 close", unreachable, [](TVRig& r) { // back to the address that worked
             EXPECT_TRUE(r.tv->host() == "10.0.0.5" && r.untilNextChannel() == 1s && r.last().host() == "10.0.0.5");
         }},
        {"id paired start mismatch", Status::failed("Iné zariadenie než spárovaná TV – spáruj znova"),
         [](TVRig& r) { EXPECT_EQ(r.untilNextChannel(), 60s); }},
        {"id paired start ready tv:start close:io", connectionLost, retriesIn1s},
        {"id paired start close:tls", Status::failed("TV toto zariadenie už nepozná – stlač Spárovať znova"), retriesIn1s},
        {"id paired start close:conn", unreachable, retriesIn1s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        TVRig rig;
        EXPECT_EQ(rig.run(row.script).tv->status(), row.expected) << rig.tv->status().text.toStdString();
        if (row.check) row.check(rig);
    }
}

TEST(TVController, StatusEqualityAndRepeatedFailures)
{
    EXPECT_EQ(Status::failed("a"), Status::failed("a"));
    EXPECT_NE(Status::failed("a"), Status::failed("b"));
    EXPECT_NE(Status::failed(""), is(Case::idle));
    EXPECT_EQ(is(Case::idle), (Status{Case::idle, "ignored"}));
    TVRig rig;
    rig.run("badid paired start +60s"); // six attempts, one failure text
    EXPECT_EQ(rig.announcements["status"], 1);
}

TEST(TVController, BackOff)
{
    TVRig rig;
    rig.run("id paired start");
    for (const auto wait : {1s, 2s, 4s, 8s, 15s, 15s, 15s}) EXPECT_EQ(rig.run("close").untilNextChannel(), wait);

    for (const char* reset : {"+2s ready tv:start", "reconnect", "key=3", "pair ready conf code secret"}) {
        TVRig r;
        const std::size_t before = r.run("id paired start close +1s close").opened(); // the next wait would be 4 s
        EXPECT_GT(r.run(reset).opened(), before) << reset;
        EXPECT_EQ(r.run("close").untilNextChannel(), 1s) << reset;
    }
}

TEST(TVController, WatchdogCutsAfterMoreThan12sConnectingOr16sSilent)
{
    const struct {
        const char* script;
        core::Duration cutAt; // from start, on a tick of the 2 s watchdog
        Status expected;
    } rows[] = {
        {"id paired start", 14s, unreachable},                      // exactly 12 s at the tick before
        {"id pin start +1500ms select@10.0.0.5", 14s, unreachable}, // 12.5 s at the cut
        {"id paired start +2s ready tv:start", 20s, connectionLost},
        {"id paired start +3500ms ready tv:start", 20s, connectionLost},
        {"id paired start +2s ready tv:start +13s tv:ping", 32s, connectionLost},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        TVRig rig;
        FakeChannel& channel = rig.run(row.script).last();
        rig.run("+" + std::to_string((row.cutAt - rig.elapsed) / 1ms - 1) + "ms");
        EXPECT_FALSE(channel.cancelled);
        EXPECT_TRUE(rig.run("+1ms").last().cancelled);
        EXPECT_EQ(rig.tv->status(), row.expected);
    }
}

TEST(TVController, LooksTheTVUpAgainOnEveryThirdCountedFailure)
{
    TVRig rig;
    rig.run("id paired start");
    const std::pair<const char*, std::size_t> failures[] = {
        {"close", 0}, {"close:conn", 0}, {"close", 1}, {"close:tls", 1} /* not counted */, {"close", 1},
        {"ready tv:start close", 1} /* counts anew */, {"close", 1}, {"close", 2}, {"close", 2}, {"close", 2},
        {"close", 3}, {"close", 3}, {"close", 3}, {"close", 4},
    };
    for (const auto& [script, lookups] : failures) {
        EXPECT_EQ(rig.run(script).lookup.requests.size(), lookups) << script;
        rig.untilNextChannel();
    }
    ASSERT_EQ(rig.lookup.requests.size(), 4u);
    EXPECT_EQ(rig.lookup.requests[0].name, "Mi Box");
    const auto answer = [&](std::size_t i, const char* host) { rig.lookup.requests[i].done(QString(host)); };
    const std::size_t before = rig.opened();
    answer(0, "10.0.0.5"); // the same address
    rig.tv->setTvName("Kuchyňa");
    answer(1, "10.0.0.9"); // about a TV no longer chosen
    rig.tv->setTvName("Mi Box");
    rig.run("ready tv:start");
    answer(2, "10.0.0.8"); // while connected
    EXPECT_TRUE(rig.opened() == before && rig.tv->host() == "10.0.0.5");
    rig.run("close");
    answer(3, "10.0.0.8"); // moved: followed at once
    EXPECT_TRUE(rig.opened() == before + 1 && rig.tv->host() == "10.0.0.8" && rig.last().host() == "10.0.0.8");
}

TEST(TVController, EventsOfAReplacedChannelChangeNothing)
{
    TVRig rig;
    FakeChannel& old = rig.run("id paired start").last();
    const auto inFlight = old.onEvent; // events already on their way when the channel goes
    rig.run("ready tv:start reconnect");
    EXPECT_TRUE(old.cancelled && old.disposed && rig.tv->verifiedHost().isEmpty());
    rig.run("ready tv:start");
    inFlight(transport::Channel::Message{payloadOf(TvMsg::volume(3, 30, true))});
    inFlight(transport::Channel::Closed{transport::Channel::Error{Kind::io, "late"}});
    rig.run("+5s"); // a close taken for real would have reconnected after 1 s
    EXPECT_TRUE(rig.tv->status() == is(Case::connected) && !rig.tv->volume() && rig.opened() == 2);
}

TEST(TVController, SubmitCode)
{
    TVRig rig;
    FakeChannel& pairing = rig.run("id host start ready req opt conf").last();
    const std::string code = rig.validCode();
    const std::pair<std::string, bool> rows[] = {
        {code.substr(0, 5), false}, {code + "0", false}, {"GGGGGG", false}, {(code[0] == 'F' ? "E" : "F") + code.substr(1), false},
        {code, true}, {" \t" + u8(code).toLower().toStdString() + " ", true},
    };
    for (const auto& [typed, accepted] : rows) {
        const std::size_t before = pairing.sent.size();
        EXPECT_EQ(rig.tv->submitCode(u8(typed)), accepted) << typed;
        ASSERT_EQ(pairing.sent.size(), before + accepted);
        if (!accepted) continue;
        EXPECT_EQ(std::get<TvMsg::pairing::Secret>(TvMsg::decodePairing(payloadOf(pairing.sent.back()))).secret,
                  identity::pairingSecret(code, rig.clientKey(), rig.tvKey));
    }
    EXPECT_EQ(rig.tv->status(), is(Case::waitingForCode));
}

TEST(TVController, StartSelectionAndNetworkChanges)
{
    const struct {
        const char* setup;
        const char* act;
        std::size_t newChannels;
        bool paired;
        Status expected;
    } rows[] = {
        {"id paired start ready tv:start", "start", 0, true, is(Case::connected)},
        {"id paired start", "start", 1, true, is(Case::connecting)},
        {"id paired start ready tv:start", "net:up", 0, true, is(Case::connected)},
        {"id paired start ready tv:start", "net:down net:up", 1, true, is(Case::connecting)},
        {"id paired start", "net:up", 1, true, is(Case::connecting)},
        {"id paired start ready tv:start", "net:down", 0, true, is(Case::connected)},
        {"id paired start ready tv:start", "select@10.0.0.7", 1, true, is(Case::connecting)},        // same TV, new address
        {"id paired start ready tv:start", "select=Kuchyna@10.0.0.8", 1, false, is(Case::pairing)}, // another TV: pair it
        {"id paired start ready tv:start", "select@", 0, true, is(Case::connected)}, // no address: nothing dropped
        {"id host start ready conf", "select=Kuchyna@10.0.0.8", 1, false, is(Case::pairing)}, // old pairing abandoned
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.setup) + " | " + row.act);
        TVRig rig;
        const std::size_t before = rig.run(row.setup).opened();
        EXPECT_EQ(rig.run(row.act).opened(), before + row.newChannels);
        EXPECT_EQ(rig.tv->status(), row.expected);
        EXPECT_TRUE(rig.tv->isPaired() == row.paired && rig.store.loadPinnedKey().has_value() == row.paired);
        EXPECT_EQ(rig.last().host(), rig.tv->host());
        EXPECT_EQ(rig.channels.opened[before - 1]->cancelled, row.newChannels > 0);
        EXPECT_EQ(rig.tv->verifiedHost().isEmpty(), !rig.tv->status().is(Case::connected));
    }
}

TEST(TVController, MigratesTheLegacyKey)
{
    const QByteArray der = QByteArray::fromStdString(toString(testIdentity(2).publicKey().pkcs1()));
    const struct {
        QByteArray legacy;
        bool storeWritable;
        bool moved;
    } rows[] = {{der, true, true}, {"not a key", true, false}, {der, false, false} /* kept for the next launch */};
    for (const auto& row : rows) {
        TVRig rig;
        QSettings(rig.settings.filePath(), QSettings::IniFormat).setValue("tvKey", row.legacy);
        platform::Settings settings(rig.settings.filePath());
        if (!row.storeWritable) std::ofstream(rig.dir / "data") << "a file where the directory goes";
        TVController tv(rig.scheduler, rig.channels, rig.store, settings, rig.lookup, rig.network, rig.storeWatch, "PC");
        EXPECT_EQ(tv.isPaired(), row.moved);
        EXPECT_EQ(rig.store.loadPinnedKey().has_value(), row.moved);
        EXPECT_EQ(settings.legacyTvKey().has_value(), !row.moved);
        EXPECT_TRUE(tv.tvName() == "Mi Box" && tv.host().isEmpty());
    }
}

// The app, telvanto-cli and Sendora share one pairing. A running controller takes what another
// program stored and connects with it, without waiting for a restart.
TEST(TVController, TakesThePairingOtherProgramsStore)
{
    const Check connectsWithNewKey = [](TVRig& r) { EXPECT_TRUE(r.last().pinned == r.newTvKey && r.last().host() == "10.0.0.5"); };
    const struct {
        const char* script;
        std::size_t newChannels; // after the script's last step
        Status expected;
        Check check;
    } rows[] = {
        {"id paired start mismatch repaired", 1, is(Case::connecting), connectsWithNewKey},
        {"id paired start ready tv:start repaired", 1, is(Case::connecting), connectsWithNewKey},
        {"id paired start close:tls repaired", 1, is(Case::connecting), connectsWithNewKey},
        {"id paired start ready tv:start touched", 0, is(Case::connected), nullptr},
        {"id paired start ready tv:start moved=10.0.0.9", 0, is(Case::connected), [](TVRig& r) { // keeps what works
             r.run("close");
             EXPECT_TRUE(r.untilNextChannel() == 1s && r.last().host() == "10.0.0.9");
         }},
        {"id paired start close moved=10.0.0.9", 1, is(Case::connecting), [](TVRig& r) { EXPECT_EQ(r.last().host(), "10.0.0.9"); }},
        {"id paired start ready tv:start unpaired", 0, is(Case::needsPairing), [](TVRig& r) {
             EXPECT_TRUE(r.last().cancelled && !r.tv->isPaired() && r.untilNextChannel() == 60s); // nor pairing by itself
         }},
        {"id host start ready req opt conf repaired", 0, is(Case::waitingForCode), [](TVRig& r) { // the user is typing a code
             EXPECT_TRUE(r.tv->isPaired() && !r.last().cancelled);
         }},
        {"id paired make repaired", 0, is(Case::idle), [connectsWithNewKey](TVRig& r) {
             EXPECT_TRUE(r.tv->isPaired() && r.opened() == 0);
             r.run("start");
             connectsWithNewKey(r);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        TVRig rig;
        const std::string script = row.script;
        const std::size_t split = script.rfind(' ');
        const std::size_t before = rig.run(script.substr(0, split)).opened();
        EXPECT_EQ(rig.run(script.substr(split + 1)).opened(), before + row.newChannels);
        EXPECT_EQ(rig.tv->status(), row.expected) << rig.tv->status().text.toStdString();
        if (row.check) row.check(rig);
    }
}

// Every confirmed connection saves the address; an unchanged one is not written again.
TEST(TVController, ReconnectsDoNotRewriteTheSettings)
{
    TVRig rig;
    rig.run("id paired start ready tv:start");
    const auto file = rig.dir / "telvanto.conf";
    const auto hostFile = rig.dir / "data" / std::string(identity::CredentialStore::tvHostItem);
    const int settingsBefore = ::open(file.c_str(), O_RDONLY | O_CLOEXEC), hostBefore = ::open(hostFile.c_str(), O_RDONLY | O_CLOEXEC);
    for (int i = 0; i < 1000; ++i) rig.run("reconnect ready tv:start");
    struct stat settingsNow {}, hostNow {};
    ::fstat(settingsBefore, &settingsNow);
    ::fstat(hostBefore, &hostNow);
    EXPECT_EQ(settingsNow.st_nlink, 1u) << "the settings file was replaced";
    EXPECT_EQ(hostNow.st_nlink, 1u) << "the stored address was replaced";
    ::close(settingsBefore);
    ::close(hostBefore);
    EXPECT_EQ(rig.opened(), 1001u);
}
