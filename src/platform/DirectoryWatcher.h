#pragma once

#include <functional>

namespace telvanto::platform {

// Tells its owner that the content of one directory changed: an entry was made, removed,
// renamed or replaced. Other processes share the credential directory; this is how a running
// program hears that they changed it.
class DirectoryWatcher {
public:
    virtual ~DirectoryWatcher() = default;

    // Reports after changes, from the event loop; never from inside start itself.
    virtual void start(std::function<void()> onChange) = 0;
    virtual void stop() = 0;
};

} // namespace telvanto::platform
