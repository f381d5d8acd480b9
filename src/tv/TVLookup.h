#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace telvanto::tv {

// Finds a TV's current address by its service name.
class TVLookup {
public:
    virtual ~TVLookup() = default;

    // One-shot: calls done at most once, later, from the event loop, with the IPv4 address
    // or none. The caller must cope with an answer arriving after it has gone.
    virtual void resolveByName(const QString& name, std::function<void(std::optional<QString> host)> done) = 0;
};

// Until discovery is wired in: finds nothing, so never answers.
class NullTVLookup final : public TVLookup {
public:
    void resolveByName(const QString&, std::function<void(std::optional<QString>)>) override {}
};

} // namespace telvanto::tv
