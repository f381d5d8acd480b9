// The controller over fake channels in virtual time. Each row is one session in TVRig's words
// plus these: "?CHECK" (below), "~" (until the next channel opens), "fail" (close, then ~),
// found=NAME@HOST (announced and resolved; "none": no IPv4), answer=I@HOST (look-up I answers),
// named=NAME (stored before construction), rename=NAME, typo (a code with a wrong check byte),
// fixid | breakid (the identity readable again | not),
// hold / late (keep the channel's handler; later deliver a volume and a close through it).
// In arguments "_" stands for a space.
#include "TVRig.h"

#include "tv/TVApp.h"

#include <QSettings>

#include <fstream>
#include <sys/stat.h>

using namespace telvanto;
using namespace telvanto::testing;

namespace {

const char* const caseNames[] = {"failed", "idle", "searching", "connecting", "connected", "needsPairing", "pairing", "waitingForCode"};
const std::map<std::string, QString> failures = {
    {"unreachable", "TV nedostupná, skúšam znova…"}, {"lost", "Spojenie sa prerušilo, pripájam znova…"},
    {"other", "Iné zariadenie než spárovaná TV – spáruj znova"}, {"forgotten", "TV toto zariadenie už nepozná – stlač Spárovať znova"},
    {"wrongCode", "Nesprávny kód, skús znova"}, {"refused403", "TV odmietla párovanie (403)"},
    {"pairingFailed", "Párovanie sa nepodarilo, skús znova"}, {"interrupted", "Párovanie sa prerušilo"},
    {"keychain", "keychain(\"kľúčenka nedostupná (21)\")"}};

std::string word(const Status& s)
{
    for (const auto& [key, text] : failures) if (s.is(Case::failed) && s.text == text) return key;
    return s.is(Case::failed) ? s.text.toStdString() : caseNames[int(s.kind)];
}

std::vector<ino_t> watched; // "watch": the settings file's and the saved address's inodes, to see a rewrite
std::vector<ino_t> inodes(const TVRig& r)
{
    std::vector<ino_t> out;
    for (const auto& file : {r.dir / "telvanto.conf", r.dir / "data" / std::string(identity::CredentialStore::tvHostItem)}) {
        struct stat s {};
        out.push_back(::stat(file.c_str(), &s) == 0 ? s.st_ino : 0);
    }
    return out;
}

template <class List, class F> std::string join(const List& items, F toWord)
{
    std::string out;
    for (const auto& item : items) out += (&item == &*std::begin(items) ? "" : ",") + toWord(item);
    return out;
}

// ?STATUS ?failed=TEXTKEY ?went=STATUS,... ?opened=N ?wait=DURATION (60s: none) ?to=HOST:PORT[:PIN]
// (the last channel) ?cancelled ?open ?dropped=I (channel I cancelled and disposed) ?key=tv|new|none
// (stored and published) ?host= ?verified= ?saved=HOST (settings and shared item) ?name= ?stored=NAME
// (in the settings file) ?legacy=kept|gone (the old key setting) ?unwritten (since "watch") ?lookups=N ?asked=NAME ?found=NAME@HOST,... ?sent=WORD,... (what reached the
// TV, see received) ?said=... (pairing frames) ?tv=L/M/MUTED,APP,on|off
void check(TVRig& r, const std::string& what, const std::string& want)
{
    const TVController& tv = *r.tv;
    const auto is = [&](const std::string& got) { EXPECT_EQ(got, want) << "?" << what; };
    const auto key = [&](const std::optional<identity::RSAPublicKey>& k) { return !k ? "none" : *k == r.tvKey ? "tv" : *k == r.newTvKey ? "new" : "other"; };
    const platform::Settings file(r.settings.filePath());
    const auto last = [&]() -> const FakeChannel& { return r.last(); };
    if (what == "failed") is(word(tv.status()));
    else if (std::find(std::begin(caseNames), std::end(caseNames), what) != std::end(caseNames)) EXPECT_EQ(word(tv.status()), what);
    else if (what == "went") is(join(r.statuses, word));
    else if (what == "opened") is(std::to_string(r.opened()));
    else if (what == "wait") EXPECT_EQ(r.untilNextChannel(), duration(want));
    else if (what == "to")
        is(last().host().toStdString() + (last().port == remotePort ? ":remote" : last().port == pairingPort ? ":pairing" : ":?") +
           (last().pinned ? std::string(":") + key(last().pinned) : "") + (last().identity && last().started ? "" : ":unstarted"));
    else if (what == "cancelled" || what == "open") EXPECT_EQ(last().cancelled, what == "cancelled");
    else if (what == "dropped") EXPECT_TRUE(r.channels.opened.at(std::stoul(want))->cancelled && r.channels.opened[std::stoul(want)]->disposed);
    else if (what == "key") { is(key(r.store.loadPinnedKey())); EXPECT_EQ(tv.isPaired(), want != "none"); }
    else if (const std::map<std::string, QString> texts = {{"host", tv.host()}, {"verified", tv.verifiedHost()}, {"name", tv.tvName()}, {"stored", file.tvName().value_or("")},
                                                           {"legacy", r.settings.legacyTvKey() ? "kept" : "gone"}}; texts.count(what))
        is(texts.at(what).toStdString());
    else if (what == "saved") is(file.tvHost().value_or("").toStdString()), is(r.store.loadHost().value_or(""));
    else if (what == "lookups") is(std::to_string(r.lookup.requests.size()));
    else if (what == "asked") for (const auto& q : r.lookup.requests) is(q.name.toStdString());
    else if (what == "found") is(join(tv.found(), [](const tv::FoundTV& f) { return (f.name + "@" + f.host).toStdString(); }));
    else if (what == "sent") is(join(received(last()), [](const std::string& s) { return s; }));
    else if (what == "said") // a secret is named so only when it is the one of the TV's code
        is(join(last().sent, [&](const Bytes& f) -> std::string {
            const auto m = TvMsg::decodePairing(payloadOf(f));
            if (const auto* s = std::get_if<TvMsg::pairing::Secret>(&m)) return s->secret == identity::pairingSecret(r.validCode(), r.clientKey(), r.tvKey) ? "secret" : "secret?";
            return m.index() ? std::vector<std::string>{"", "option", "configuration", "", "?"}[m.index()] : "request:" + std::get<0>(m).clientName;
        }));
    else if (what == "unwritten") EXPECT_EQ(inodes(r), watched) << "replaced";
    else if (what == "tv") // what the TV reported: volume, app in front, on
        is((!tv.volume() ? QString() : QString("%1/%2/%3").arg(tv.volume()->level).arg(tv.volume()->max).arg(int(tv.volume()->muted))).toStdString() + "," + tv.currentApp().toStdString() + "," + (tv.isOn() ? "on" : "off"));
    else ADD_FAILURE() << "unknown check " << what;
}

void play(const std::string& row)
{
    SCOPED_TRACE(row);
    TVRig r;
    std::function<void(const transport::Channel::Event&)> held;
    std::istringstream words(row);
    for (std::string w; words >> w;) {
        const std::size_t eq = w.find('=');
        const std::string name = w.substr(0, eq);
        std::string arg = eq == std::string::npos ? "" : w.substr(eq + 1);
        std::replace(arg.begin(), arg.end(), '_', ' ');
        const QString before = u8(arg.substr(0, arg.find('@'))), after = u8(arg.substr(arg.find('@') + 1));
        if (w[0] == '?') check(r, name.substr(1), arg);
        else if (w == "~") r.untilNextChannel();
        else if (w == "fail") r.run("close").untilNextChannel();
        else if (name == "answer") r.lookup.requests.at(before.toULong()).done(after);
        else if (name == "found") r.lookup.announce({before}), r.lookup.answer(before, after == "none" ? std::nullopt : std::optional(after));
        else if (name == "named") r.settings.setTvName(before);
        else if (name == "rename") r.tv->setTvName(before);
        else if (w == "typo") EXPECT_FALSE(r.tv->submitCode(u8(r.validCode()).replace(0, 1, r.validCode()[0] == 'F' ? "E" : "F"))); // a wrong check byte
        else if (w == "fixid" || w == "breakid") std::filesystem::remove_all(r.dir / "data" / "Telvanto client"), r.run(w == "fixid" ? "id" : "badid");
        else if (name == "legacy") QSettings(r.settings.filePath(), QSettings::IniFormat).setValue("tvKey", arg == "key" ? QByteArray::fromStdString(toString(r.tvKey.pkcs1())) : "junk");
        else if (w == "nostore") std::ofstream(r.dir / "data") << "a file where the directory goes";
        else if (w == "watch") watched = inodes(r);
        else if (w == "hold") held = r.last().onEvent;
        else if (w == "late") held(transport::Channel::Message{payloadOf(TvMsg::volume(3, 30, true))}), held(transport::Channel::Closed{transport::Channel::Error{Kind::io, "late"}});
        else r.run(w);
    }
    EXPECT_TRUE(!r.tv || r.tv->verifiedHost().isEmpty() != r.tv->status().is(Case::connected));
}

} // namespace

