#include "EventLog.h"

#include <QJsonDocument>

#include <ctime>
#include <unistd.h>

namespace telvanto::tvsim {

EventLog::EventLog(const QString& path)
{
    if (path.isEmpty()) return;
    if (path == QLatin1String("-")) {
        file_.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered); // not through stdio buffers
    } else {
        file_.setFileName(path);
        file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
}

std::int64_t EventLog::monotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

void EventLog::write(QJsonObject entry)
{
    if (!file_.isOpen()) return;
    entry.insert(QStringLiteral("t"), static_cast<qint64>(monotonicMicroseconds()));
    file_.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace telvanto::tvsim
