#include "platform/XRandrDisplays.h"

#include "platform/Edid.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <utility>

// Xlib last: its macros (Status, None, Bool) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace telvanto::platform {

namespace {

// Xlib reports errors through process-wide handlers. Errors on our connections are noted and
// survived; those of other connections go where they went before.
struct ErrorTrap {
    std::map<Display*, XRandrDisplays*> owners;
    XErrorHandler previous = nullptr;
    XIOErrorHandler previousIO = nullptr;
    int lastError = Success;
};

ErrorTrap& trap()
{
    static ErrorTrap t;
    return t;
}

int onError(Display* display, XErrorEvent* event)
{
    ErrorTrap& t = trap();
    if (t.owners.count(display)) {
        t.lastError = event->error_code;
        return 0;
    }
    return t.previous ? t.previous(display, event) : 0;
}

int onIOError(Display* display)
{
    ErrorTrap& t = trap();
    if (t.owners.count(display)) return 0;
    return t.previousIO ? t.previousIO(display) : 0;
}

// Instead of Xlib's exit(): the connection is dead, the object goes quiet.
void onConnectionExit(Display* display, void*)
{
    ErrorTrap& t = trap();
    if (const auto it = t.owners.find(display); it != t.owners.end()) it->second->connectionLost();
}

void adopt(Display* display, XRandrDisplays* owner)
{
    ErrorTrap& t = trap();
    if (t.owners.empty()) {
        t.previous = XSetErrorHandler(onError);
        t.previousIO = XSetIOErrorHandler(onIOError);
    }
    t.owners[display] = owner;
    XSetIOErrorExitHandler(display, onConnectionExit, nullptr);
}

void release(Display* display)
{
    ErrorTrap& t = trap();
    t.owners.erase(display);
    if (!t.owners.empty()) return;
    // Put the old handlers back unless someone replaced ours meanwhile.
    if (XErrorHandler current = XSetErrorHandler(t.previous); current != onError) XSetErrorHandler(current);
    if (XIOErrorHandler current = XSetIOErrorHandler(t.previousIO); current != onIOError) XSetIOErrorHandler(current);
}

// Waits for the server to have handled everything sent; the first error since the last call.
int syncErrors(Display* display)
{
    XSync(display, False);
    return std::exchange(trap().lastError, Success);
}

struct Property {
    Atom type = 0;
    int format = 0;
    QByteArray bytes;     // format 8
    std::vector<long> items; // format 32, as Xlib hands them out
};

std::optional<Property> outputProperty(Display* display, RROutput output, const char* name, long maxWords)
{
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return std::nullopt; // no output has it
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XRRGetOutputProperty(display, output, atom, 0, maxWords, False, False, AnyPropertyType, &type,
                                            &format, &count, &after, &data);
    if (status != Success || !data) return std::nullopt;
    Property property{type, format, {}, {}};
    if (format == 8) property.bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    if (format == 32) {
        const auto* words = reinterpret_cast<const long*>(data);
        property.items.assign(words, words + count);
    }
    XFree(data);
    return property;
}

} // namespace

const XRandrDisplays::Output* XRandrDisplays::Layout::find(DisplayId id) const
{
    const auto it = std::find_if(outputs.begin(), outputs.end(), [&](const Output& o) { return o.id == id; });
    return it == outputs.end() ? nullptr : &*it;
}

XRandrDisplays::XRandrDisplays(const QByteArray& displayName, QObject* parent) : QObject(parent)
{
    display_ = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display_) return;
    adopt(display_, this);
    int opcode = 0, firstEvent = 0, firstError = 0, errorBase = 0, major = 0, minor = 0;
    // Asked of the core protocol first: libXrandr leaks its record of a server without RandR.
    const bool randr = XQueryExtension(display_, RANDR_NAME, &opcode, &firstEvent, &firstError) &&
                       XRRQueryExtension(display_, &eventBase_, &errorBase) &&
                       XRRQueryVersion(display_, &major, &minor);
    if (!randr || major < 1 || (major == 1 && minor < 2)) {
        XCloseDisplay(display_);
        release(display_);
        display_ = nullptr;
        return;
    }
    root_ = DefaultRootWindow(display_);
    XRRSelectInput(display_, root_,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                       RROutputPropertyNotifyMask);
    XFlush(display_);
    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &XRandrDisplays::readEvents);
}

XRandrDisplays::~XRandrDisplays()
{
    if (!display_) return;
    delete notifier_;
    // Xlib skips talking to a server it has lost.
    XCloseDisplay(display_);
    release(display_);
}