TEST(TVController, StatusTable)
{
    for (const char* row : {
             "host make ?idle ?host=10.0.0.5 ?saved=10.0.0.5", // the shared item learns the address at once
             "make rename=Kuchyňa ?name=Kuchyňa ?stored=Kuchyňa",
             "legacy=key make ?key=tv ?legacy=gone", "legacy=junk make ?key=none ?legacy=kept",
             "legacy=key nostore make ?key=none ?legacy=kept", // kept for the next launch when it cannot be stored
             // Every confirmed connection saves the address; an unchanged one is not written again.
             "id paired start ready tv:start watch reconnect ready tv:start reconnect ready tv:start ?unwritten ?opened=3 ?saved=10.0.0.5",
             "id paired start close breakid +60s ?went=connecting,unreachable,keychain fixid ~ ?connecting", // one announcement for six attempts
             "badid paired make pair ?failed=keychain ?opened=0",
             "id host start ready req opt conf typo code ?said=request:Test_PC,option,configuration,secret ?waitingForCode",
             "id host start ready req opt conf code secret ?connecting ?key=tv ?saved=10.0.0.5 ?to=10.0.0.5:remote:tv",
             "id host start ready conf refuse=402 ?failed=wrongCode ?cancelled", "id host start ready conf refuse=403 ?failed=refused403 ?cancelled",
             "id host start ready conf secret ?failed=pairingFailed ?cancelled", // no secret was sent
             "id host start ready code secret ?failed=pairingFailed ?key=none",  // too early
             "id host start ready conf close ?failed=interrupted",
             "id host start key=3 ?pairing ?opened=1", // no remote while pairing
             "id paired start pair ?dropped=0 cancel ?went=connecting,pairing,idle,connecting ?to=10.0.0.5:remote:tv",
             "id host start ?to=10.0.0.5:pairing cancel ?cancelled key=3 ?went=needsPairing,pairing,needsPairing ?opened=1", // paired by itself once only
             "id paired make select@10.0.0.6 ready tv:start start ?connected ?verified=10.0.0.6 ?saved=10.0.0.6 ?opened=1", // a start then changes nothing
             "id paired start ready tv:start tv:volume tv:volume tv:app tv:app tv:off ?tv=12/100/1,com.netflix.ninja,off", // repeats announce nothing
             "id paired start select@10.0.0.9 close ?failed=unreachable ?host=10.0.0.5 ?wait=1s ?to=10.0.0.5:remote:tv",
             "id paired start mismatch ?failed=other ?wait=60s",
             "id paired start close:tls ?failed=forgotten ?wait=1s",
             "id paired start hold ready tv:start reconnect ?dropped=0 ?verified= ready tv:start late +5s ?connected ?tv=,,on ?opened=2",
         })
        play(row);
}

