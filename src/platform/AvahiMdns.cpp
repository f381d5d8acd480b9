#include "platform/AvahiMdns.h"

#include <QSocketNotifier>
#include <QTimer>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>

#include <algorithm>
#include <climits>
#include <vector>

// The poll API's watch and timeout objects, implemented with Qt's notifiers and timers.
// Avahi frees them from inside their own callbacks, so they are disarmed at once and
// deleted only once control is back in the event loop.
struct AvahiWatch {
    int fd;
    AvahiWatchCallback callback;
    void* userdata;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
    AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
};

struct AvahiTimeout {
    QTimer* timer;
    AvahiTimeoutCallback callback;
    void* userdata;
};

namespace telvanto::platform {

namespace {

constexpr const char* domain = "local";

// Milliseconds until an absolute time of day, clamped to what a QTimer takes.
int millisecondsUntil(const struct timeval* when)
{
    const AvahiUsec usec = avahi_age(when);
    if (usec >= 0) return 0;
    return static_cast<int>(std::min<AvahiUsec>(-usec / 1000 + 1, INT_MAX));
}

} // namespace

struct AvahiMdns::Private {
    struct Browse {
        QString type;
        std::function<void(const QStringList&)> onChange;
        AvahiServiceBrowser* browser = nullptr;
        // One entry per (interface, protocol) announcement, so a name stays while any remains.
        struct Seen {
            QString name;
            AvahiIfIndex interface;
            AvahiProtocol protocol;
        };
        std::vector<Seen> seen;
        QStringList order; // names in the order first seen
    };
    struct Resolve {
        Private* owner;
        QString type, name;
        std::function<void(std::optional<QString>)> result;
        AvahiServiceResolver* resolver = nullptr;
    };
    struct Publish {
        Private* owner;
        QString type, name;
        quint16 port;
        AvahiEntryGroup* group = nullptr;
    };

    // The parent of every notifier and timer; lets a watch or timeout find its owner.
    struct Context : QObject {
        explicit Context(Private* p) : owner(p) {}
        Private* owner;
    };

    AvahiMdns* q;
    core::Scheduler& scheduler;
    AvahiPoll poll{};
    Context context{this};
    AvahiClient* client = nullptr;
    bool running = false;
    core::TaskHandle retry;
    std::vector<std::shared_ptr<Browse>> browses;
    std::vector<std::shared_ptr<Resolve>> resolves;
    std::vector<std::shared_ptr<Publish>> publishes;
    std::vector<AvahiWatch*> deadWatches;
    std::vector<AvahiTimeout*> deadTimeouts;
    core::TaskHandle sweep;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true); // handles outliving us do nothing

    Private(AvahiMdns* owner, core::Scheduler& s) : q(owner), scheduler(s)
    {
        poll.userdata = this;
        poll.watch_new = watchNew;
        poll.watch_update = watchUpdate;
        poll.watch_get_events = [](AvahiWatch* w) { return w->happened; };
        poll.watch_free = watchFree;
        poll.timeout_new = timeoutNew;
        poll.timeout_update = timeoutUpdate;
        poll.timeout_free = timeoutFree;
    }

    ~Private()
    {
        for (auto& b : browses) b->browser = nullptr;
        for (auto& r : resolves) r->resolver = nullptr;
        for (auto& p : publishes) p->group = nullptr;
        if (client) avahi_client_free(client); // frees its browsers, resolvers and groups too
        sweepDead();
    }

    // --- poll adapter -------------------------------------------------------------------

