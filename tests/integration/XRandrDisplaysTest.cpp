// XRandR for real: Xorg with the dummy driver (16 outputs, each with a CRTC) started by the
// test, as root; Xvfb for the servers without RandR or going away.
#include "mirroring/MirrorController.h"
#include "platform/XRandrDisplays.h"
#include "transport/QtScheduler.h"

#include "EventLoop.h"
#include "FakeMdns.h"
#include "FakeMirroring.h"
#include "TempDir.h"
#include "XServer.h"

#include <gtest/gtest.h>

#include <QFile>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

using namespace std::chrono_literals;
using namespace telvanto;
using namespace telvanto::testing;
using mirroring::DisplayId;
using mirroring::MirrorController;
using platform::XRandrDisplays;

namespace {

constexpr const char* dummyConfig = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 8192 4096
  EndSubSection
EndSection
)";

struct Area {
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    bool operator==(const Area&) const = default;
};
void PrintTo(const Area& a, std::ostream* os) { *os << a.width << 'x' << a.height << '+' << a.x << '+' << a.y; }

// The test's own hands on the server: it plugs outputs in and out and names them, as the
// desktop and the monitors would.
class Desk {
public:
    explicit Desk(const QByteArray& name) : dpy_(XOpenDisplay(name.constData()))
    {
        // Its requests may fail (no such property, a mode the output lacks); the checks follow.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~Desk()
    {
        if (dpy_) XCloseDisplay(dpy_);
    }
    bool ok() const { return dpy_ != nullptr; }

    RROutput output(const char* name)
    {
        RROutput found = 0;
        withResources([&](XRRScreenResources* r) {
            for (int i = 0; i < r->noutput && !found; ++i) {
                XRROutputInfo* o = XRRGetOutputInfo(dpy_, r, r->outputs[i]);
                if (QByteArray(o->name, o->nameLen) == name) found = r->outputs[i];
                XRRFreeOutputInfo(o);
            }
        });
        return found;
    }

    void markPanel(RROutput output)
    {
        Atom panel = XInternAtom(dpy_, "Panel", False);
        XRRChangeOutputProperty(dpy_, output, XInternAtom(dpy_, RR_PROPERTY_CONNECTOR_TYPE, False), XA_ATOM, 32,
                                PropModeReplace, reinterpret_cast<unsigned char*>(&panel), 1);
        XSync(dpy_, False);
    }

    // An EDID base block that names the monitor.
    void nameMonitor(RROutput output, const QByteArray& name)
    {
        QByteArray edid(128, '\0');
        edid.replace(0, 8, QByteArray("\x00\xff\xff\xff\xff\xff\xff\x00", 8));
        QByteArray descriptor("\x00\x00\x00\xfc\x00", 5);
        descriptor += (name + '\n').leftJustified(13, ' ', true);
        edid.replace(54, 18, descriptor);
        XRRChangeOutputProperty(dpy_, output, XInternAtom(dpy_, RR_PROPERTY_RANDR_EDID, False), XA_INTEGER, 8,
                                PropModeReplace, reinterpret_cast<const unsigned char*>(edid.constData()), 128);
        XSync(dpy_, False);
    }

    // Gives the output these modes and shows the first at x, y: it comes online.
    void plug(RROutput output, std::vector<QByteArray> modes, int x, int y)
    {
        withResources([&](XRRScreenResources* r) {
            XRROutputInfo* o = XRRGetOutputInfo(dpy_, r, output);
            const RRCrtc crtc = o->crtc ? o->crtc : o->crtcs[0];
            std::vector<RRMode> has(o->modes, o->modes + o->nmode);
            XRRFreeOutputInfo(o);
            RRMode first = 0;
            for (const QByteArray& name : modes) {
                const RRMode mode = modeNamed(r, name);
                if (std::find(has.begin(), has.end(), mode) == has.end()) XRRAddOutputMode(dpy_, output, mode);
                if (!first) first = mode;
            }
            const auto [w, h] = modeSize(r, first);
            growTo(x + int(w), y + int(h));
            RROutput outputs[] = {output};
            XRRSetCrtcConfig(dpy_, r, crtc, CurrentTime, x, y, first, RR_Rotate_0, outputs, 1);
        });
        XSync(dpy_, False);
    }

    void unplug(RROutput output)
    {
        withResources([&](XRRScreenResources* r) {
            XRROutputInfo* o = XRRGetOutputInfo(dpy_, r, output);
            if (o->crtc) XRRSetCrtcConfig(dpy_, r, o->crtc, CurrentTime, 0, 0, 0, RR_Rotate_0, nullptr, 0);
            XRRFreeOutputInfo(o);
        });
        XSync(dpy_, False);
    }

    std::pair<int, int> screenSize()
    {
        XWindowAttributes root;
        XGetWindowAttributes(dpy_, DefaultRootWindow(dpy_), &root);
        return {root.width, root.height};
    }

    std::optional<Area> area(RROutput output)
    {
        std::optional<Area> area;
        withResources([&](XRRScreenResources* r) {
            XRROutputInfo* o = XRRGetOutputInfo(dpy_, r, output);
            if (o->crtc) {
                XRRCrtcInfo* c = XRRGetCrtcInfo(dpy_, r, o->crtc);
                if (c->mode) area = Area{c->x, c->y, c->width, c->height};
                XRRFreeCrtcInfo(c);
            }
            XRRFreeOutputInfo(o);
        });
        return area;
    }

    // DUMMY0 alone at 1920x1080, the rest off and nameless.
    void reset()
    {
        withResources([&](XRRScreenResources* r) {
            for (int i = 0; i < r->noutput; ++i) {
                XRRDeleteOutputProperty(dpy_, r->outputs[i], XInternAtom(dpy_, RR_PROPERTY_RANDR_EDID, False));
                if (i > 0) unplug(r->outputs[i]);
            }
        });
        plug(output("DUMMY0"), {"1920x1080"}, 0, 0);
        XRRSetScreenSize(dpy_, DefaultRootWindow(dpy_), 1920, 1080, 508, 286);
        XSync(dpy_, False);
    }

private:
    template<typename F>
    void withResources(F f)
    {
        XRRScreenResources* r = XRRGetScreenResourcesCurrent(dpy_, DefaultRootWindow(dpy_));
        f(r);
        XRRFreeScreenResources(r);
    }
    static RRMode modeNamed(XRRScreenResources* r, const QByteArray& name)
    {
        for (int i = 0; i < r->nmode; ++i) {
            if (name == r->modes[i].name) return r->modes[i].id;
        }
        return 0;
    }
    static std::pair<unsigned, unsigned> modeSize(XRRScreenResources* r, RRMode mode)
    {
        for (int i = 0; i < r->nmode; ++i) {
            if (r->modes[i].id == mode) return {r->modes[i].width, r->modes[i].height};
        }
        return {0, 0};
    }
    void growTo(int w, int h)
    {
        XWindowAttributes root;
        XGetWindowAttributes(dpy_, DefaultRootWindow(dpy_), &root);
        if (w > root.width || h > root.height)
            XRRSetScreenSize(dpy_, DefaultRootWindow(dpy_), std::max(w, root.width), std::max(h, root.height),
                             508, 286);
    }

    Display* dpy_;
};

// Counts the transactions that reach the server.
class CountingDisplays final : public mirroring::DisplayServices {
public:
    explicit CountingDisplays(DisplayServices& real) : real_(real) {}
    std::vector<DisplayId> onlineDisplays() override { return real_.onlineDisplays(); }
    std::vector<mirroring::Screen> screens() override { return real_.screens(); }
    bool isBuiltin(DisplayId d) override { return real_.isBuiltin(d); }
    DisplayId mirrorsDisplay(DisplayId d) override { return real_.mirrorsDisplay(d); }
    std::uint32_t pixelsWide(DisplayId d) override { return real_.pixelsWide(d); }
    std::unique_ptr<Transaction> beginConfiguration() override
    {
        ++transactions;
        return real_.beginConfiguration();
    }
    void setReconfigurationCallback(std::function<void()> callback) override
    {
        real_.setReconfigurationCallback(std::move(callback));
    }
    int transactions = 0;

private:
    DisplayServices& real_;
};

class XRandr : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0) return; // Xorg with a config of our own wants root
        dir = new TempDir;
        const QString config = QString::fromStdString((*dir / "xorg.conf").string());
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(dummyConfig);
        file.close();
        server = new XServer("Xorg", {"-noreset", "-novtswitch", "-sharevts", "-nolisten", "tcp", "-config", config,
                                      "-logfile", QString::fromStdString((*dir / "xorg.log").string())});
    }
    static void TearDownTestSuite()
    {
        delete server;
        delete dir;
        server = nullptr;
        dir = nullptr;
    }
    void SetUp() override
    {
        if (::geteuid() != 0) GTEST_SKIP() << "Xorg with the dummy driver needs root";
        if (!server || server->name().isEmpty()) GTEST_SKIP() << "Xorg with the dummy driver did not start";
        desk = std::make_unique<Desk>(server->name());
        ASSERT_TRUE(desk->ok());
        desk->reset();
        panel = desk->output("DUMMY0");
        desk->markPanel(panel);
    }

    static inline TempDir* dir = nullptr;
    static inline XServer* server = nullptr;
    std::unique_ptr<Desk> desk;
    RROutput panel = 0;
};

