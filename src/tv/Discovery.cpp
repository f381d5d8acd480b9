#include "tv/Discovery.h"

#include <algorithm>

namespace telvanto::tv {

struct Discovery::ServiceResolver {
    std::uint64_t id; // never reused, unlike an address
    QString name;
    std::function<void(std::optional<QString>)> done;
    core::TaskHandle service;
    core::TaskHandle timer;
};

Discovery::Discovery(platform::Mdns& mdns, core::Scheduler& scheduler) : mdns_(mdns), scheduler_(scheduler) {}

Discovery::~Discovery() = default;

void Discovery::browse(const QString& type, std::function<void(const QStringList&)> onChange)
{
    mdns_.browse(type, std::move(onChange));
}

void Discovery::resolve(const QString& type, const QString& name, std::function<void(std::optional<QString>)> done)
{
    const std::uint64_t id = nextId_++;
    live_.push_back(std::make_unique<ServiceResolver>(ServiceResolver{id, name, std::move(done), nullptr, nullptr}));
    std::weak_ptr<bool> alive = alive_;
    live_.back()->timer = scheduler_.schedule(resolveTimeout, [this, id, alive] {
        if (!alive.expired()) finish(id, std::nullopt);
    });
    core::TaskHandle service = mdns_.resolve(type, name, [this, id, alive](std::optional<QString> host) {
        if (!alive.expired()) finish(id, std::move(host));
    });
    // The backend may have reported already, and the resolver is then gone: the handle goes
    // only into a resolver still live, and is otherwise dropped, which stops the request.
    if (ServiceResolver* resolver = find(id)) resolver->service = std::move(service);
}

Discovery::ServiceResolver* Discovery::find(std::uint64_t id) const
{
    const auto it = std::find_if(live_.begin(), live_.end(), [id](const auto& r) { return r->id == id; });
    return it == live_.end() ? nullptr : it->get();
}

void Discovery::finish(std::uint64_t id, std::optional<QString> host)
{
    const auto it = std::find_if(live_.begin(), live_.end(), [id](const auto& r) { return r->id == id; });
    if (it == live_.end()) return; // finished already
    std::unique_ptr<ServiceResolver> finished = std::move(*it);
    live_.erase(it);
    auto done = std::move(finished->done);
    // Stopping the service from inside its own report is fine: the backend is done with it.
    finished.reset();
    if (done) done(std::move(host));
}

} // namespace telvanto::tv