void XRandrDisplays::connectionLost()
{
    lost_ = true;
    layout_.reset();
    if (notifier_) notifier_->setEnabled(false);
    // The displays are gone with the server; say so from the event loop, not from inside Xlib.
    QMetaObject::invokeMethod(this, [this] { if (changed_) changed_(); }, Qt::QueuedConnection);
}

void XRandrDisplays::setReconfigurationCallback(std::function<void()> callback)
{
    changed_ = std::move(callback);
}

void XRandrDisplays::readEvents()
{
    bool changed = false;
    while (isAvailable() && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XRRUpdateConfiguration(&event);
        const int type = event.type - eventBase_;
        changed = changed || type == RRScreenChangeNotify || type == RRNotify;
    }
    if (!changed) return;
    layout_.reset();
    if (changed_) changed_();
}

// Replies read by our own requests may have pulled events off the socket, which then stays
// quiet about them.
void XRandrDisplays::pollQueuedEvents()
{
    if (isAvailable() && XEventsQueued(display_, QueuedAlready) > 0)
        QMetaObject::invokeMethod(this, &XRandrDisplays::readEvents, Qt::QueuedConnection);
}

// --- reading -------------------------------------------------------------------------------

const XRandrDisplays::Layout& XRandrDisplays::layout()
{
    if (!layout_) {
        layout_ = readLayout();
        // Good for the rest of this turn of the event loop; the next one reads afresh.
        QTimer::singleShot(0, this, [this] { layout_.reset(); });
        pollQueuedEvents();
    }
    return *layout_;
}

XRandrDisplays::Layout XRandrDisplays::readLayout()
{
    Layout layout;
    if (!isAvailable()) return layout;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display_, root_);
    if (!resources) return layout;
    for (int i = 0; i < resources->nmode; ++i) {
        const XRRModeInfo& mode = resources->modes[i];
        layout.modeSizes[mode.id] = {mode.width, mode.height};
    }
    for (int i = 0; i < resources->noutput && isAvailable(); ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(display_, resources, resources->outputs[i]);
        if (!info) continue; // gone meanwhile
        Output output;
        output.id = resources->outputs[i];
        output.name = QString::fromLatin1(info->name, info->nameLen);
        output.modes.assign(info->modes, info->modes + std::max(info->nmode, 0));
        output.crtc = info->crtc;
        XRRFreeOutputInfo(info);
        if (output.crtc != 0) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources, output.crtc)) {
                output.x = crtc->x;
                output.y = crtc->y;
                output.width = crtc->width;
                output.height = crtc->height;
                output.mode = crtc->mode;
                output.rotation = crtc->rotation;
                output.crtcOutputs.assign(crtc->outputs, crtc->outputs + std::max(crtc->noutput, 0));
                XRRFreeCrtcInfo(crtc);
            }
        }
        if (output.online()) {
            output.builtin = readBuiltin(output.id, output.name);
            output.screenName = readMonitorName(output.id).value_or(output.name);
        }
        layout.outputs.push_back(std::move(output));
    }
    XRRFreeScreenResources(resources);
    if (isAvailable()) syncErrors(display_); // an output that left while being read is just absent
    return layout;
}

bool XRandrDisplays::readBuiltin(unsigned long output, const QString& name)
{
    // What KMS says of eDP, LVDS and DSI connectors; older drivers only name them.
    if (const auto type = outputProperty(display_, output, RR_PROPERTY_CONNECTOR_TYPE, 16)) {
        if (type->type == XA_ATOM && !type->items.empty()) {
            if (char* atomName = XGetAtomName(display_, static_cast<Atom>(type->items.front()))) {
                const bool panel = qstrcmp(atomName, "Panel") == 0;
                XFree(atomName);
                if (panel) return true;
            }
        }
        if (type->type == XA_STRING && type->bytes.startsWith("Panel")) return true;
    }
    return name.startsWith(QStringLiteral("eDP")) || name.startsWith(QStringLiteral("LVDS")) ||
           name.startsWith(QStringLiteral("DSI"));
}

std::optional<QString> XRandrDisplays::readMonitorName(unsigned long output)
{
    // The base block is all a name needs.
    const auto edid = outputProperty(display_, output, RR_PROPERTY_RANDR_EDID, 32);
    if (!edid || edid->format != 8) return std::nullopt;
    return edidMonitorName(edid->bytes);
}

std::vector<XRandrDisplays::DisplayId> XRandrDisplays::onlineDisplays()
{
    std::vector<DisplayId> ids;
    for (const Output& o : layout().outputs) {
        if (o.online()) ids.push_back(static_cast<DisplayId>(o.id));
    }
    return ids;
}

std::vector<mirroring::Screen> XRandrDisplays::screens()
{
    std::vector<mirroring::Screen> screens;
    for (const Output& o : layout().outputs) {
        if (o.online()) screens.push_back({o.screenName, static_cast<DisplayId>(o.id)});
    }
    return screens;
}

