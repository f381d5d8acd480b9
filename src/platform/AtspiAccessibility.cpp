#include "platform/AtspiAccessibility.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace telvanto::platform {

namespace {

constexpr int timeoutMs = 1000;
const QString launcher = QStringLiteral("org.a11y.Bus");
const QString launcherPath = QStringLiteral("/org/a11y/bus");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage call(const QString& interface, const QString& method, const QVariantList& args)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return {};
    QDBusMessage message = QDBusMessage::createMethodCall(launcher, launcherPath, interface, method);
    message.setArguments(args);
    return session.call(message, QDBus::Block, timeoutMs);
}

} // namespace

bool AtspiAccessibility::isEnabled()
{
    const QDBusMessage enabled =
        call(properties, QStringLiteral("Get"), {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")});
    if (enabled.type() != QDBusMessage::ReplyMessage || enabled.arguments().isEmpty()) return false;
    if (!enabled.arguments().first().value<QDBusVariant>().variant().toBool()) return false;
    // On, and the bus itself can be had.
    const QDBusMessage address = call(launcher, QStringLiteral("GetAddress"), {});
    return address.type() == QDBusMessage::ReplyMessage && !address.arguments().isEmpty()
           && !address.arguments().first().toString().isEmpty();
}

void AtspiAccessibility::requestEnable()
{
    call(properties, QStringLiteral("Set"),
         {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"), QVariant::fromValue(QDBusVariant(true))});
}

} // namespace telvanto::platform