TEST(TVController, StartSelectionAndNetworkChanges)
{
    for (const char* row : {
             "id paired start ready tv:start start net:up net:down select@ ?connected ?opened=1 ?open ?host=10.0.0.5",
             "id paired start start ?connecting ?opened=2 ?dropped=0", "id paired start net:up ?connecting ?opened=2 ?dropped=0",
             "id paired start ready tv:start net:down net:up ?connecting ?opened=2 ?dropped=0",
             "id paired start ready tv:start select@10.0.0.7 ?connecting ?opened=2 ?dropped=0 ?key=tv ?to=10.0.0.7:remote:tv", // same TV
             "id paired start ready tv:start select=Kuchyna@10.0.0.8 ?pairing ?opened=2 ?dropped=0 ?key=none ?to=10.0.0.8:pairing ?stored=Kuchyna", // another TV: paired by itself
             "id host start ready conf select=Kuchyna@10.0.0.8 ?pairing ?opened=2 ?dropped=0 ?key=none ?to=10.0.0.8:pairing",
             // TVs found on the network
             "id start ?searching found=Obývačka@10.0.0.7 ?found=Obývačka@10.0.0.7 ?name=Obývačka ?host=10.0.0.7 ?to=10.0.0.7:pairing found=Obývačka@10.0.0.7 ?opened=1 cancel found=Obývačka@10.0.0.7 ?opened=1 ?went=searching,needsPairing,pairing,needsPairing",
             "named=TV id paired start found=TV@10.0.0.9 ?found=TV@10.0.0.9 ?host=10.0.0.9 ?opened=2 ?to=10.0.0.9:remote:tv", // while connecting
             "named=TV id paired start ready tv:start found=TV@10.0.0.9 ?found=TV@10.0.0.9 ?host=10.0.0.5 ?opened=1",
             "named=TV id paired start pair found=TV@10.0.0.9 ?found=TV@10.0.0.9 ?host=10.0.0.5 ?opened=2",
             "named=TV id paired start ready tv:start found=TV@10.0.0.5 found=Spálňa@10.0.0.8 ?found=TV@10.0.0.5,Spálňa@10.0.0.8 ?key=tv select=Spálňa@10.0.0.8 ?key=none ?name=Spálňa ?pairing",
             "id start found=IPv6@none found=Gone@ ?found= ?searching ?opened=0",
         })
        play(row);
}

