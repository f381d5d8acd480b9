#pragma once

#include "EventLoop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>

#include <filesystem>

namespace telvanto::testing {

// A D-Bus daemon of the test's own, listening in a folder of the test; gone with the object.
// Each connect() is a separate client, as a separate process would be.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& dir)
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) return;
        std::filesystem::create_directories(dir);
        daemon_.start(program, {"--session", "--nofork", "--nopidfile", "--print-address=1", "--address=unix:dir=" + QString::fromStdString(dir.string())});
        waitUntil([this] { return daemon_.canReadLine() || daemon_.state() == QProcess::NotRunning; });
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    bool running() const { return !address_.isEmpty(); }
    QDBusConnection connect()
    {
        names_.append(QStringLiteral("client-%1-%2").arg(reinterpret_cast<quintptr>(this)).arg(names_.size()));
        return QDBusConnection::connectToBus(address_, names_.back());
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// Returns once every message the sender put on the bus before has been handed to the
// receiver's Qt objects: a round trip through the daemon on each side orders it.
inline void settle(QDBusConnection& sender, QDBusConnection& receiver)
{
    for (QDBusConnection* c : {&sender, &receiver})
        c->call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId"));
    drainEvents();
}

} // namespace telvanto::testing
