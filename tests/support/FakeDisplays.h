#pragma once

#include "mirroring/DisplayServices.h"

#include <QStringList>

#include <map>

namespace telvanto::testing {

struct FakeDisplay {
    bool builtin = false;
    mirroring::DisplayId mirrors = 0;
    std::uint32_t width = 1920;
};

// Displays the test lays out by hand. Every transaction is written to a log ("begin",
// "mirror 5 1", "origin 5 1920 0", "complete"); its mirrors are applied when it completes, after
// which the reconfiguration callback runs, as a real desktop's would.
class FakeDisplays final : public mirroring::DisplayServices {
public:
    using DisplayId = mirroring::DisplayId;

    std::vector<DisplayId> onlineDisplays() override
    {
        std::vector<DisplayId> ids;
        for (const auto& d : displays) ids.push_back(d.first);
        return ids;
    }
    std::vector<mirroring::Screen> screens() override { return screenList; }
    bool isBuiltin(DisplayId id) override { return get(id).builtin; }
    DisplayId mirrorsDisplay(DisplayId id) override { return get(id).mirrors; }
    std::uint32_t pixelsWide(DisplayId id) override { return displays.contains(id) ? get(id).width : 0; }
    std::unique_ptr<Transaction> beginConfiguration() override
    {
        log << "begin";
        return refuseBegin ? nullptr : std::make_unique<FakeTransaction>(*this);
    }
    void setReconfigurationCallback(std::function<void()> callback) override { changed = std::move(callback); }

    // A display comes online or goes, named or not; the desktop reports it.
    void plug(DisplayId id, FakeDisplay display = {}, const QString& name = {})
    {
        displays[id] = display;
        if (!name.isEmpty()) screenList.push_back({name, id});
        notify();
    }
    void unplug(DisplayId id)
    {
        displays.erase(id);
        std::erase_if(screenList, [&](const mirroring::Screen& s) { return s.display == id; });
        notify();
    }
    void notify() { if (changed) changed(); }

    std::map<DisplayId, FakeDisplay> displays;
    std::vector<mirroring::Screen> screenList;
    QStringList log;
    bool refuseBegin = false;
    std::function<void()> changed;

private:
    FakeDisplay get(DisplayId id) const { return displays.contains(id) ? displays.at(id) : FakeDisplay{}; }
    struct FakeTransaction final : Transaction {
        explicit FakeTransaction(FakeDisplays& o) : owner(o), next(o.displays) {}
        void configureMirror(DisplayId d, DisplayId master) override { owner.log << QString("mirror %1 %2").arg(d).arg(master), next[d].mirrors = master; }
        void configureOrigin(DisplayId d, int x, int y) override { owner.log << QStringLiteral("origin %1 %2 %3").arg(d).arg(x).arg(y); }
        void complete() override { owner.log << "complete", owner.displays = next, owner.notify(); }
        FakeDisplays& owner;
        std::map<DisplayId, FakeDisplay> next;
    };
};

} // namespace telvanto::testing
