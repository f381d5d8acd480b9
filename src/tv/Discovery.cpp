#include "tv/Discovery.h"

#include <algorithm>

namespace telvanto::tv {

struct Discovery::ServiceResolver {
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
    auto owned = std::make_unique<ServiceResolver>();
    ServiceResolver* resolver = owned.get();
    resolver->name = name;
    resolver->done = std::move(done);
    live_.push_back(std::move(owned));
    std::weak_ptr<bool> alive = alive_;
    resolver->timer = scheduler_.schedule(resolveTimeout, [this, resolver, alive] {
        if (!alive.expired()) finish(resolver, std::nullopt);
    });
    resolver->service = mdns_.resolve(type, name, [this, resolver, alive](std::optional<QString> host) {
        if (!alive.expired()) finish(resolver, std::move(host));
    });
}

void Discovery::finish(ServiceResolver* resolver, std::optional<QString> host)
{
    const auto it = std::find_if(live_.begin(), live_.end(), [resolver](const auto& r) { return r.get() == resolver; });
    if (it == live_.end()) return; // finished already
    std::unique_ptr<ServiceResolver> finished = std::move(*it);
    live_.erase(it);
    auto done = std::move(finished->done);
    // Stopping the service from inside its own report is fine: the backend is done with it.
    finished.reset();
    if (done) done(std::move(host));
}

} // namespace telvanto::tv
