#pragma once

#include "Simulator.h"
#include "identity/PairingSecret.h"
#include "protocol/PairingMsg.h"
#include "transport/QtScheduler.h"
#include "transport/TLSChannel.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

namespace telvanto::testing {

// A simulated TV on loopback at free ports, keeping its state in stateDir.
inline std::unique_ptr<tvsim::Simulator> startTvsim(const std::filesystem::path& stateDir, core::Scheduler& scheduler)
{
    tvsim::Simulator::Options options;
    options.pairingPort = 0;
    options.remotePort = 0;
    options.stateDir = stateDir;
    auto tv = std::make_unique<tvsim::Simulator>(options, scheduler);
    QString error;
    EXPECT_TRUE(tv->start(&error)) << error.toStdString();
    return tv;
}

// Runs the pairing dialogue with a simulated TV as a remote does, over real TLS, and returns
// the TV's answer to the secret. mistype flips a bit of the secret the TV receives.
inline protocol::PairingMsg::Reply pairWithTvsim(tvsim::Simulator& tv, const identity::ClientIdentity& client,
                                                 bool mistype = false)
{
    using namespace protocol;
    static transport::QtScheduler scheduler;
    transport::ChannelPtr channel(new transport::TLSChannel("127.0.0.1", tv.pairingPort(), client, std::nullopt, scheduler));
    std::vector<PairingMsg::Reply> replies;
    bool ready = false, closed = false;
    channel->onEvent = [&](const transport::Channel::Event& e) {
        if (const auto* m = std::get_if<transport::Channel::Message>(&e)) replies.push_back(PairingMsg::decode(m->payload));
        if (std::holds_alternative<transport::Channel::Closed>(e)) closed = true;
        if (std::holds_alternative<transport::Channel::Ready>(e)) ready = true;
    };
    channel->start();
    auto exchange = [&](const Bytes& frame) -> std::optional<PairingMsg::Reply> {
        const std::size_t before = replies.size();
        if (!frame.empty()) channel->send(frame);
        if (!waitUntil([&] { return replies.size() > before || closed; }) || replies.size() == before) return std::nullopt;
        return replies.back();
    };
    EXPECT_TRUE(waitUntil([&] { return ready || closed; }));
    if (!exchange(PairingMsg::request("test")) || !exchange(PairingMsg::option()) || !exchange(PairingMsg::configuration())) {
        ADD_FAILURE() << "the pairing dialogue stopped early";
        return PairingMsg::reply::Other{};
    }
    auto secret = identity::pairingSecret(tv.code().toStdString(), client.publicKey(), *channel->serverKey());
    EXPECT_TRUE(secret) << "the code's check byte must match";
    if (!secret) return PairingMsg::reply::Other{};
    if (mistype) (*secret)[5] ^= 1;
    return exchange(PairingMsg::secret(*secret)).value_or(PairingMsg::reply::Other{});
}

} // namespace telvanto::testing
