#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "QtPrinters.h"

#include <chrono>
#include <functional>

namespace telvanto::testing {

// Runs the event loop until the condition holds or the limit passes; returns the
// condition. The limit only bounds a failing test; passing tests return as soon as they can.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    QDeadlineTimer deadline(limit);
    QTimer wake; // wakes the loop when nothing else happens before the limit
    wake.start(static_cast<int>(limit.count()));
    while (!condition()) {
        if (deadline.hasExpired()) return condition();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
        // processEvents outside exec() leaves deleteLater() calls made outside it pending.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Lets every event already queued run, without waiting for new ones.
inline void drainEvents()
{
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace telvanto::testing