    static AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent events, AvahiWatchCallback callback, void* userdata)
    {
        auto* self = static_cast<Private*>(api->userdata);
        auto* w = new AvahiWatch{fd, callback, userdata};
        w->read = new QSocketNotifier(fd, QSocketNotifier::Read, &self->context);
        w->write = new QSocketNotifier(fd, QSocketNotifier::Write, &self->context);
        QObject::connect(w->read, &QSocketNotifier::activated, [w] { fire(w, AVAHI_WATCH_IN); });
        QObject::connect(w->write, &QSocketNotifier::activated, [w] { fire(w, AVAHI_WATCH_OUT); });
        watchUpdate(w, events);
        return w;
    }

    static void fire(AvahiWatch* w, AvahiWatchEvent event)
    {
        w->happened = event;
        w->callback(w, w->fd, event, w->userdata);
    }

    static void watchUpdate(AvahiWatch* w, AvahiWatchEvent events)
    {
        w->read->setEnabled(events & AVAHI_WATCH_IN);
        w->write->setEnabled(events & AVAHI_WATCH_OUT);
    }

    static void watchFree(AvahiWatch* w)
    {
        w->read->setEnabled(false);
        w->write->setEnabled(false);
        w->callback = [](AvahiWatch*, int, AvahiWatchEvent, void*) {};
        owner(w->read)->deadWatches.push_back(w);
        owner(w->read)->scheduleSweep();
    }

    static AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* when, AvahiTimeoutCallback callback, void* userdata)
    {
        auto* self = static_cast<Private*>(api->userdata);
        auto* t = new AvahiTimeout{new QTimer(&self->context), callback, userdata};
        t->timer->setSingleShot(true);
        QObject::connect(t->timer, &QTimer::timeout, [t] { t->callback(t, t->userdata); });
        timeoutUpdate(t, when);
        return t;
    }

    static void timeoutUpdate(AvahiTimeout* t, const struct timeval* when)
    {
        t->timer->stop();
        if (when) t->timer->start(millisecondsUntil(when));
    }

    static void timeoutFree(AvahiTimeout* t)
    {
        t->timer->stop();
        t->callback = [](AvahiTimeout*, void*) {};
        owner(t->timer)->deadTimeouts.push_back(t);
        owner(t->timer)->scheduleSweep();
    }

    static Private* owner(QObject* child)
    {
        return static_cast<Context*>(child->parent())->owner;
    }

    void scheduleSweep()
    {
        if (!sweep) sweep = scheduler.schedule(core::Duration::zero(), [this] {
            auto keep = std::move(sweep); // the handle must outlive this call
            sweepDead();
        });
    }

    void sweepDead()
    {
        for (AvahiWatch* w : deadWatches) {
            w->read->deleteLater();
            w->write->deleteLater();
            delete w;
        }
        deadWatches.clear();
        for (AvahiTimeout* t : deadTimeouts) {
            t->timer->deleteLater();
            delete t;
        }
        deadTimeouts.clear();
    }

    // --- client lifecycle ---------------------------------------------------------------

    void connectClient()
    {
        retry.reset();
        int error = 0;
        AvahiClient* made = avahi_client_new(&poll, AVAHI_CLIENT_NO_FAIL, clientChanged, this, &error);
        if (!made) {
            // No system bus: try again later, quietly.
            client = nullptr;
            retry = scheduler.schedule(retryDelay, [this] { connectClient(); });
            return;
        }
        client = made;
    }

    static void clientChanged(AvahiClient* c, AvahiClientState state, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        if (!self->client) self->client = c; // called from inside avahi_client_new
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->setRunning(true);
            self->startAll();
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            for (auto& p : self->publishes) {
                if (p->group) avahi_entry_group_reset(p->group);
            }
            break;
        case AVAHI_CLIENT_FAILURE:
            // The daemon went away. The client cannot be freed from inside its callback:
            // drop it from the event loop and make a new one.
            self->setRunning(false);
            self->retry = self->scheduler.schedule(core::Duration::zero(), [self] { self->recreate(); });
            break;
        case AVAHI_CLIENT_CONNECTING:
            self->setRunning(false);
            break;
        }
    }

    void recreate()
    {
        auto keep = std::move(retry);
        for (auto& b : browses) b->browser = nullptr;
        for (auto& r : resolves) r->resolver = nullptr;
        for (auto& p : publishes) p->group = nullptr;
        if (client) avahi_client_free(client);
        client = nullptr;
        // Resolutions in flight fail; their callers time out or try again.
        auto failed = std::move(resolves);
        resolves.clear();
        for (auto& r : failed) {
            if (r->result) r->result(std::nullopt);
        }
        retry = scheduler.schedule(retryDelay, [this] { connectClient(); });
    }

    void setRunning(bool now)
    {
        if (running == now) return;
        running = now;
        Q_EMIT q->runningChanged(now);
    }

    void startAll()
    {
        for (auto& b : browses) startBrowse(*b);
        for (auto& r : resolves) startResolve(r);
        for (auto& p : publishes) startPublish(*p);
    }

    // --- browsing -----------------------------------------------------------------------

    void startBrowse(Browse& b)
    {
        if (!running || b.browser) return;
        b.seen.clear();
        b.browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, b.type.toUtf8().constData(),
                                              domain, static_cast<AvahiLookupFlags>(0), browsed, &b);
    }

    static void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                        const char* name, const char*, const char*, AvahiLookupResultFlags, void* userdata)
    {
        auto& b = *static_cast<Browse*>(userdata);
        const QString instance = name ? QString::fromUtf8(name) : QString();
        switch (event) {
        case AVAHI_BROWSER_NEW:
            b.seen.push_back({instance, interface, protocol});
            if (!b.order.contains(instance)) b.order.append(instance);
            break;
        case AVAHI_BROWSER_REMOVE:
            std::erase_if(b.seen, [&](const Browse::Seen& s) {
                return s.name == instance && s.interface == interface && s.protocol == protocol;
            });
            break;
        case AVAHI_BROWSER_FAILURE:
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            return;
        }
        QStringList names;
        for (const QString& n : b.order) {
            if (std::any_of(b.seen.begin(), b.seen.end(), [&](const Browse::Seen& s) { return s.name == n; })) names.append(n);
        }
        if (b.onChange) b.onChange(names);
    }

    // --- resolving ----------------------------------------------------------------------

    void startResolve(const std::shared_ptr<Resolve>& r)
    {
        if (!running || r->resolver) return;
        r->resolver = avahi_service_resolver_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, r->name.toUtf8().constData(),
                                                 r->type.toUtf8().constData(), domain, AVAHI_PROTO_INET,
                                                 static_cast<AvahiLookupFlags>(0), resolved, r.get());
    }

    static void resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char*,
                         const char*, const char*, const char*, const AvahiAddress* address, uint16_t, AvahiStringList*,
                         AvahiLookupResultFlags, void* userdata)
    {
        auto* r = static_cast<Resolve*>(userdata);
        std::optional<QString> ipv4;
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
            char text[AVAHI_ADDRESS_STR_MAX];
            avahi_address_snprint(text, sizeof text, address);
            ipv4 = QString::fromLatin1(text);
        }
        avahi_service_resolver_free(resolver);
        r->resolver = nullptr;
        Private* self = r->owner;
        // Keep the request alive through its callback, then forget it.
        std::shared_ptr<Resolve> keep;
        for (auto it = self->resolves.begin(); it != self->resolves.end(); ++it) {
            if (it->get() == r) {
                keep = *it;
                self->resolves.erase(it);
                break;
            }
        }
        if (keep && keep->result) keep->result(ipv4);
    }

    // --- publishing ---------------------------------------------------------------------

    void startPublish(Publish& p)
    {
        if (!running) return;
        if (!p.group) p.group = avahi_entry_group_new(client, grouped, &p);
        if (!p.group) return;
        avahi_entry_group_reset(p.group);
        if (avahi_entry_group_add_service(p.group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
                                          p.name.toUtf8().constData(), p.type.toUtf8().constData(), nullptr, nullptr, p.port,
                                          nullptr) == 0) {
            avahi_entry_group_commit(p.group);
        }
    }

    static void grouped(AvahiEntryGroup*, AvahiEntryGroupState state, void* userdata)
    {
        auto& p = *static_cast<Publish*>(userdata);
        if (state != AVAHI_ENTRY_GROUP_COLLISION) return;
        // Another service took the name: take the next alternative, as every announcer does.
        char* alternative = avahi_alternative_service_name(p.name.toUtf8().constData());
        p.name = QString::fromUtf8(alternative);
        avahi_free(alternative);
        p.owner->startPublish(p);
    }
};

