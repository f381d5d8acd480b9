// XRandR for real: Xorg with the dummy driver (16 outputs, each with a CRTC) started by the
// test, as root; Xvfb for the servers without RandR or going away.
#include "platform/XRandrDisplays.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "XServer.h"

#include <gtest/gtest.h>

#include <QRect>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

using namespace std::chrono_literals;
using namespace telvanto;
using namespace telvanto::testing;
using mirroring::DisplayId;
using platform::XRandrDisplays;

void PrintTo(const QRect& r, std::ostream* os) { *os << r.width() << 'x' << r.height() << '+' << r.x() << '+' << r.y(); }

namespace {

// The test's own hands on the server: it plugs outputs in and out and names them, as the
// desktop and the monitors would. Its requests may fail (a mode the output lacks); the checks follow.
struct Desk {
    explicit Desk(const QByteArray& name) : dpy(XOpenDisplay(name.constData())) { XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); }
    ~Desk() { if (dpy) XCloseDisplay(dpy); }
    Display* const dpy;
    const Window root = dpy ? DefaultRootWindow(dpy) : 0;

    using Resources = std::unique_ptr<XRRScreenResources, decltype(&XRRFreeScreenResources)>;
    Resources resources() { return {XRRGetScreenResourcesCurrent(dpy, root), XRRFreeScreenResources}; }
    std::unique_ptr<XRROutputInfo, decltype(&XRRFreeOutputInfo)> info(const Resources& r, RROutput o) { return {XRRGetOutputInfo(dpy, r.get(), o), XRRFreeOutputInfo}; }
    RROutput output(int index) { return resources()->outputs[index]; } // DUMMY0, DUMMY1, ...
    // An EDID base block that names the monitor.
    void nameMonitor(RROutput o, const QByteArray& name)
    {
        QByteArray edid = QByteArray("\x00\xff\xff\xff\xff\xff\xff\x00", 8).leftJustified(128, '\0');
        edid.replace(54, 18, QByteArray("\x00\x00\x00\xfc\x00", 5) + (name + '\n').leftJustified(13, ' ', true));
        XRRChangeOutputProperty(dpy, o, XInternAtom(dpy, RR_PROPERTY_RANDR_EDID, False), XA_INTEGER, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(edid.constData()), 128);
    }
    // Gives the output these modes and shows the first at x, y, the screen sized for it (a size
    // too small for the others is refused): it comes online.
    void plug(RROutput o, const std::vector<QByteArray>& modes, int x, int y)
    {
        const Resources r = resources();
        const auto i = info(r, o);
        const XRRModeInfo* first = nullptr;
        for (const QByteArray& name : modes) {
            const XRRModeInfo* m = std::find_if(r->modes, r->modes + r->nmode, [&](const XRRModeInfo& mode) { return name == mode.name; });
            if (std::find(i->modes, i->modes + i->nmode, m->id) == i->modes + i->nmode) XRRAddOutputMode(dpy, o, m->id);
            first = first ? first : m;
        }
        XRRSetScreenSize(dpy, root, std::max(1920, x + int(first->width)), 1080, 508, 286);
        XRRSetCrtcConfig(dpy, r.get(), i->crtc ? i->crtc : i->crtcs[0], CurrentTime, x, y, first->id, RR_Rotate_0, &o, 1);
        XSync(dpy, False);
    }
    void unplug(RROutput o)
    {
        const Resources r = resources();
        if (const auto i = info(r, o); i->crtc) XRRSetCrtcConfig(dpy, r.get(), i->crtc, CurrentTime, 0, 0, 0, RR_Rotate_0, nullptr, 0);
        XSync(dpy, False);
    }
    std::optional<QRect> area(RROutput o)
    {
        const Resources r = resources();
        const auto i = info(r, o);
        const std::unique_ptr<XRRCrtcInfo, decltype(&XRRFreeCrtcInfo)> c(i->crtc ? XRRGetCrtcInfo(dpy, r.get(), i->crtc) : nullptr, XRRFreeCrtcInfo);
        return c && c->mode ? std::optional(QRect(c->x, c->y, int(c->width), int(c->height))) : std::nullopt;
    }
    // DUMMY0 alone at 1920x1080, marked as a built-in panel; the rest off.
    void reset()
    {
        const Resources r = resources();
        for (int i = 1; i < r->noutput; ++i) unplug(r->outputs[i]);
        const Atom panel = XInternAtom(dpy, "Panel", False), type = XInternAtom(dpy, RR_PROPERTY_CONNECTOR_TYPE, False);
        XRRChangeOutputProperty(dpy, r->outputs[0], type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&panel), 1);
        plug(r->outputs[0], {"1920x1080"}, 0, 0);
    }
};

} // namespace

