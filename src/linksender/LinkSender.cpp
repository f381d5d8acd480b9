#include "linksender/LinkSender.h"

#include "core/Overloaded.h"
#include "core/Utf8.h"
#include "identity/ClientIdentity.h"
#include "linksender/LinkFinder.h"
#include "protocol/RemoteMsg.h"

#include <algorithm>

namespace telvanto::linksender {

namespace {

std::string_view errorKindName(transport::Channel::Error::Kind kind)
{
    using Kind = transport::Channel::Error::Kind;
    switch (kind) {
    case Kind::connection:
        return "connection";
    case Kind::tls:
        return "tls";
    case Kind::oversized:
        return "oversized";
    case Kind::io:
        return "io";
    }
    return "unknown";
}

std::string describe(const std::optional<transport::Channel::Error>& error)
{
    if (!error) return "none";
    return std::string(errorKindName(error->kind)) + "(\"" + error->description + "\")";
}

const char* flag(bool value) { return value ? "1" : "0"; }

// Bytes that are a URL as a whole: printable ASCII only, led by a scheme.
bool formsUrl(ByteView bytes)
{
    if (bytes.empty() || !std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b > 0x20 && b < 0x7f; }))
        return false;
    const auto isAlpha = [](std::uint8_t b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); };
    if (!isAlpha(bytes[0])) return false;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        if (b == ':') return true;
        if (!isAlpha(b) && !(b >= '0' && b <= '9') && b != '+' && b != '-' && b != '.') return false;
    }
    return false;
}

} // namespace

std::string_view LinkSender::description(Failure failure)
{
    switch (failure) {
    case Failure::notPaired:
        return "Najprv otvor Telvanto a spáruj ho s TV.";
    case Failure::unreachable:
        return "TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?";
    case Failure::timeout:
        return "TV neodpovedala včas, skús to znova.";
    }
    return {};
}

std::optional<WebLink> LinkSender::linkIn(std::string_view text)
{
    LinkFinder finder(text);
    while (auto match = finder.next()) {
        if (auto link = WebLink::parse(match->url)) return link;
    }
    return std::nullopt;
}

std::optional<WebLink> LinkSender::linkFrom(const Item& item)
{
    return std::visit(Overloaded{
                          [](const std::monostate&) -> std::optional<WebLink> { return std::nullopt; },
                          [](const UrlItem& url) { return WebLink::parse(url.text); },
                          [](const Bytes& bytes) -> std::optional<WebLink> {
                              const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
                              // Bytes that form a URL are that URL and nothing else: one of
                              // another scheme ("Note:https://…", "mailto:…") is no web link,
                              // and is not searched as text.
                              if (formsUrl(bytes)) return WebLink::parse(text);
                              if (!isValidUtf8(text)) return std::nullopt;
                              return linkIn(text);
                          },
                          [](const std::string& text) { return linkIn(text); },
                      },
                      item);
}

LinkSender::LinkSender(Services services) : services_(services) {}

void LinkSender::send(const WebLink& link, Completion completion)
{
    if (used_) return;
    used_ = true;

    std::optional<identity::ClientIdentity> identity;
    if (auto found = identity::findIdentity(services_.store); auto* f = std::get_if<identity::findResult::Found>(&found)) {
        identity = std::move(f->identity);
    }
    const std::optional<identity::RSAPublicKey> pinned = services_.store.loadPinnedKey();
    std::optional<std::string> host = services_.store.loadHost();
    if (host && host->empty()) host.reset(); // nothing to connect to

    services_.log.info("send to " + (link.host().empty() ? std::string("-") : link.host()) +
                       ": identity=" + flag(identity.has_value()) + " pin=" + flag(pinned.has_value()) +
                       " tv=" + flag(host.has_value()));
    if (!identity || !pinned || !host) {
        if (completion) completion(Failure::notPaired);
        return;
    }

    completion_ = std::move(completion);
    link_ = link.text();
    channel_ = services_.channels.open(QString::fromStdString(*host), services_.port, std::move(identity), pinned);
    // The channel belongs to the sender and is disposed with it, so the handler never
    // outlives it.
    channel_->onEvent = [this](const transport::Channel::Event& event) { handle(event); };
    timeout_ = services_.scheduler.schedule(timeoutDelay, [this] {
        // A link already on its way finishes as usual: its pause, then a polite close.
        if (!sent_) finish(Failure::timeout);
    });
    channel_->start(); // last: nothing of the sender is touched after it
}

void LinkSender::handle(const transport::Channel::Event& event)
{
    if (!channel_) return;
    std::visit(Overloaded{
                   [this](const transport::Channel::Message& message) { handleMessage(message.payload); },
                   [this](const transport::Channel::Closed& closed) {
                       services_.log.info(std::string("closed sent=") + flag(sent_) + " error=" + describe(closed.error));
                       if (sent_) return finish(Success{});
                       // A TV that refuses our certificate has forgotten this computer, and one
                       // that shows another key is another TV: trying again changes neither.
                       const bool refused = closed.error && closed.error->kind == transport::Channel::Error::Kind::tls;
                       finish(refused ? Failure::notPaired : Failure::unreachable);
                   },
                   [](const transport::Channel::Ready&) {}, // the TV speaks first
               },
               event);
}

void LinkSender::handleMessage(ByteView payload)
{
    namespace in = protocol::RemoteMsg::in;
    std::visit(Overloaded{
                   [this](const in::Configure& configure) {
                       features_ = configure.features != 0 ? (configure.features & defaultFeatures) : defaultFeatures;
                       transmit(protocol::RemoteMsg::configure(features_));
                   },
                   [this](const in::Ping& ping) { transmit(protocol::RemoteMsg::pingResponse(ping.value)); },
                   [this](const in::Start&) {
                       services_.log.info("remote started, sending link");
                       if (sent_) return;
                       sent_ = true;
                       transmit(protocol::RemoteMsg::key(protocol::TVKey::wakeUp));
                       transmit(protocol::RemoteMsg::appLink(link_));
                       successTimer_ = services_.scheduler.schedule(successDelay, [this] { finish(Success{}); });
                   },
                   [this](const in::SetActive&) { transmit(protocol::RemoteMsg::setActive(features_)); },
                   [](const in::Volume&) {},
                   [](const in::CurrentApp&) {},
                   [](const in::ImeBatch&) {},
                   [](const in::Error&) {},
                   [](const in::Other&) {},
               },
               protocol::RemoteMsg::decode(payload));
}

void LinkSender::transmit(const Bytes& frame)
{
    if (channel_) channel_->send(frame);
}

void LinkSender::finish(Result result)
{
    if (!completion_) return;
    Completion completion = std::move(completion_);
    completion_ = nullptr;
    timeout_.reset();
    successTimer_.reset();
    if (channel_) {
        // A link sent is left to reach the TV while the connection parts politely; anything
        // else is cut off at once.
        if (!std::holds_alternative<Success>(result)) channel_->cancel();
        channel_.reset(); // disposed: its later events go nowhere
    }
    // Last: the owner may drop the sender from inside its completion.
    completion(result);
}

} // namespace telvanto::linksender
