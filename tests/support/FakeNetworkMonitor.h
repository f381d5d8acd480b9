#pragma once

#include "platform/NetworkMonitor.h"

namespace telvanto::testing {

// The test says when the network changes.
class FakeNetworkMonitor final : public platform::NetworkMonitor {
public:
    void start(std::function<void(bool)> onChange) override { onChange_ = std::move(onChange); }
    void stop() override { onChange_ = nullptr; }

    bool started() const { return static_cast<bool>(onChange_); }
    void change(bool usable)
    {
        if (auto onChange = onChange_) onChange(usable);
    }

private:
    std::function<void(bool)> onChange_;
};

} // namespace telvanto::testing
