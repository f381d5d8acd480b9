#include "platform/WakeMonitor.h"

namespace telvanto::platform {

WakeMonitor::WakeMonitor(QDBusConnection bus, QObject* parent) : QObject(parent)
{
    if (!bus.isConnected()) return;
    // Naming the service makes the bus deliver only what logind itself sends, not a look-alike
    // signal from any other client.
    listening_ = bus.connect(QLatin1String(service), QLatin1String(path), QLatin1String(interface),
                             QLatin1String(signal), this, SLOT(prepareForSleep(bool)));
}

void WakeMonitor::prepareForSleep(bool sleeping)
{
    if (!sleeping) Q_EMIT woke();
}

} // namespace telvanto::platform
