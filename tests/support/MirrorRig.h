#pragma once

#include "mirroring/MirrorController.h"

#include "FakeDisplays.h"
#include "FakeMdns.h"
#include "FakeMirroring.h"
#include "TempDir.h"
#include "VirtualScheduler.h"

namespace telvanto::testing {

// Everything a mirroring controller needs, faked; make() builds the controller, so a test can
// lay out settings and displays first.
struct MirrorFakes {
    static constexpr mirroring::DisplayId builtin = 1, tvDisplay = 5;

    VirtualScheduler scheduler;
    FakeMdns mdns;
    tv::Discovery discovery{mdns, scheduler};
    TempDir dir;
    platform::Settings settings{QString::fromStdString((dir / "telvanto.conf").string())};
    FakeDisplays displays;
    FakeReceiverSelector selector{scheduler};
    FakeAccessibility access;
    RecordingTV tv;
    std::unique_ptr<mirroring::MirrorController> mirror;

    MirrorFakes() { displays.displays[builtin] = {.builtin = true, .width = 1440}; }
    void make() { mirror = std::make_unique<mirroring::MirrorController>(scheduler, settings, discovery, displays, selector, access); }
};

// A mirroring controller on fakes, made at once, for the views that show it.
struct MirrorRig : MirrorFakes {
    MirrorRig() { make(); }
    // The receiver's display comes online, or goes.
    void tvDisplayOnline(bool online)
    {
        online ? displays.plug(tvDisplay, {}, "AS-Obývačka") : displays.unplug(tvDisplay);
        mirror->refreshDisplays();
    }
    void receiverKnown(const QString& name)
    {
        mirror->setTvHost("10.0.0.7");
        mdns.announce("_airplay._tcp", {name});
        mdns.answer(name, "10.0.0.7");
        scheduler.advance({});
    }
};

} // namespace telvanto::testing