TEST(TVController, BackOffWatchdogAndLookUps)
{
    for (const char* row : {
             "id paired start close ?wait=1s close ?wait=2s close ?wait=4s close ?wait=8s close ?wait=15s close ?wait=15s close ?wait=15s",
             // Each resets the back-off (the next wait would have been 4 s).
             "id paired start close +1s close +2s ready tv:start close ?wait=1s",
             "id paired start close +1s close reconnect ?opened=3 close ?wait=1s",
             "id paired start close +1s close key=3 ?opened=3 close ?wait=1s",
             // A pairing also starts the count of failures between look-ups anew.
             "id paired start close +1s close pair ready conf code secret ?opened=4 close ?lookups=0 ?wait=1s close ?lookups=0 ?wait=2s close ?lookups=1 ?wait=4s",
             // The watchdog ticks every 2 s and cuts after more than 12 s connecting or 16 s silent.
             "id paired start +13999ms ?open +1ms ?cancelled ?failed=unreachable",
             "id paired start +2s ready tv:start +14s tv:ping +17999ms ?open +1ms ?cancelled ?failed=lost",
             // Every third counted failure looks the TV up by name; a close before start is not counted
             // after a TLS refusal, and a confirmed connection counts anew.
             "id paired start fail close:conn ~ ?lookups=0 fail ?lookups=1 ?asked=Mi_Box close:tls ~ fail ?lookups=1 ready tv:start fail fail ?lookups=1 fail ?lookups=2 fail fail fail ?lookups=3 fail fail fail ?lookups=4 ?opened=15 answer=0@10.0.0.5 rename=Kuchyňa answer=1@10.0.0.9 rename=Mi_Box ready tv:start answer=2@10.0.0.8 ?opened=15 ?host=10.0.0.5 close answer=3@10.0.0.8 ?opened=16 ?to=10.0.0.8:remote:tv",
         })
        play(row);
}