bool XRandrDisplays::isBuiltin(DisplayId display)
{
    const Output* o = layout().find(display);
    return o && o->online() && o->builtin;
}

std::uint32_t XRandrDisplays::pixelsWide(DisplayId display)
{
    const Output* o = layout().find(display);
    return o && o->online() ? o->width : 0;
}

XRandrDisplays::DisplayId XRandrDisplays::mirrorsDisplay(DisplayId display)
{
    const Layout& now = layout();
    const Output* o = now.find(display);
    if (!o || !o->online()) return 0;
    const DisplayId master = masterOf(now, *o);
    return master == display ? 0 : master;
}

// Outputs showing the same area form a mirror set. Its master is the one this object made
// the master, else the built-in display, else the first in the server's order.
XRandrDisplays::DisplayId XRandrDisplays::masterOf(const Layout& layout, const Output& output) const
{
    std::vector<const Output*> set;
    for (const Output& o : layout.outputs) {
        if (o.online() && o.x == output.x && o.y == output.y && o.width == output.width && o.height == output.height)
            set.push_back(&o);
    }
    if (set.size() < 2) return 0;
    const auto inSet = [&](DisplayId id) {
        return std::any_of(set.begin(), set.end(), [&](const Output* o) { return o->id == id; });
    };
    for (const Output* o : set) {
        const auto made = masters_.find(static_cast<DisplayId>(o->id));
        if (made != masters_.end() && inSet(made->second)) return made->second;
    }
    for (const Output* o : set) {
        if (o->builtin) return static_cast<DisplayId>(o->id);
    }
    return static_cast<DisplayId>(set.front()->id);
}

// --- changing ------------------------------------------------------------------------------

class XRandrDisplays::XTransaction final : public Transaction {
public:
    explicit XTransaction(XRandrDisplays& owner) : owner_(&owner) {}
    void configureMirror(DisplayId display, DisplayId master) override
    {
        ops_.push_back({Op::Kind::mirror, display, master, 0, 0});
    }
    void configureOrigin(DisplayId display, int x, int y) override
    {
        ops_.push_back({Op::Kind::origin, display, 0, x, y});
    }
    void complete() override
    {
        if (owner_ && !std::exchange(completed_, true)) owner_->apply(ops_);
    }

private:
    QPointer<XRandrDisplays> owner_;
    std::vector<Op> ops_;
    bool completed_ = false;
};

std::unique_ptr<mirroring::DisplayServices::Transaction> XRandrDisplays::beginConfiguration()
{
    if (!isAvailable()) return nullptr;
    return std::make_unique<XTransaction>(*this);
}

