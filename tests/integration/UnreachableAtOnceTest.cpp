// Connections that fail inside the connect call itself (no route to the address): the owner
// still hears of it only from the event loop, after its own call has returned.
#include "linksender/LinkSender.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"
#include "OwnNetNamespace.h"
#include "PairedStore.h"
#include "RecordingLog.h"
#include "TestIdentities.h"

#include <gtest/gtest.h>

using namespace telvanto;
using telvanto::testing::OwnNetNamespace;
using telvanto::testing::waitUntil;
using Kind = transport::Channel::Error::Kind;

TEST(UnreachableAtOnce, TheChannelReportsFromTheEventLoop)
{
    for (const bool dropInHandler : {false, true}) {
        transport::QtScheduler scheduler;
        std::vector<transport::Channel::Event> events;
        bool inStart = false;
        bool eventInStart = false;
        transport::ChannelPtr channel;
        {
            const OwnNetNamespace isolated;
            if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
            channel.reset(new transport::TLSChannel("127.0.0.1", 9, telvanto::testing::testIdentity(1), std::nullopt, scheduler));
            channel->onEvent = [&](const transport::Channel::Event& event) {
                eventInStart = eventInStart || inStart;
                events.push_back(event);
                if (dropInHandler) channel.reset();
            };
            inStart = true;
            channel->start();
            inStart = false;
        }
        EXPECT_FALSE(eventInStart) << dropInHandler;
        ASSERT_TRUE(waitUntil([&] { return !events.empty(); })) << dropInHandler;
        telvanto::testing::drainEvents();
        ASSERT_EQ(events.size(), 1u) << dropInHandler;
        const auto* closed = std::get_if<transport::Channel::Closed>(&events[0]);
        ASSERT_TRUE(closed && closed->error) << dropInHandler;
        EXPECT_EQ(closed->error->kind, Kind::connection) << closed->error->description;
    }
}

// The sender's owner drops it from inside the completion; the sender must not be inside
// send then, or it goes on with an object that is gone.
TEST(UnreachableAtOnce, TheLinkSenderCompletesAfterSendReturned)
{
    telvanto::testing::PairedStore paired({true, true, "127.0.0.1"});
    transport::QtScheduler scheduler;
    transport::TLSChannelFactory channels(scheduler);
    telvanto::testing::RecordingLog log;
    auto sender = std::make_unique<linksender::LinkSender>(linksender::LinkSender::Services{paired.store, channels, scheduler, log, 9});
    std::vector<linksender::LinkSender::Result> results;
    bool inSend = false;
    bool completedInSend = false;
    {
        const OwnNetNamespace isolated;
        if (!isolated.entered()) GTEST_SKIP() << "needs root for a network namespace";
        inSend = true;
        sender->send(*linksender::WebLink::parse("https://example.com"), [&](linksender::LinkSender::Result result) {
            completedInSend = inSend;
            results.push_back(result);
            sender.reset();
        });
        inSend = false;
    }
    EXPECT_FALSE(completedInSend);
    ASSERT_TRUE(waitUntil([&] { return !results.empty(); }));
    telvanto::testing::drainEvents();
    EXPECT_EQ(results, (std::vector<linksender::LinkSender::Result>{linksender::LinkSender::Failure::unreachable}));
}
