#pragma once

#include "core/Scheduler.h"
#include "mirroring/ElementTree.h"

#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace telvanto::testing {

// An element of a scripted accessibility tree. Children can be made to appear only from a
// given instant; a gone element reads as empty, as a vanished application does.
class FakeElement final : public mirroring::Element {
public:
    using Ptr = std::shared_ptr<FakeElement>;

    std::optional<QString> text(Attribute attribute) const override
    {
        if (gone()) return std::nullopt;
        const auto it = texts.find(attribute);
        return it == texts.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<double> number() const override { return gone() ? std::nullopt : value; }
    std::vector<mirroring::ElementPtr> children() const override
    {
        std::vector<mirroring::ElementPtr> shown;
        if (gone()) return shown;
        ++childReads;
        for (const Ptr& kid : kids)
            if (!kid->appearsAt || (clock && clock->now() >= *kid->appearsAt)) shown.push_back(kid);
        return shown;
    }
    QStringList actions() const override { return gone() ? QStringList() : actionNames; }
    void press() override
    {
        if (gone()) return;
        ++presses;
        if (value) value = *value != 0 ? 0.0 : 1.0; // a row toggles
    }
    bool isOpenWindow() const override { return !gone() && window; }

    bool gone() const { return vanished && *vanished; }

    std::map<Attribute, QString> texts;
    std::optional<double> value;
    std::vector<Ptr> kids;
    QStringList actionNames{QStringLiteral("AXPress")};
    bool window = false;
    std::optional<core::TimePoint> appearsAt;
    const core::Scheduler* clock = nullptr;
    std::shared_ptr<bool> vanished;
    int presses = 0;
    mutable int childReads = 0;
};

// Builds an element from role, title, description and identifier (empty means absent).
inline FakeElement::Ptr element(const QString& role, const QString& title = {}, const QString& description = {},
                                const QString& identifier = {}, std::vector<FakeElement::Ptr> kids = {})
{
    using A = mirroring::Element::Attribute;
    auto e = std::make_shared<FakeElement>();
    if (!role.isEmpty()) e->texts[A::role] = role;
    if (!title.isEmpty()) e->texts[A::title] = title;
    if (!description.isEmpty()) e->texts[A::description] = description;
    if (!identifier.isEmpty()) e->texts[A::identifier] = identifier;
    e->kids = std::move(kids);
    return e;
}

// Gives a whole tree its clock (for appearsAt) and the flag that makes it vanish at once.
inline void attach(const FakeElement::Ptr& root, const core::Scheduler* clock, const std::shared_ptr<bool>& vanished)
{
    root->clock = clock;
    root->vanished = vanished;
    for (const auto& kid : root->kids) attach(kid, clock, vanished);
}

// Running applications by name, their status items, and every Escape sent.
class FakeElementTree final : public mirroring::ElementTree {
public:
    mirroring::ElementPtr application(const QString& name) override
    {
        const auto it = apps.find(name);
        if (it == apps.end() || it->second->gone()) return nullptr;
        return it->second;
    }
    std::vector<mirroring::ElementPtr> statusItems(const mirroring::Element& app) override
    {
        std::vector<mirroring::ElementPtr> items;
        const auto it = items_.find(&app);
        if (it == items_.end() || static_cast<const FakeElement&>(app).gone()) return items;
        for (const auto& item : it->second) items.push_back(item);
        return items;
    }
    void postEscape() override { ++escapes; }

    void setStatusItems(const FakeElement::Ptr& app, std::vector<FakeElement::Ptr> items)
    {
        items_[app.get()] = std::move(items);
    }

    std::map<QString, FakeElement::Ptr> apps;
    int escapes = 0;

private:
    std::map<const mirroring::Element*, std::vector<FakeElement::Ptr>> items_;
};

} // namespace telvanto::testing
