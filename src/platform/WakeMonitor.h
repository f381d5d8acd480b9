#pragma once

#include <QDBusConnection>
#include <QObject>

namespace telvanto::platform {

// Tells when the machine has woken from sleep: logind's PrepareForSleep(false) on the system
// bus. Without a bus there is nothing to hear, and nothing happens; a bus without logind is
// listened to all the same, so a logind that starts later is still heard.
class WakeMonitor final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* service = "org.freedesktop.login1";
    static constexpr const char* path = "/org/freedesktop/login1";
    static constexpr const char* interface = "org.freedesktop.login1.Manager";
    static constexpr const char* signal = "PrepareForSleep";

    explicit WakeMonitor(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // Whether the bus could be reached and the signal subscribed.
    bool listening() const { return listening_; }

Q_SIGNALS:
    void woke();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    bool listening_ = false;
};

} // namespace telvanto::platform
