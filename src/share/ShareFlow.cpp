#include "share/ShareFlow.h"

#include "share/Texts.h"

namespace telvanto::share {

ShareFlow::ShareFlow(linksender::LinkSender::Services services, QObject* parent)
    : QObject(parent), services_(services), sender_(services)
{
}

std::optional<linksender::WebLink> ShareFlow::findLink(const std::vector<InputItem>& items)
{
    for (const ItemType type : {ItemType::url, ItemType::plainText}) {
        for (const InputItem& item : items) {
            for (const Attachment& attachment : item.attachments) {
                if (!attachment.conforms(type)) continue;
                const auto loaded = attachment.load(type);
                if (!loaded) continue;
                if (auto link = linksender::LinkSender::linkFrom(*loaded)) return link;
            }
        }
    }
    return std::nullopt;
}

void ShareFlow::start(const std::vector<InputItem>& items)
{
    if (started_) return;
    started_ = true;

    const auto link = findLink(items);
    const std::string site = link && !link->host().empty() ? link->host() : "-";
    services_.log.info("share items=" + std::to_string(items.size()) + " link found=" + (link ? "1" : "0") +
                       " site=" + site);
    if (!link) {
        fail(Failure::noLink, texts::noLink);
        return;
    }
    // The sender lives in the flow, so its completion never outlives it.
    sender_.send(*link, [this](linksender::LinkSender::Result result) {
        if (std::holds_alternative<linksender::LinkSender::Success>(result)) {
            setState(State::done());
            closeTimer_ = services_.scheduler.schedule(closeDelay, [this] {
                if (onFinish) onFinish();
            });
            return;
        }
        const auto failure = std::get<linksender::LinkSender::Failure>(result);
        switch (failure) {
        case linksender::LinkSender::Failure::notPaired:
            fail(Failure::notPaired, linksender::LinkSender::description(failure));
            break;
        case linksender::LinkSender::Failure::unreachable:
            fail(Failure::unreachable, linksender::LinkSender::description(failure));
            break;
        case linksender::LinkSender::Failure::timeout:
            fail(Failure::timeout, linksender::LinkSender::description(failure));
            break;
        }
    });
}

QString ShareFlow::status() const
{
    switch (state_.kind) {
    case State::Kind::failed:
        return QStringLiteral("failed");
    case State::Kind::sending:
        return QStringLiteral("sending");
    case State::Kind::done:
        return QStringLiteral("done");
    }
    return {};
}

void ShareFlow::setState(State state)
{
    if (state == state_) return;
    state_ = std::move(state);
    Q_EMIT stateChanged();
}

void ShareFlow::fail(Failure failure, std::string_view message)
{
    failure_ = failure;
    setState(State::failed(std::string(message)));
}

} // namespace telvanto::share
