#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace telvanto::testing {

// Moves the calling thread into a network namespace of its own while the object lives: a
// loopback interface that is down and no routes, so every connect fails at once, and nothing
// leaves the machine. Sockets made meanwhile stay there. Needs root; entered() tells.
class OwnNetNamespace {
public:
    OwnNetNamespace() : original_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        entered_ = original_ >= 0 && ::unshare(CLONE_NEWNET) == 0;
    }
    ~OwnNetNamespace()
    {
        if (entered_) ::setns(original_, CLONE_NEWNET);
        if (original_ >= 0) ::close(original_);
    }
    OwnNetNamespace(const OwnNetNamespace&) = delete;
    OwnNetNamespace& operator=(const OwnNetNamespace&) = delete;

    bool entered() const { return entered_; }

private:
    int original_;
    bool entered_ = false;
};

} // namespace telvanto::testing
