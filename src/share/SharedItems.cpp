#include "share/SharedItems.h"

#include <algorithm>

namespace telvanto::share {

bool Attachment::conforms(ItemType type) const
{
    return std::any_of(offers.begin(), offers.end(), [type](const Offer& offer) { return offer.type == type; });
}

std::optional<linksender::LinkSender::Item> Attachment::load(ItemType type) const
{
    for (const Offer& offer : offers) {
        if (offer.type == type) return offer.item;
    }
    return std::nullopt;
}

Attachment Attachment::url(std::string text)
{
    return {{{ItemType::url, linksender::LinkSender::UrlItem{std::move(text)}}}};
}

Attachment Attachment::text(std::string text) { return {{{ItemType::plainText, std::move(text)}}}; }

Attachment Attachment::bytes(ItemType type, Bytes bytes) { return {{{type, std::move(bytes)}}}; }

} // namespace telvanto::share
