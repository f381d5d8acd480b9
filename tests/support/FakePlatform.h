#pragma once

#include "platform/DirectoryWatcher.h"
#include "platform/NetworkMonitor.h"
#include "tv/TVLookup.h"

#include <vector>

namespace telvanto::testing {

// The test says when the network or the watched directory changed. The handler is called through
// a copy: it may stop the watch.
template <class Watch, class... Args> struct FakeWatch final : Watch {
    void start(std::function<void(Args...)> onChange) override { onChange_ = std::move(onChange); }
    void stop() override { onChange_ = nullptr; }
    void change(Args... args) { if (auto onChange = onChange_) onChange(args...); }
    std::function<void(Args...)> onChange_;
};
using FakeNetworkMonitor = FakeWatch<platform::NetworkMonitor, bool>; // change(usable)
using FakeDirectoryWatcher = FakeWatch<platform::DirectoryWatcher>;

// Records look-ups; the test answers them when it likes.
struct FakeTVLookup final : tv::TVLookup {
    struct Request {
        QString name;
        std::function<void(std::optional<QString>)> done;
    };
    void browse(std::function<void(const QStringList&)> onChange) override { browser = std::move(onChange); }
    void resolveByName(const QString& name, std::function<void(std::optional<QString>)> done) override { requests.push_back({name, std::move(done)}); }
    void announce(const QStringList& names) { if (browser) browser(names); } // the network now announces these TVs
    // Answers every open look-up of the name, once.
    void answer(const QString& name, std::optional<QString> host)
    {
        for (const auto& r : std::exchange(requests, {})) r.name == name ? r.done(host) : requests.push_back(r);
    }
    std::function<void(const QStringList&)> browser;
    std::vector<Request> requests;
};

} // namespace telvanto::testing
