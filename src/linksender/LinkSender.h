#pragma once

#include "core/Bytes.h"
#include "core/Scheduler.h"
#include "identity/CredentialStore.h"
#include "linksender/Log.h"
#include "linksender/WebLink.h"
#include "transport/Channel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace telvanto::linksender {

// Sends one web link to the paired TV over a short remote connection and reports the outcome
// once. It neither pairs nor discovers: it uses the identity, pinned key and address that
// Telvanto stored. One sender serves one link.
class LinkSender {
public:
    static constexpr quint16 defaultPort = 6466;
    // ping 1 + key 2 + IME 4 + power 32 + volume 64 + app link 512
    static constexpr std::int64_t defaultFeatures = 615;
    static constexpr core::Duration timeoutDelay = std::chrono::seconds(10);
    // The TV gets a moment to take the link before the connection goes.
    static constexpr core::Duration successDelay = std::chrono::milliseconds(800);

    // notPaired: nothing stored to send with, or the TV refused us (it forgot this computer,
    // or it is another TV than the paired one); unreachable: no connection, or it ended early.
    enum class Failure { notPaired, unreachable, timeout };
    // The Slovak text the user sees.
    static std::string_view description(Failure failure);

    struct Success {
        bool operator==(const Success&) const = default;
    };
    using Result = std::variant<Success, Failure>;
    using Completion = std::function<void(Result)>;

    // What the sender works with; all must outlive it.
    struct Services {
        const identity::CredentialStore& store;
        transport::ChannelFactory& channels;
        core::Scheduler& scheduler;
        Log& log;
        quint16 port = defaultPort;
    };

    // One shared item as loaded: none, a URL (its text as handed over), bytes, or text.
    struct UrlItem {
        std::string text;
    };
    using Item = std::variant<std::monostate, UrlItem, Bytes, std::string>;

    // The first web link in free text (schemes exactly "http" or "https").
    static std::optional<WebLink> linkIn(std::string_view text);
    // The web link an item carries: a URL item only when its scheme is exactly "http" or
    // "https"; bytes that form a URL likewise (a URL of another scheme gives none), other
    // bytes that are UTF-8 searched like text; text searched for its first web link.
    static std::optional<WebLink> linkFrom(const Item& item);

    explicit LinkSender(Services services);
    LinkSender(const LinkSender&) = delete;
    LinkSender& operator=(const LinkSender&) = delete;

    // Starts the one send. The completion runs exactly once, from the event loop, except for
    // notPaired, which is reported before send returns; never after the sender is destroyed.
    // A second send is a programming error and is ignored.
    void send(const WebLink& link, Completion completion);

private:
    void handle(const transport::Channel::Event& event);
    void handleMessage(ByteView payload);
    void transmit(const Bytes& frame);
    void finish(Result result);

    Services services_;
    transport::ChannelPtr channel_;
    Completion completion_;
    bool sent_ = false;
    std::int64_t features_ = defaultFeatures;
    bool used_ = false;
    std::string link_;
    core::TaskHandle timeout_;
    core::TaskHandle successTimer_;
};

} // namespace telvanto::linksender
