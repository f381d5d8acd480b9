#pragma once

#include "core/Scheduler.h"
#include "transport/Channel.h"

#include "TvMsg.h"

#include <memory>
#include <vector>

namespace telvanto::testing {

// A framed message without its varint length header.
inline Bytes payloadOf(const Bytes& frame)
{
    std::size_t header = 0;
    while (header < frame.size() && (frame[header] & 0x80)) ++header;
    return Bytes(frame.begin() + std::ptrdiff_t(std::min(header + 1, frame.size())), frame.end());
}

// A scripted channel: the test plays the TV by calling ready/receive/close, and reads what
// the owner sent. Like the real one it reports a close once, and a cancel from the
// scheduler (virtual time zero later), not from inside the owner's call.
struct FakeChannel final : transport::Channel {
    FakeChannel(QString toHost, quint16 toPort, std::optional<identity::ClientIdentity> withIdentity, std::optional<identity::RSAPublicKey> pinnedKey, core::Scheduler& scheduler)
        : host_(std::move(toHost)), port(toPort), identity(std::move(withIdentity)), pinned(std::move(pinnedKey)), scheduler_(scheduler) {}

    void start() override { started = true; }
    void send(ByteView frame) override { if (!closed) sent.emplace_back(frame.begin(), frame.end()); }
    void cancel() override
    {
        cancelled = true;
        if (!std::exchange(closed, true)) pendingClose_ = scheduler_.schedule(core::Duration::zero(), [this] { deliver(Closed{}); });
    }
    const std::optional<identity::RSAPublicKey>& serverKey() const override { return keyBox_.key; }
    const KeyBox& keyBox() const override { return keyBox_; }
    const QString& host() const override { return host_; }
    void dispose() override { disposed = true, onEvent = nullptr; }

    // The TV's side.
    void ready(const identity::RSAPublicKey& key) { keyBox_.key = key; if (!closed) deliver(Ready{}); }
    void receiveFrame(const Bytes& frame) { if (!closed) deliver(Message{payloadOf(frame)}); } // as the encoders make it
    void close(std::optional<Error> error = std::nullopt, bool pinMismatch = false)
    {
        keyBox_.pinMismatch = pinMismatch;
        if (!std::exchange(closed, true)) deliver(Closed{std::move(error)});
    }
    void deliver(const Event& event) { if (auto handler = onEvent) handler(event); } // a copy: the handler may dispose us

    QString host_;
    quint16 port;
    std::optional<identity::ClientIdentity> identity;
    std::optional<identity::RSAPublicKey> pinned;
    std::vector<Bytes> sent;
    bool started = false, cancelled = false, closed = false, disposed = false;
    core::Scheduler& scheduler_;
    KeyBox keyBox_;
    core::TaskHandle pendingClose_;
};

// Keeps every channel it opened, so tests can inspect and drive old ones too.
struct FakeChannelFactory final : transport::ChannelFactory {
    explicit FakeChannelFactory(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    transport::ChannelPtr open(const QString& host, quint16 port, std::optional<identity::ClientIdentity> identity, std::optional<identity::RSAPublicKey> pinned) override
    {
        opened.push_back(std::make_unique<FakeChannel>(host, port, std::move(identity), std::move(pinned), scheduler_));
        return transport::ChannelPtr(opened.back().get());
    }
    FakeChannel& last() { return *opened.back(); }
    std::vector<std::unique_ptr<FakeChannel>> opened;
    core::Scheduler& scheduler_;
};

// What reached the TV on a remote channel, one word per frame: "configure:615", "active:615",
// "ping:7", "key:19", "del", "ime:<text>@<ime>/<field>", "link:<link>", "?" (undecodable).
inline std::vector<std::string> received(const FakeChannel& channel)
{
    using namespace tvsim::TvMsg::from;
    using std::to_string;
    std::vector<std::string> out;
    for (const Bytes& frame : channel.sent) {
        const auto m = tvsim::TvMsg::decodeRemote(payloadOf(frame));
        if (const auto* c = std::get_if<Configure>(&m)) out.push_back("configure:" + to_string(c->features));
        else if (const auto* a = std::get_if<SetActive>(&m)) out.push_back("active:" + to_string(a->value));
        else if (const auto* p = std::get_if<PingResponse>(&m)) out.push_back("ping:" + to_string(p->value));
        else if (const auto* k = std::get_if<Key>(&m)) out.push_back(k->code == 67 ? "del" : "key:" + to_string(k->code));
        else if (const auto* i = std::get_if<ImeBatch>(&m)) out.push_back("ime:" + i->text + "@" + to_string(i->ime) + "/" + to_string(i->field));
        else if (const auto* l = std::get_if<AppLink>(&m)) out.push_back("link:" + l->link);
        else out.push_back("?");
    }
    return out;
}

} // namespace telvanto::testing
