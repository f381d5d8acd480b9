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
    void resolveByName(const QString& name, std::function<void(std::optional<QString>)> done) override
    {
        requests.push_back({name, std::move(done)});
    }
    std::vector<Request> requests;
};

} // namespace telvanto::testing
