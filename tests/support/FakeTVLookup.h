#pragma once

#include "tv/TVLookup.h"

#include <vector>

namespace telvanto::testing {

// Records look-ups; the test answers them when it likes.
class FakeTVLookup final : public tv::TVLookup {
public:
    struct Request {
        QString name;
        std::function<void(std::optional<QString>)> done;
    };
    void browse(std::function<void(const QStringList&)> onChange) override { browser = std::move(onChange); }
    void resolveByName(const QString& name, std::function<void(std::optional<QString>)> done) override
    {
        requests.push_back({name, std::move(done)});
    }

    // The network now announces these TVs.
    void announce(const QStringList& names)
    {
        if (browser) browser(names);
    }
    // Answers every open look-up of the name, once.
    void answer(const QString& name, std::optional<QString> host)
    {
        const auto open = std::exchange(requests, {});
        for (const auto& r : open) r.name == name ? r.done(host) : requests.push_back(r);
    }

    std::function<void(const QStringList&)> browser;
    std::vector<Request> requests;
};

} // namespace telvanto::testing