// The mirroring controller over real displays, everything else faked.
struct Mirror {
    explicit Mirror(mirroring::DisplayServices& displays, const char* mode = "mirror")
    {
        settings.setMirrorMode(mode);
        controller = std::make_unique<MirrorController>(scheduler, settings, discovery, displays, selector, access);
    }
    transport::QtScheduler scheduler;
    FakeMdns mdns;
    tv::Discovery discovery{mdns, scheduler};
    TempDir dir;
    platform::Settings settings{QString::fromStdString((dir / "telvanto.conf").string())};
    FakeReceiverSelector selector{scheduler};
    FakeAccessibility access;
    std::unique_ptr<MirrorController> controller;
};

} // namespace

TEST_F(XRandr, ReadsOutputsNamesAndThePanel)
{
    const RROutput tv = desk->output("DUMMY2"), monitor = desk->output("DUMMY3");
    desk->nameMonitor(tv, "AS-Living");
    desk->plug(tv, {"1280x720"}, 1920, 0);
    desk->plug(monitor, {"1024x768"}, 0, 0);
    XRandrDisplays displays(server->name());
    ASSERT_TRUE(displays.isAvailable());

    EXPECT_EQ(displays.onlineDisplays(), (std::vector<DisplayId>{DisplayId(panel), DisplayId(tv), DisplayId(monitor)}));
    std::vector<QString> names;
    for (const auto& s : displays.screens()) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<QString>{"DUMMY0", "AS-Living", "DUMMY3"}));
    const struct {
        RROutput output;
        bool builtin;
        std::uint32_t width;
        DisplayId mirrors;
    } rows[] = {
        {panel, true, 1920, 0}, {tv, false, 1280, 0}, {monitor, false, 1024, 0}, {desk->output("DUMMY4"), false, 0, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(displays.isBuiltin(r.output), r.builtin) << r.output;
        EXPECT_EQ(displays.pixelsWide(r.output), r.width) << r.output;
        EXPECT_EQ(displays.mirrorsDisplay(r.output), r.mirrors) << r.output;
    }

    // The same mode at the same place is a mirror set; the panel is its master.
    desk->plug(monitor, {"1920x1080"}, 0, 0);
    waitUntil([&] { return displays.pixelsWide(monitor) == 1920; }, 5s);
    EXPECT_EQ(displays.mirrorsDisplay(monitor), DisplayId(panel));
    EXPECT_EQ(displays.mirrorsDisplay(panel), 0u);
}

