#pragma once

#include "mirroring/ElementTree.h"

#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace telvanto::testing {

// An element of a scripted accessibility tree.
class FakeElement final : public mirroring::Element {
public:
    using Ptr = std::shared_ptr<FakeElement>;

    std::optional<QString> text(Attribute a) const override { return texts.contains(a) ? std::optional(texts.at(a)) : std::nullopt; }
    std::optional<double> number() const override { return value; }
    std::vector<mirroring::ElementPtr> children() const override { return {kids.begin(), kids.end()}; }
    QStringList actions() const override { return actionNames; }
    void press() override
    {
        ++presses;
        if (value) value = *value != 0 ? 0.0 : 1.0; // a row toggles
    }
    bool isOpenWindow() const override { return window; }

    std::map<Attribute, QString> texts;
    std::optional<double> value;
    std::vector<Ptr> kids;
    QStringList actionNames{"AXPress"};
    bool window = false;
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

// Running applications by name, their status items, and every Escape sent.
class FakeElementTree final : public mirroring::ElementTree {
public:
    mirroring::ElementPtr application(const QString& name) override { return apps.contains(name) ? apps[name] : nullptr; }
    std::vector<mirroring::ElementPtr> statusItems(const mirroring::Element& app) override { return {items[&app].begin(), items[&app].end()}; }
    void postEscape() override { ++escapes; }

    std::map<QString, FakeElement::Ptr> apps;
    std::map<const mirroring::Element*, std::vector<FakeElement::Ptr>> items; // status items by application
    int escapes = 0;
};

} // namespace telvanto::testing
