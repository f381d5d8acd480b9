#pragma once

#include "core/Scheduler.h"
#include "platform/Mdns.h"

#include <QObject>

#include <memory>

namespace telvanto::platform {

// Mdns on the system avahi-daemon, driven by the Qt event loop. A missing daemon, one that
// stops or restarts, or no system bus at all never blocks or crashes anything: the client
// is made again later and browsing resumes by itself.
class AvahiMdns final : public QObject, public Mdns {
    Q_OBJECT

public:
    // How long to wait before trying again to reach a daemon that is not there.
    static constexpr std::chrono::seconds retryDelay{2};

    explicit AvahiMdns(core::Scheduler& scheduler, QObject* parent = nullptr);
    ~AvahiMdns() override;

    void browse(const QString& type, std::function<void(const QStringList& names)> onChange) override;
    core::TaskHandle resolve(const QString& type, const QString& name,
                             std::function<void(std::optional<QString> ipv4)> result) override;

    // Announces a service on every interface until withdrawn (the handle goes) and again
    // after the daemon comes back.
    core::TaskHandle publish(const QString& type, const QString& name, quint16 port);

    bool isRunning() const;

Q_SIGNALS:
    void runningChanged(bool running);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace telvanto::platform
