#pragma once

#include "platform/Mdns.h"

#include <map>
#include <memory>
#include <vector>

namespace telvanto::testing {

// An mDNS backend the test drives: it announces names and answers resolutions by hand.
struct FakeMdns final : platform::Mdns {
    struct Request {
        QString name;
        std::function<void(std::optional<QString>)> result;
        bool stopped = false;
    };
    // Stopping a resolution: the handle going away.
    struct Stop final : core::ScheduledTask {
        explicit Stop(std::shared_ptr<Request> r) : request(std::move(r)) {}
        ~Stop() override { request->stopped = true; }
        std::shared_ptr<Request> request;
    };

    void browse(const QString& type, std::function<void(const QStringList&)> onChange) override { browsers[type] = std::move(onChange); }
    core::TaskHandle resolve(const QString&, const QString& name, std::function<void(std::optional<QString>)> result) override
    {
        requests.push_back(std::make_shared<Request>(Request{name, std::move(result)}));
        // A backend that knows the answer already may report before it returns.
        if (const auto known = answersAtOnce.find(name); known != answersAtOnce.end()) requests.back()->result(known->second);
        return std::make_unique<Stop>(requests.back());
    }
    // The browse results for a type are now these names.
    void announce(const QString& type, const QStringList& names) { if (browsers.count(type)) browsers[type](names); }
    // Answers every open request for the name (none: a failure or no IPv4 address).
    void answer(const QString& name, std::optional<QString> host)
    {
        for (auto& r : std::vector(requests)) if (r->name == name && !r->stopped) r->result(host);
    }

    std::map<QString, std::function<void(const QStringList&)>> browsers;
    std::map<QString, std::optional<QString>> answersAtOnce; // reported from inside resolve
    std::vector<std::shared_ptr<Request>> requests;
};

} // namespace telvanto::testing
