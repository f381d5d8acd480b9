#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <cstdint>

namespace telvanto::tvsim {

// One JSON object per line for every message the TV receives or sends, stamped with the
// monotonic clock in microseconds ("t"), which all processes on the machine share, so a
// client can measure its latency at the TV.
class EventLog {
public:
    // An empty path logs nowhere; "-" logs to standard output.
    explicit EventLog(const QString& path = {});

    void write(QJsonObject entry);
    static std::int64_t monotonicMicroseconds();

private:
    QFile file_;
};

} // namespace telvanto::tvsim
