#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>

namespace telvanto::app {

QString SingleInstance::serviceFor(const QString& profileDir)
{
    if (profileDir.isEmpty()) return QLatin1String(service);
    const QByteArray digest = QCryptographicHash::hash(QDir(profileDir).absolutePath().toUtf8(), QCryptographicHash::Sha256);
    return QLatin1String(service) + QStringLiteral(".profile_") + QString::fromLatin1(digest.toHex().left(16));
}

SingleInstance::SingleInstance(QDBusConnection bus, QString serviceName, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), serviceName_(std::move(serviceName))
{
}

SingleInstance::~SingleInstance()
{
    if (owner_) bus_.unregisterService(serviceName_);
    if (registered_) bus_.unregisterObject(QLatin1String(path));
}

SingleInstance::Role SingleInstance::claim()
{
    if (!bus_.isConnected() || !bus_.interface()) return Role::alone;
    // The object first, so that a caller who sees the name also finds it.
    if (!registered_) registered_ = bus_.registerObject(QLatin1String(path), this, QDBusConnection::ExportScriptableSlots);
    if (!registered_) return Role::alone;

    // The holder may be leaving just as we ask: one more try then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto reply = bus_.interface()->registerService(serviceName_, QDBusConnectionInterface::DontQueueService,
                                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid()) return Role::alone;
        if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            owner_ = true;
            return Role::first;
        }
        const QDBusMessage call = QDBusMessage::createMethodCall(serviceName_, QLatin1String(path),
                                                                 QLatin1String(interface), QStringLiteral("ShowWindow"));
        // Events keep flowing while waiting, so a holder in this same process can answer too.
        const QDBusMessage answer = bus_.call(call, QDBus::BlockWithGui, static_cast<int>(answerTimeout.count()));
        if (answer.type() == QDBusMessage::ReplyMessage) return Role::second;
        if (answer.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) return Role::alone;
    }
    return Role::alone;
}

void SingleInstance::ShowWindow() { Q_EMIT showRequested(); }

} // namespace telvanto::app
