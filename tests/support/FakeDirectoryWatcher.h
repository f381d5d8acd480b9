#pragma once

#include "platform/DirectoryWatcher.h"

namespace telvanto::testing {

// The test says when the watched directory changed.
class FakeDirectoryWatcher final : public platform::DirectoryWatcher {
public:
    void start(std::function<void()> onChange) override { onChange_ = std::move(onChange); }
    void stop() override { onChange_ = nullptr; }

    bool started() const { return static_cast<bool>(onChange_); }
    void change()
    {
        if (auto onChange = onChange_) onChange();
    }

private:
    std::function<void()> onChange_;
};

} // namespace telvanto::testing
