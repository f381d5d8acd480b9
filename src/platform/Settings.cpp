#include "platform/Settings.h"

#include <QDir>
#include <QStandardPaths>

namespace telvanto::platform {

QString Settings::defaultFilePath()
{
    const QString dir = qEnvironmentVariable("TELVANTO_CONFIG_DIR");
    if (!dir.isEmpty()) return QDir(dir).filePath(QStringLiteral("telvanto.conf"));
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("telvanto/telvanto.conf"));
}

Settings::Settings(const QString& filePath) : settings_(filePath, QSettings::IniFormat) {}

std::optional<QString> Settings::string(const char* key) const
{
    const QVariant value = settings_.value(QLatin1String(key));
    if (!value.isValid()) return std::nullopt;
    return value.toString();
}

void Settings::write(const char* key, const QVariant& value)
{
    // Reads again what other processes wrote meanwhile, so that the comparison is with the
    // file as it is, not with what this process last saw.
    settings_.sync();
    const QVariant stored = settings_.value(QLatin1String(key));
    if (stored.isValid() && stored.toString() == value.toString()) return;
    settings_.setValue(QLatin1String(key), value);
    settings_.sync();
}

std::optional<QByteArray> Settings::legacyTvKey() const
{
    const QVariant value = settings_.value(QStringLiteral("tvKey"));
    if (!value.isValid()) return std::nullopt;
    return value.toByteArray();
}

void Settings::removeLegacyTvKey()
{
    settings_.remove(QStringLiteral("tvKey"));
    settings_.sync();
}

} // namespace telvanto::platform
