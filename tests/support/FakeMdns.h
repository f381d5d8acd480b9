#pragma once

#include "platform/Mdns.h"

#include <map>
#include <memory>
#include <vector>

namespace telvanto::testing {

// An mDNS backend the test drives: it announces names and answers resolutions by hand.
class FakeMdns final : public platform::Mdns {
public:
    struct Request {
        QString type, name;
        std::function<void(std::optional<QString>)> result;
        bool stopped = false;
    };

    void browse(const QString& type, std::function<void(const QStringList&)> onChange) override
    {
        browsers[type] = std::move(onChange);
    }

    core::TaskHandle resolve(const QString& type, const QString& name, std::function<void(std::optional<QString>)> result) override
    {
        auto request = std::make_shared<Request>(Request{type, name, std::move(result)});
        requests.push_back(request);
        // A backend that knows the answer already may report before it returns.
        if (const auto known = answersAtOnce.find(name); known != answersAtOnce.end()) request->result(known->second);
        struct Stop final : core::ScheduledTask {
            explicit Stop(std::shared_ptr<Request> r) : request(std::move(r)) {}
            ~Stop() override { request->stopped = true; }
            std::shared_ptr<Request> request;
        };
        return std::make_unique<Stop>(request);
    }

    // The browse results for a type are now these names.
    void announce(const QString& type, const QStringList& names)
    {
        if (browsers.count(type)) browsers[type](names);
    }

    // Answers every open request for the name (none: a failure or no IPv4 address).
    void answer(const QString& name, std::optional<QString> host)
    {
        for (auto& r : std::vector(requests)) {
            if (r->name == name && !r->stopped && r->result) r->result(host);
        }
    }

    std::size_t openRequests(const QString& name) const
    {
        std::size_t n = 0;
        for (const auto& r : requests) n += r->name == name && !r->stopped ? 1 : 0;
        return n;
    }

    std::map<QString, std::function<void(const QStringList&)>> browsers;
    std::map<QString, std::optional<QString>> answersAtOnce; // reported from inside resolve
    std::vector<std::shared_ptr<Request>> requests;
};

} // namespace telvanto::testing
