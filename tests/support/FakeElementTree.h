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
// given instant of the tree's clock; a vanished tree reads as empty, as a gone application does.
class FakeElement final : public mirroring::Element {
public:
    using Ptr = std::shared_ptr<FakeElement>;
    struct World { const core::Scheduler* clock = nullptr; bool vanished = false; };

    std::optional<QString> text(Attribute a) const override { return gone() || !texts.contains(a) ? std::nullopt : std::optional(texts.at(a)); }
    std::optional<double> number() const override { return gone() ? std::nullopt : value; }
    std::vector<mirroring::ElementPtr> children() const override
    {
        std::vector<mirroring::ElementPtr> shown;
        for (const Ptr& kid : gone() ? std::vector<Ptr>() : kids)
            if (!kid->appearsAt || world->clock->now() >= *kid->appearsAt) shown.push_back(kid);
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
    bool gone() const { return world->vanished; }

    std::map<Attribute, QString> texts;
    std::optional<double> value;
    std::vector<Ptr> kids;
    QStringList actionNames{"AXPress"};
    bool window = false;
    std::optional<core::TimePoint> appearsAt;
    std::shared_ptr<World> world = std::make_shared<World>();
    int presses = 0;
};

// An element from "role|subrole|title|description|identifier|value|help", the dump's order
// (empty or missing fields are absent), with its children.
inline FakeElement::Ptr el(const QString& fields, std::vector<FakeElement::Ptr> kids = {})
{
    using A = mirroring::Element::Attribute;
    const A order[] = {A::role, A::subrole, A::title, A::description, A::identifier, A::value, A::help};
    auto e = std::make_shared<FakeElement>();
    const QStringList texts = fields.split('|');
    for (qsizetype i = 0; i < std::min<qsizetype>(texts.size(), 7); ++i)
        if (!texts[i].isEmpty()) e->texts[order[i]] = texts[i];
    e->kids = std::move(kids);
    return e;
}

// Puts a whole tree into one world: its clock, and the flag that makes it vanish at once.
inline void attach(const FakeElement::Ptr& root, const std::shared_ptr<FakeElement::World>& world)
{
    root->world = world;
    for (const auto& kid : root->kids) attach(kid, world);
}

// Running applications by name, their status items, and every Escape sent.
class FakeElementTree final : public mirroring::ElementTree {
public:
    mirroring::ElementPtr application(const QString& name) override { return apps.contains(name) && !apps[name]->gone() ? apps[name] : nullptr; }
    std::vector<mirroring::ElementPtr> statusItems(const mirroring::Element& app) override
    {
        return static_cast<const FakeElement&>(app).gone() ? std::vector<mirroring::ElementPtr>() : std::vector<mirroring::ElementPtr>(items[&app].begin(), items[&app].end());
    }
    void postEscape() override { ++escapes; }

    std::map<QString, FakeElement::Ptr> apps;
    std::map<const mirroring::Element*, std::vector<FakeElement::Ptr>> items; // status items by application
    int escapes = 0;
};

} // namespace telvanto::testing