namespace {

// Where a CRTC shows what.
struct Placement {
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
    RRMode mode = 0;
    Rotation rotation = RR_Rotate_0;
    bool sameArea(const Placement& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
    bool operator==(const Placement&) const = default;
};

} // namespace

void XRandrDisplays::apply(const std::vector<Op>& ops)
{
    if (!isAvailable()) return;
    Display* const dpy = display_;
    // Under the grab nobody else changes the layout between our reading it and our changes.
    XGrabServer(dpy);
    const Layout now = readLayout();
    layout_.reset();

    struct Target {
        const Output* output;
        Placement was, will;
    };
    std::map<DisplayId, Target> targets;
    for (const Output& o : now.outputs) {
        if (!o.online()) continue;
        const Placement p{o.x, o.y, o.width, o.height, o.mode, static_cast<Rotation>(o.rotation)};
        targets[static_cast<DisplayId>(o.id)] = {&o, p, p};
    }
    const auto rightEdgeWithout = [&](DisplayId id) {
        int edge = 0;
        for (const auto& [other, t] : targets) {
            if (other != id) edge = std::max(edge, t.will.x + static_cast<int>(t.will.width));
        }
        return edge;
    };
    std::map<DisplayId, DisplayId> masters = masters_;

    for (const Op& op : ops) {
        const auto t = targets.find(op.display);
        if (t == targets.end()) continue; // gone since the transaction began
        Placement& will = t->second.will;
        switch (op.kind) {
        case Op::Kind::mirror: {
            if (op.master == 0) {
                masters.erase(op.display);
                const bool shared = std::any_of(targets.begin(), targets.end(), [&](const auto& other) {
                    return other.first != op.display && other.second.will.sameArea(will);
                });
                // On its own, it goes right of everything else until told otherwise.
                if (shared) {
                    will.x = rightEdgeWithout(op.display);
                    will.y = 0;
                }
                break;
            }
            const auto m = targets.find(op.master);
            if (m == targets.end() || m == t) break;
            const Placement& master = m->second.will;
            // The same picture needs a mode of the same size on this output.
            const auto size = now.modeSizes.find(master.mode);
            if (size == now.modeSizes.end()) break;
            const auto& modes = t->second.output->modes;
            const auto mode = std::find_if(modes.begin(), modes.end(), [&](RRMode candidate) {
                return candidate == master.mode ||
                       (now.modeSizes.count(candidate) && now.modeSizes.at(candidate) == size->second);
            });
            if (mode == modes.end()) break;
            will = master;
            will.mode = *mode;
            masters[op.display] = op.master;
            break;
        }
        case Op::Kind::origin: {
            // Its mirrors move with it.
            const Placement before = will;
            for (auto& [id, other] : targets) {
                if (other.will.sameArea(before)) {
                    other.will.x = op.x;
                    other.will.y = op.y;
                }
            }
            break;
        }
        }
    }

    // Nothing to move leaves the screen as it is too.
    bool proceed =
        std::any_of(targets.begin(), targets.end(), [](const auto& t) { return !(t.second.will == t.second.was); });
    // The screen must hold every CRTC; the server bounds its size.
    int width = 0, height = 0;
    for (const auto& [id, t] : targets) {
        proceed = proceed && t.will.x >= 0 && t.will.y >= 0;
        width = std::max(width, t.will.x + static_cast<int>(t.will.width));
        height = std::max(height, t.will.y + static_cast<int>(t.will.height));
    }
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    XRRGetScreenSizeRange(dpy, root_, &minWidth, &minHeight, &maxWidth, &maxHeight);
    width = std::max(width, minWidth);
    height = std::max(height, minHeight);
    proceed = proceed && width <= maxWidth && height <= maxHeight;

    XRRScreenResources* resources = proceed ? XRRGetScreenResourcesCurrent(dpy, root_) : nullptr;
    XWindowAttributes root{};
    if (!resources || !XGetWindowAttributes(dpy, root_, &root)) {
        if (resources) XRRFreeScreenResources(resources);
        XUngrabServer(dpy);
        syncErrors(dpy);
        return;
    }
    const int screen = DefaultScreen(dpy);
    const double mmPerPixel = DisplayWidthMM(dpy, screen) > 0 && DisplayWidth(dpy, screen) > 0
                                  ? double(DisplayWidthMM(dpy, screen)) / DisplayWidth(dpy, screen)
                                  : 25.4 / 96;
    const auto resize = [&](int w, int h) {
        XRRSetScreenSize(dpy, root_, w, h, static_cast<int>(w * mmPerPixel + 0.5), static_cast<int>(h * mmPerPixel + 0.5));
    };
    const auto setCrtc = [&](const Output& o, const Placement& p) {
        std::vector<RROutput> outputs(o.crtcOutputs.begin(), o.crtcOutputs.end());
        const int status = XRRSetCrtcConfig(dpy, resources, o.crtc, CurrentTime, p.x, p.y, p.mode, p.rotation,
                                            outputs.data(), static_cast<int>(outputs.size()));
        return syncErrors(dpy) == Success && status == RRSetConfigSuccess;
    };

    // Grow to hold both the old and the new places, move, then shrink: a CRTC never lies
    // outside the screen, which the server refuses.
    const int unionWidth = std::max(root.width, width), unionHeight = std::max(root.height, height);
    syncErrors(dpy);
    if (unionWidth != root.width || unionHeight != root.height) resize(unionWidth, unionHeight);
    bool ok = syncErrors(dpy) == Success;
    std::vector<const Target*> moved;
    for (const auto& entry : targets) {
        const Target& t = entry.second;
        if (!ok) break;
        if (t.will == t.was) continue;
        const bool sharedCrtc =
            std::any_of(moved.begin(), moved.end(), [&](const Target* m) { return m->output->crtc == t.output->crtc; });
        if (sharedCrtc) continue; // set already, with the first of its outputs
        ok = setCrtc(*t.output, t.will);
        if (ok) moved.push_back(&t);
    }
    if (ok) {
        if (width != unionWidth || height != unionHeight) resize(width, height);
        syncErrors(dpy);
        masters_ = std::move(masters);
    } else {
        // Half a change is worse than none: put back what was moved.
        for (auto it = moved.rbegin(); it != moved.rend(); ++it) setCrtc(*(*it)->output, (*it)->was);
        resize(root.width, root.height);
        syncErrors(dpy);
    }
    XRRFreeScreenResources(resources);
    XUngrabServer(dpy);
    if (isAvailable()) syncErrors(dpy);
    pollQueuedEvents();
}

} // namespace telvanto::platform
