#pragma once

#include "linksender/LinkSender.h"

#include <optional>
#include <vector>

namespace telvanto::share {

// The two kinds of content the share flow asks attachments for.
enum class ItemType { url, plainText };

// One attachment of a shared item: what it offers, per type. An offer without an item stands
// for a load that failed.
struct Attachment {
    struct Offer {
        ItemType type;
        std::optional<linksender::LinkSender::Item> item;
    };
    std::vector<Offer> offers;

    bool conforms(ItemType type) const;
    // The item for the type; none when the attachment does not offer it or the load failed.
    std::optional<linksender::LinkSender::Item> load(ItemType type) const;

    static Attachment url(std::string text);
    static Attachment text(std::string text);
    static Attachment bytes(ItemType type, Bytes bytes);
};

// One item of a share request, with its attachments in order.
struct InputItem {
    std::vector<Attachment> attachments;
};

} // namespace telvanto::share
