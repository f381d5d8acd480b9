#pragma once

#include "core/Scheduler.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace telvanto::platform {

// Multicast DNS service discovery, generic in the service type ("_androidtvremote2._tcp",
// "_airplay._tcp"). Results arrive on the event loop's thread.
class Mdns {
public:
    virtual ~Mdns() = default;

    // Watches a service type. onChange receives every instance name currently announced,
    // in the order first seen, whenever the set changes or is announced again.
    virtual void browse(const QString& type, std::function<void(const QStringList& names)> onChange) = 0;

    // Starts resolving one instance to its first IPv4 address (dotted text; none when it
    // has no IPv4 address or cannot be resolved). The backend may report more than once
    // or never; destroying the handle stops it.
    virtual core::TaskHandle resolve(const QString& type, const QString& name,
                                     std::function<void(std::optional<QString> ipv4)> result) = 0;
};

} // namespace telvanto::platform