// The app, telvanto-cli and Sendora share one pairing. A running controller takes what another
// program stored and connects with it, without waiting for a restart.
TEST(TVController, TakesThePairingOtherProgramsStore)
{
    for (const char* row : {
             "id paired start mismatch repaired ?connecting ?opened=2 ?to=10.0.0.5:remote:new ?key=new",
             "id paired start ready tv:start touched ?connected ?opened=1",
             "id paired start ready tv:start moved=10.0.0.9 ?connected ?opened=1 ?host=10.0.0.5 close ?wait=1s ?to=10.0.0.9:remote:tv", // keeps what works until it breaks
             "id paired start close moved=10.0.0.9 ?connecting ?opened=2 ?to=10.0.0.9:remote:tv",
             "id paired start ready tv:start unpaired ?needsPairing ?cancelled ?key=none ?wait=60s", // nor pairing by itself
             "id host start ready req opt conf repaired ?waitingForCode ?open ?key=new", // the user is typing a code
             "id paired make repaired ?idle ?opened=0 ?key=new start ?to=10.0.0.5:remote:new",
         })
        play(row);
}

// What goes out on the remote connection, after a paired start; the TV's IME counters are 4 and 9.
TEST(TVCommands, WhatReachesTheTV)
{
    for (const std::string row : {
             "ready tv:config=0 ?sent=configure:615", "ready tv:config=1 tv:active ?sent=configure:1,active:1",
             "ready tv:config=1023 ?sent=configure:615", "ready tv:ping ?sent=ping:123456789",
             // The queue: sent on the start message when younger than 4 s, in order.
             "key=19 +3999ms ready tv:start ?sent=key:19", "key=19 +4s ready tv:start ?sent=",
             "key=19 +5s key=20 +1s key=21 ready tv:start ?sent=key:20,key:21",
             // Text edits: deletions, then the insertion; characters as the user sees them.
             "ready tv:start tv:ime type=Hello>Help ?sent=del,del,ime:p@4/9", "ready tv:start tv:ime type=>abc ?sent=ime:abc@4/9",
             "ready tv:start tv:ime type=abc>ab ?sent=del",
             "ready tv:start tv:ime type=cafe\xCC\x81>cafe ?sent=del,ime:e@4/9", // e + combining acute: one character
             // App launches: the app's documented link, else the market link.
             "launch=com.google.android.youtube.tv ready tv:start ?sent=link:https://www.youtube.com",
             "launch=org.example.other ready tv:start ?sent=link:market://launch?id=org.example.other",
         })
        play("id paired start " + row);
}

TEST(TVCommands, Catalogue)
{
    const tv::TVApp apps[] = {
        {"YouTube", "com.google.android.youtube.tv", {1.0, 0.23, 0.19}, "play.rectangle.fill", "https://www.youtube.com"},
        {"Netflix", "com.netflix.ninja", {0.75, 0.03, 0.08}, "n.square.fill", "https://www.netflix.com/title"},
        {"VOYO", "net.cme.voyo.sk.tvapp", {0.36, 0.30, 0.95}, "v.square.fill", "market://launch?id=net.cme.voyo.sk.tvapp"},
        {"HBO Max", "com.wbd.stream", {0.30, 0.12, 0.75}, "h.square.fill", "https://play.hbomax.com"},
        {"Disney+", "com.disney.disneyplus", {0.05, 0.35, 0.55}, "sparkles.tv.fill", "https://www.disneyplus.com"},
        {"SmartTube", "org.smarttube.stable", {0.85, 0.15, 0.15}, "s.square.fill", "market://launch?id=org.smarttube.stable"},
        {"Spotify", "com.spotify.tv.android", {0.11, 0.73, 0.33}, "music.note", "spotify:"},
        {"AirScreen", "com.ionitech.airscreen", {0.10, 0.60, 0.55}, "airplayvideo", "market://launch?id=com.ionitech.airscreen"},
    };
    EXPECT_EQ(tv::TVApp::catalogue(), QList<tv::TVApp>(std::begin(apps), std::end(apps)));
}
