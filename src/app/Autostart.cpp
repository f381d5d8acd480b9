#include "app/Autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace telvanto::app {

namespace {

// Larger is not an autostart entry anyone meant; its state is "off".
constexpr qint64 maxEntrySize = 64 * 1024;

} // namespace

QString Autostart::defaultDirectory()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("autostart"));
}

Autostart::Autostart(QString directory, QString program) : directory_(std::move(directory)), program_(std::move(program)) {}

QString Autostart::filePath() const { return QDir(directory_).filePath(QLatin1String(fileName)); }

bool Autostart::isEnabled() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxEntrySize) return false;
    return entryEnabled(QString::fromUtf8(file.readAll()));
}

void Autostart::setEnabled(bool enabled)
{
    if (!enabled) {
        QFile::remove(filePath());
        return;
    }
    if (!QDir().mkpath(directory_)) return;
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(entry().toUtf8());
    file.commit();
}

QString Autostart::entry() const
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Telvanto\n"
                          "Exec=%1\n"
                          "Icon=telvanto\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(program_));
}

QString Autostart::execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (QChar c : argument) quote = quote || reserved.contains(c);
    QString out;
    if (quote) out += QLatin1Char('"');
    for (QChar c : argument) {
        // Inside quotes these four take a backslash; the value's own escaping then doubles
        // every backslash.
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))) {
            out += QStringLiteral("\\\\");
        }
        if (c == QLatin1Char('\\')) out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n')) out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t')) out += QStringLiteral("\\t");
        else if (c == QLatin1Char('%')) out += QStringLiteral("%%"); // not a field code
        else out += c;
    }
    if (quote) out += QLatin1Char('"');
    return out;
}

bool Autostart::entryEnabled(const QString& text)
{
    bool inEntry = false;
    bool hasEntry = false; // a desktop starts nothing from a file without the group
    bool enabled = true;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            hasEntry = hasEntry || inEntry;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inEntry || equals < 0) continue;
        const QStringView key = line.left(equals).trimmed();
        const QStringView value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true")) enabled = false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")) enabled = false;
    }
    return hasEntry && enabled;
}

} // namespace telvanto::app