// One server for every scenario: Xorg takes a while to start.
TEST(XRandr, OutputsAreReadMirroredExtendedAndChangedWholeOrNotAtAll)
{
    if (::geteuid() != 0) GTEST_SKIP() << "Xorg with a config of our own needs root";
    TempDir dir;
    XServer server("Xorg", {"-noreset", "-novtswitch", "-sharevts", "-nolisten", "tcp", "-config", TELVANTO_XORG_DUMMY_CONF, "-logfile",
                            QString::fromStdString((dir / "xorg.log").string())});
    if (server.name().isEmpty()) GTEST_SKIP() << "Xorg with the dummy driver did not start";
    Desk desk(server.name());
    ASSERT_TRUE(desk.dpy);
    const RROutput panel = desk.output(0), tv = desk.output(1), other = desk.output(2), monitor = desk.output(3);
    {
        // Outputs, names and the panel; the changes are reported.
        desk.reset();
        XRandrDisplays displays(server.name());
        int changes = 0;
        displays.setReconfigurationCallback([&] { ++changes; });
        desk.nameMonitor(other, "AS-Living");
        desk.plug(other, {"1280x720"}, 1920, 0);
        desk.plug(monitor, {"1024x768"}, 0, 0);
        ASSERT_TRUE(waitUntil([&] { return changes > 0 && displays.onlineDisplays().size() == 3; }, 5s));
        EXPECT_EQ(displays.onlineDisplays(), (std::vector<DisplayId>{DisplayId(panel), DisplayId(other), DisplayId(monitor)}));
        QStringList names;
        for (const auto& s : displays.screens()) names << s.name;
        EXPECT_EQ(names, QStringList({"DUMMY0", "AS-Living", "DUMMY3"}));
        // Built in, pixels wide, the display it mirrors.
        const std::pair<RROutput, QString> rows[] = {{panel, "1 1920 0"}, {other, "0 1280 0"}, {monitor, "0 1024 0"}, {desk.output(4), "0 0 0"}};
        for (const auto& [o, expected] : rows)
            EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(int(displays.isBuiltin(o))).arg(displays.pixelsWide(o)).arg(displays.mirrorsDisplay(o)), expected) << o;
        // The same mode at the same place is a mirror set; the panel is its master.
        desk.plug(monitor, {"1920x1080"}, 0, 0);
        ASSERT_TRUE(waitUntil([&] { return displays.pixelsWide(monitor) == 1920; }, 5s));
        EXPECT_EQ(displays.mirrorsDisplay(monitor), DisplayId(panel));
        EXPECT_EQ(displays.mirrorsDisplay(panel), 0u);
    }
    // Transactions, applied whole or not at all.
    using Ops = std::function<void(mirroring::DisplayServices::Transaction&)>;
    // small: a second output on the TV's area (so mirroring it), without a 1080p mode.
    const struct { const char* name; Ops ops; bool small, tvLeaves; std::optional<QRect> tvAfter; } rows[] = {
        {"mirror in a mode of the master's size", [&](auto& t) { t.configureMirror(tv, panel); }, false, false, QRect(0, 0, 1920, 1080)},
        {"mirror ended: right of the rest", [&](auto& t) { t.configureMirror(tv, panel), t.configureMirror(tv, 0); }, false, false, QRect(1920, 0, 1920, 1080)},
        {"no mode of that size", [&](auto& t) { t.configureMirror(other, panel); }, true, false, QRect(1920, 0, 1280, 720)},
        {"beyond the largest screen", [&](auto& t) { t.configureOrigin(tv, 40000, 0); }, false, false, QRect(1920, 0, 1280, 720)},
        {"the output leaves midway", [&](auto& t) { t.configureMirror(tv, panel); }, false, true, std::nullopt},
        {"origin then mirror of a gone master", [&](auto& t) { t.configureOrigin(tv, 2000, 0), t.configureMirror(tv, 4242); }, false, false, QRect(2000, 0, 1280, 720)},
    };
    for (const auto& r : rows) {
        desk.reset();
        desk.plug(tv, {"1280x720", "1920x1080"}, 1920, 0);
        if (r.small) desk.plug(other, {"1280x720"}, 1920, 0);
        XRandrDisplays displays(server.name());
        auto transaction = displays.beginConfiguration();
        ASSERT_TRUE(transaction) << r.name;
        r.ops(*transaction);
        if (r.tvLeaves) desk.unplug(tv);
        transaction->complete();
        EXPECT_EQ(desk.area(tv), r.tvAfter) << r.name;
        EXPECT_EQ(desk.area(panel), QRect(0, 0, 1920, 1080)) << r.name;
        EXPECT_EQ(displays.mirrorsDisplay(tv), r.tvAfter == desk.area(panel) ? panel : 0) << r.name; // sharing its area is mirroring it
    }
}

TEST(XRandrAbsent, NoRandrNoServerOrALostOneIsAQuietNoOp)
{
    XServer noRandr("Xvfb", {"-nolisten", "tcp", "-extension", "RANDR"}), server("Xvfb", {"-nolisten", "tcp"});
    ASSERT_FALSE(noRandr.name().isEmpty() || server.name().isEmpty()) << "Xvfb did not start";
    XRandrDisplays lost(server.name());
    ASSERT_TRUE(lost.isAvailable());
    ASSERT_EQ(lost.onlineDisplays().size(), 1u);
    int changes = 0;
    lost.setReconfigurationCallback([&] { ++changes; });
    auto transaction = lost.beginConfiguration();
    server.crash();
    EXPECT_TRUE(waitUntil([&] { return changes > 0; }, 5s)) << "the loss reads as a change";
    transaction->configureOrigin(1, 10, 0);
    transaction->complete(); // nothing to talk to, nothing happens

    XRandrDisplays withoutRandr(noRandr.name()), nobody(server.name()); // a display number nobody serves now
    for (XRandrDisplays* displays : {&withoutRandr, &lost, &nobody}) {
        EXPECT_FALSE(displays->isAvailable());
        EXPECT_TRUE(displays->onlineDisplays().empty());
        EXPECT_FALSE(displays->beginConfiguration());
    }
}
