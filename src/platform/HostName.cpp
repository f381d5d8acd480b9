#include "platform/HostName.h"

#include <QFile>
#include <QStringList>
#include <QSysInfo>

namespace telvanto::platform {

namespace {

// machine-info holds a few short lines; anything beyond this is not read.
constexpr qint64 maxMachineInfoSize = 64 * 1024;

// One shell-style value: double quotes with backslash escapes, single quotes literal, or bare.
QString unquote(QStringView value)
{
    QString out;
    QChar quote;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (!quote.isNull() && c == quote) {
            quote = QChar();
        } else if (c == u'\\' && quote != u'\'' && i + 1 < value.size()) {
            out += value[++i];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString prettyHostName(const QString& machineInfo)
{
    QString name;
    for (const QString& line : machineInfo.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'#') || trimmed.startsWith(u';')) continue;
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals < 0 || QStringView(trimmed).left(equals).trimmed() != u"PRETTY_HOSTNAME") continue;
        name = unquote(QStringView(trimmed).mid(equals + 1).trimmed()).trimmed(); // the last one counts
    }
    return name;
}

QString deviceName(const QString& machineInfoPath)
{
    QFile file(machineInfoPath);
    if (file.open(QIODevice::ReadOnly)) {
        const QString pretty = prettyHostName(QString::fromUtf8(file.read(maxMachineInfoSize)));
        if (!pretty.isEmpty()) return pretty;
    }
    const QString host = QSysInfo::machineHostName().trimmed();
    return host.isEmpty() ? QStringLiteral("Linux") : host;
}

} // namespace telvanto::platform
