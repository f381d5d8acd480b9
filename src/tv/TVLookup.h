#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace telvanto::tv {

// Finds TVs on the network: which are announced, and where one is now.
class TVLookup {
public:
    virtual ~TVLookup() = default;

    // Watches for TVs; onChange receives the names of all TVs announced, each time that set
    // changes or is announced again. From the event loop.
    virtual void browse(std::function<void(const QStringList& names)> onChange) = 0;

    // One-shot: calls done at most once, later, from the event loop, with the IPv4 address
    // or none. The caller must cope with an answer arriving after it has gone.
    virtual void resolveByName(const QString& name, std::function<void(std::optional<QString> host)> done) = 0;
};

// Finds nothing: for tests and programs without a network to search.
class NullTVLookup final : public TVLookup {
public:
    void browse(std::function<void(const QStringList&)>) override {}
    void resolveByName(const QString&, std::function<void(std::optional<QString>)>) override {}
};

} // namespace telvanto::tv
