#pragma once

#include <QString>

#include <functional>

namespace telvanto::mirroring {

class ReceiverSelector {            // the contract of receiver selection, asynchronous
public:
    virtual ~ReceiverSelector() = default;
    // Switches the named receiver on (connect) or off; done(true) when its row was found and is,
    // or was pressed into, that state. done runs later from the event loop/scheduler, never inside.
    virtual void selectReceiver(const QString& name, bool connect, std::function<void(bool)> done) = 0;
    // Writes the dump of the panel's accessibility tree to path (atomically); no file when the
    // panel application is not running.
    virtual void dumpControlCenter(const QString& path, std::function<void()> done) = 0;
};

} // namespace telvanto::mirroring
