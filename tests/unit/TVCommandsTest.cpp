#include "TVRig.h"

#include "protocol/AppLinks.h"

using namespace telvanto;
using namespace telvanto::testing;

using Words = std::vector<std::string>;

// What goes out on the remote connection, after a paired start and with the TV's IME counters 4 and 9.
TEST(TVCommands, WhatReachesTheTV)
{
    const std::pair<const char*, Words> rows[] = {
        // Answers, sent at once.
        {"ready tv:config=0", {"configure:615"}},
        {"ready tv:config=1", {"configure:1"}},
        {"ready tv:config=1023", {"configure:615"}},
        {"ready tv:config=1 tv:active", {"configure:1", "active:1"}},
        {"ready tv:ping", {"ping:123456789"}},
        // The queue: sent on the start message when younger than 4 s, in order.
        {"key=19 +3999ms ready tv:start", {"key:19"}},
        {"key=19 +4s ready tv:start", {}},
        {"key=19 +1s key=20 +1s key=21 +2500ms ready tv:start", {"key:20", "key:21"}},
        {"key=19 +5s key=20 +1s ready tv:start", {"key:20"}},
        // Text edits: deletions, then the insertion; characters as the user sees them.
        {"ready tv:start tv:ime type=Hello>Help", {"del", "del", "ime:p@4/9"}},
        {"ready tv:start tv:ime type=>abc", {"ime:abc@4/9"}},
        {"ready tv:start tv:ime type=abc>ab", {"del"}},
        {"ready tv:start tv:ime type=ab>abcd", {"ime:cd@4/9"}},
        {"ready tv:start tv:ime type=same>same", {}},
        {"ready tv:start tv:ime type=cafe\xCC\x81>cafe", {"del", "ime:e@4/9"}}, // e + combining acute: one
        {"ready tv:start tv:ime type=cafe\xCC\x81s>cafe\xCC\x81", {"del"}},
        {"ready tv:start tv:ime type=caf\xC3\xA9>cafe\xCC\x81", {"del", "ime:e\xCC\x81@4/9"}}, // composed or not differ
        {"ready tv:start tv:ime type=ok\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD>ok", {"del"}},      // with a skin tone
        {"ready tv:start tv:ime type=\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7!>", {"del", "del"}},
        {"ready tv:start tv:ime type=\xF0\x9F\x87\xB8\xF0\x9F\x87\xB0>\xF0\x9F\x87\xB8\xF0\x9F\x87\xAE",
         {"del", "ime:\xF0\x9F\x87\xB8\xF0\x9F\x87\xAE@4/9"}}, // flag SK to flag SI
        // App launches: the app's documented link, else the market link.
        {"launch=com.google.android.youtube.tv ready tv:start", {"link:https://www.youtube.com"}},
        {"launch=com.spotify.tv.android ready tv:start", {"link:spotify:"}},
        {"launch=net.cme.voyo.sk.tvapp ready tv:start", {"link:market://launch?id=net.cme.voyo.sk.tvapp"}},
        {"launch=org.example.other ready tv:start", {"link:market://launch?id=org.example.other"}},
    };
    for (const auto& [script, expected] : rows) {
        TVRig rig;
        EXPECT_EQ(received(rig.run("id paired start").run(script).last()), expected) << script;
    }
}

TEST(TVCommands, Catalogue)
{
    QStringList names;
    for (const auto& app : tv::TVApp::catalogue()) {
        names << app.name;
        EXPECT_EQ(app.link.toStdString(), protocol::launchLink(app.package.toStdString()));
    }
    EXPECT_EQ(names, QStringList({"YouTube", "Netflix", "VOYO", "HBO Max", "Disney+", "SmartTube", "Spotify", "AirScreen"}));
    EXPECT_EQ(tv::TVApp::catalogue()[1].color, (tv::TVApp::Color{0.75, 0.03, 0.08}));
    for (const auto& entry : protocol::appLinks) EXPECT_TRUE(tv::TVApp::find(u8(std::string(entry.package)))) << entry.package;
}
