#pragma once

#include "core/Scheduler.h"
#include "platform/Mdns.h"
#include "tv/TVLookup.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace telvanto::tv {

// Browsing and one-shot resolution of mDNS services over a backend. Every resolution ends
// exactly once: with the first IPv4 address reported, or with none on failure or after
// the time limit; whatever the backend says afterwards is ignored.
class Discovery {
public:
    static constexpr std::chrono::milliseconds resolveTimeout{5000};
    static inline const QString tvServiceType = QStringLiteral("_androidtvremote2._tcp");

    Discovery(platform::Mdns& mdns, core::Scheduler& scheduler);
    ~Discovery();

    void browse(const QString& type, std::function<void(const QStringList& names)> onChange);
    void resolve(const QString& type, const QString& name, std::function<void(std::optional<QString> host)> done);

    // Resolutions started and not yet finished.
    std::size_t liveResolvers() const { return live_.size(); }

private:
    struct ServiceResolver;
    void finish(std::uint64_t id, std::optional<QString> host);
    ServiceResolver* find(std::uint64_t id) const;

    platform::Mdns& mdns_;
    core::Scheduler& scheduler_;
    std::vector<std::unique_ptr<ServiceResolver>> live_;
    std::uint64_t nextId_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Looks a TV up by its service name through mDNS.
class DiscoveryLookup final : public TVLookup {
public:
    explicit DiscoveryLookup(Discovery& discovery) : discovery_(discovery) {}
    void browse(std::function<void(const QStringList&)> onChange) override
    {
        discovery_.browse(Discovery::tvServiceType, std::move(onChange));
    }
    void resolveByName(const QString& name, std::function<void(std::optional<QString>)> done) override
    {
        discovery_.resolve(Discovery::tvServiceType, name, std::move(done));
    }

private:
    Discovery& discovery_;
};

} // namespace telvanto::tv
