#pragma once

#include "core/Scheduler.h"
#include "platform/Mdns.h"

#include <QString>

#include <chrono>
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

    Discovery(platform::Mdns& mdns, core::Scheduler& scheduler);
    ~Discovery();

    void browse(const QString& type, std::function<void(const QStringList& names)> onChange);
    void resolve(const QString& type, const QString& name, std::function<void(std::optional<QString> host)> done);

    // Resolutions started and not yet finished.
    std::size_t liveResolvers() const { return live_.size(); }

private:
    struct ServiceResolver;
    void finish(ServiceResolver* resolver, std::optional<QString> host);

    platform::Mdns& mdns_;
    core::Scheduler& scheduler_;
    std::vector<std::unique_ptr<ServiceResolver>> live_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace telvanto::tv
