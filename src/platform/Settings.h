#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <optional>

namespace telvanto::platform {

// The application's few settings, in an INI file: "tvHost", "tvName", the legacy "tvKey"
// and "mirrorMode". A write that changes a value is flushed at once (QSettings replaces the
// file atomically); writing the value already stored leaves the file alone.
class Settings {
public:
    // $TELVANTO_CONFIG_DIR/telvanto.conf, else ~/.config/telvanto/telvanto.conf.
    static QString defaultFilePath();

    explicit Settings(const QString& filePath = defaultFilePath());

    std::optional<QString> tvHost() const { return string("tvHost"); }
    void setTvHost(const QString& host) { write("tvHost", host); }

    std::optional<QString> tvName() const { return string("tvName"); }
    void setTvName(const QString& name) { write("tvName", name); }

    std::optional<QString> mirrorMode() const { return string("mirrorMode"); }
    void setMirrorMode(const QString& mode) { write("mirrorMode", mode); }

    // The TV key as an earlier layout kept it, bytes or text.
    std::optional<QByteArray> legacyTvKey() const;
    void removeLegacyTvKey();

    QString filePath() const { return settings_.fileName(); }

private:
    std::optional<QString> string(const char* key) const;
    void write(const char* key, const QVariant& value);

    mutable QSettings settings_;
};

} // namespace telvanto::platform