namespace {

// Runs a cleanup when a handle goes.
class Cleanup final : public core::ScheduledTask {
public:
    explicit Cleanup(std::function<void()> f) : f_(std::move(f)) {}
    ~Cleanup() override
    {
        if (f_) f_();
    }

private:
    std::function<void()> f_;
};

} // namespace

AvahiMdns::AvahiMdns(core::Scheduler& scheduler, QObject* parent) : QObject(parent), d(std::make_unique<Private>(this, scheduler))
{
    d->connectClient();
}

AvahiMdns::~AvahiMdns() = default;

bool AvahiMdns::isRunning() const { return d->running; }

void AvahiMdns::browse(const QString& type, std::function<void(const QStringList&)> onChange)
{
    auto b = std::make_shared<Private::Browse>();
    b->type = type;
    b->onChange = std::move(onChange);
    d->browses.push_back(b);
    d->startBrowse(*b);
}

core::TaskHandle AvahiMdns::resolve(const QString& type, const QString& name, std::function<void(std::optional<QString>)> result)
{
    auto r = std::make_shared<Private::Resolve>();
    r->owner = d.get();
    r->type = type;
    r->name = name;
    r->result = std::move(result);
    d->resolves.push_back(r);
    // Started now if the daemon is there, else when it comes; a caller that stops waiting
    // drops the handle.
    d->startResolve(r);
    std::weak_ptr<Private::Resolve> weak = r;
    std::weak_ptr<bool> alive = d->alive;
    Private* owner = d.get();
    return std::make_unique<Cleanup>([weak, alive, owner] {
        auto request = weak.lock();
        if (!request || alive.expired()) return;
        if (request->resolver) avahi_service_resolver_free(request->resolver);
        request->resolver = nullptr;
        request->result = nullptr;
        std::erase(owner->resolves, request);
    });
}

core::TaskHandle AvahiMdns::publish(const QString& type, const QString& name, quint16 port)
{
    auto p = std::make_shared<Private::Publish>();
    p->owner = d.get();
    p->type = type;
    p->name = name;
    p->port = port;
    d->publishes.push_back(p);
    d->startPublish(*p);
    std::weak_ptr<Private::Publish> weak = p;
    std::weak_ptr<bool> alive = d->alive;
    Private* owner = d.get();
    return std::make_unique<Cleanup>([weak, alive, owner] {
        auto entry = weak.lock();
        if (!entry || alive.expired()) return;
        if (entry->group) avahi_entry_group_free(entry->group);
        entry->group = nullptr;
        std::erase(owner->publishes, entry);
    });
}

} // namespace telvanto::platform