TEST_F(XRandr, TheTVsDisplayIsMirroredExtendedAndLetGo)
{
    XRandrDisplays real(server->name());
    CountingDisplays displays(real);
    Mirror mirror(displays);
    auto& controller = *mirror.controller;
    ASSERT_FALSE(controller.isMirroring());

    // The TV's display comes online beside the panel, named by its monitor data.
    const RROutput tv = desk->output("DUMMY1");
    desk->nameMonitor(tv, "AS-Obyvacka");
    desk->plug(tv, {"1280x720", "1920x1080"}, 1920, 0);
    ASSERT_TRUE(waitUntil([&] { return controller.isMirroring(); }, 5s));
    EXPECT_EQ(controller.airplayDisplay(), DisplayId(tv));
    ASSERT_TRUE(waitUntil([&] { return desk->area(tv) == desk->area(panel); }, 5s));
    EXPECT_EQ(desk->area(tv), (Area{0, 0, 1920, 1080})) << "the panel's mode and origin";
    drainEvents();
    EXPECT_EQ(displays.transactions, 1);

    controller.setMode(MirrorController::Mode::extend);
    ASSERT_TRUE(waitUntil([&] { return desk->area(tv) == Area{1920, 0, 1920, 1080}; }, 5s));
    EXPECT_EQ(desk->area(panel), (Area{0, 0, 1920, 1080}));
    drainEvents();
    EXPECT_EQ(displays.transactions, 2) << "one reconfiguration, the refreshes it causes change nothing";

    controller.setMode(MirrorController::Mode::mirror);
    ASSERT_TRUE(waitUntil([&] { return desk->area(tv) == Area{0, 0, 1920, 1080}; }, 5s));
    drainEvents();
    EXPECT_EQ(displays.transactions, 3);

    desk->unplug(tv);
    ASSERT_TRUE(waitUntil([&] { return !controller.isMirroring(); }, 5s));
    EXPECT_FALSE(controller.airplayDisplay());
    EXPECT_EQ(desk->area(panel), (Area{0, 0, 1920, 1080}));
}

