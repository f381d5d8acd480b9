// The controller's choices about TVs found on the network, over a scripted browser.
#include "TVRig.h"

using namespace telvanto;
using namespace telvanto::testing;

namespace {
QList<tv::FoundTV> foundOf(std::initializer_list<std::pair<const char*, const char*>> tvs)
{
    QList<tv::FoundTV> out;
    for (const auto& [name, host] : tvs) out.append({QString::fromUtf8(name), QString::fromUtf8(host)});
    return out;
}
} // namespace

TEST(TVDiscovery, FirstTvIsChosenAndPairedOnce)
{
    TVRig r;
    r.run("id start");
    ASSERT_TRUE(r.tv->status().is(Case::searching));
    r.lookup.announce({"Obývačka"});
    r.lookup.answer("Obývačka", QString("10.0.0.7"));
    EXPECT_EQ(r.tv->found(), foundOf({{"Obývačka", "10.0.0.7"}}));
    EXPECT_EQ(r.tv->tvName(), "Obývačka");
    EXPECT_EQ(r.tv->host(), "10.0.0.7");
    EXPECT_TRUE(r.tv->status().is(Case::pairing));
    ASSERT_EQ(r.opened(), 1u);
    EXPECT_EQ(r.last().port, pairingPort);

    // The same TV at the same address again: nothing moves.
    const auto before = r.announcements;
    r.lookup.announce({"Obývačka"});
    r.lookup.answer("Obývačka", QString("10.0.0.7"));
    EXPECT_EQ(r.announcements, before);
    EXPECT_EQ(r.opened(), 1u);

    // Pairing is not started again for this TV, even after it was abandoned.
    r.run("cancel");
    r.lookup.announce({"Obývačka"});
    r.lookup.answer("Obývačka", QString("10.0.0.7"));
    EXPECT_EQ(r.opened(), 1u);
}

TEST(TVDiscovery, ChosenTvIsFollowedToANewAddressOnlyWhenIdle)
{
    const struct {
        const char* name;
        const char* script; // after a paired start with the TV named "TV" at 10.0.0.5
        bool follows;
    } cases[] = {
        {"not connected", "close:conn", true},
        {"connecting", "", true},
        {"connected", "ready tv:start", false},
        {"pairing", "pair", false},
    };
    for (const auto& c : cases) {
        TVRig r;
        r.settings.setTvName("TV");
        r.run("id paired start").run(c.script);
        const std::size_t opened = r.opened();
        r.lookup.announce({"TV"});
        r.lookup.answer("TV", QString("10.0.0.9"));
        EXPECT_EQ(r.tv->found(), foundOf({{"TV", "10.0.0.9"}})) << c.name;
        EXPECT_EQ(r.tv->host(), c.follows ? "10.0.0.9" : "10.0.0.5") << c.name;
        if (c.follows) {
            ASSERT_EQ(r.opened(), opened + 1) << c.name << ": reconnects at once";
            EXPECT_EQ(r.last().host(), "10.0.0.9") << c.name;
        } else {
            EXPECT_EQ(r.opened(), opened) << c.name;
        }
    }
}

TEST(TVDiscovery, ChoosingAnotherTvForgetsTheFirstOnesKey)
{
    TVRig r;
    r.settings.setTvName("TV");
    r.run("id paired start ready tv:start");
    r.lookup.announce({"TV", "Spálňa"});
    r.lookup.answer("TV", QString("10.0.0.5"));
    r.lookup.answer("Spálňa", QString("10.0.0.8"));
    EXPECT_EQ(r.tv->found(), foundOf({{"TV", "10.0.0.5"}, {"Spálňa", "10.0.0.8"}}));
    EXPECT_TRUE(r.tv->isPaired());

    r.tv->selectTV("Spálňa", "10.0.0.8");
    EXPECT_FALSE(r.tv->isPaired());
    EXPECT_EQ(r.store.loadPinnedKey(), std::nullopt);
    EXPECT_EQ(r.tv->tvName(), "Spálňa");
    EXPECT_TRUE(r.tv->status().is(Case::pairing)) << "the new TV is paired by itself";
}

TEST(TVDiscovery, UnresolvableTvsAreNotListed)
{
    TVRig r;
    r.run("id start");
    r.lookup.announce({"IPv6 only", "Gone"});
    r.lookup.answer("IPv6 only", std::nullopt);
    r.lookup.answer("Gone", QString());
    EXPECT_TRUE(r.tv->found().isEmpty());
    EXPECT_TRUE(r.tv->status().is(Case::searching));
    EXPECT_EQ(r.opened(), 0u);
}