TEST_F(XRandr, TransactionsApplyWholeOrNotAtAll)
{
    const RROutput tv = desk->output("DUMMY1"), small = desk->output("DUMMY2");
    using Ops = std::function<void(mirroring::DisplayServices::Transaction&)>;
    const struct {
        const char* name;
        Ops ops;
        bool tvLeavesMidway;
        std::optional<Area> tvAfter;
    } cases[] = {
        {"mirror", [&](auto& t) { t.configureMirror(tv, panel); }, false, Area{0, 0, 1920, 1080}},
        {"no mode of that size", [&](auto& t) { t.configureMirror(small, panel); }, false, Area{1920, 0, 1280, 720}},
        {"beyond the largest screen", [&](auto& t) { t.configureOrigin(tv, 40000, 0); }, false, Area{1920, 0, 1280, 720}},
        {"the output leaves midway", [&](auto& t) { t.configureMirror(tv, panel); }, true, std::nullopt},
        {"origin then mirror of a gone master", [&](auto& t) { t.configureOrigin(tv, 2000, 0); t.configureMirror(tv, 4242); },
         false, Area{2000, 0, 1280, 720}},
    };
    for (const auto& c : cases) {
        desk->reset();
        desk->plug(tv, {"1280x720", "1920x1080"}, 1920, 0);
        desk->plug(small, {"1280x720"}, 1920, 0); // the same area as the TV: mirrors it, no 1080p mode
        if (std::string(c.name) != "no mode of that size") desk->unplug(small);
        XRandrDisplays displays(server->name());
        auto transaction = displays.beginConfiguration();
        ASSERT_TRUE(transaction) << c.name;
        c.ops(*transaction);
        if (c.tvLeavesMidway) desk->unplug(tv);
        transaction->complete();
        EXPECT_EQ(desk->area(tv), c.tvAfter) << c.name;
        EXPECT_EQ(desk->area(panel), (Area{0, 0, 1920, 1080})) << c.name;
    }

    // A transaction that moves nothing leaves even a roomy screen as it is.
    desk->reset();
    desk->plug(tv, {"1280x720"}, 1920, 0);
    desk->unplug(tv);
    XRandrDisplays displays(server->name());
    auto transaction = displays.beginConfiguration();
    transaction->configureOrigin(panel, 0, 0);
    transaction->complete();
    EXPECT_EQ(desk->screenSize(), std::make_pair(3200, 1080));
}

TEST(XRandrAbsent, NoServerOrNoRandrIsAQuietNoOp)
{
    XServer noRandr("Xvfb", {"-nolisten", "tcp", "-extension", "RANDR"});
    ASSERT_FALSE(noRandr.name().isEmpty()) << "Xvfb did not start";
    XServer gone("Xvfb", {"-nolisten", "tcp"});
    ASSERT_FALSE(gone.name().isEmpty());
    const QByteArray goneName = gone.name();
    gone.crash(); // a display number that nobody serves

    for (const QByteArray& name : {noRandr.name(), goneName}) {
        XRandrDisplays displays(name);
        EXPECT_FALSE(displays.isAvailable()) << name.constData();
        EXPECT_TRUE(displays.onlineDisplays().empty());
        EXPECT_TRUE(displays.screens().empty());
        EXPECT_FALSE(displays.beginConfiguration());
        Mirror mirror(displays, "extend");
        mirror.controller->setMode(MirrorController::Mode::mirror);
        mirror.controller->refreshDisplays();
        EXPECT_FALSE(mirror.controller->isMirroring());
    }
}

TEST(XRandrAbsent, AServerThatGoesAwayLeavesAnEmptyQuietObject)
{
    XServer server("Xvfb", {"-nolisten", "tcp"});
    ASSERT_FALSE(server.name().isEmpty()) << "Xvfb did not start";
    XRandrDisplays displays(server.name());
    ASSERT_TRUE(displays.isAvailable());
    ASSERT_EQ(displays.onlineDisplays().size(), 1u);
    int changes = 0;
    displays.setReconfigurationCallback([&] { ++changes; });
    auto transaction = displays.beginConfiguration();

    server.crash();
    EXPECT_TRUE(waitUntil([&] { return changes > 0; }, 5s)) << "the loss reads as a change";
    EXPECT_FALSE(displays.isAvailable());
    EXPECT_TRUE(displays.onlineDisplays().empty());
    transaction->configureOrigin(1, 10, 0);
    transaction->complete(); // nothing to talk to, nothing happens
    EXPECT_FALSE(displays.beginConfiguration());
}
