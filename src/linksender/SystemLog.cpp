#include "linksender/Log.h"

#include <syslog.h>

namespace telvanto::linksender {

SystemLog::SystemLog(std::string category) : prefix_("[" + std::move(category) + "] ")
{
    ::openlog(identifier, LOG_PID, LOG_USER);
}

SystemLog::~SystemLog() { ::closelog(); }

void SystemLog::info(std::string_view line)
{
    const std::string message = prefix_ + std::string(line);
    ::syslog(LOG_INFO, "%s", message.c_str());
}

} // namespace telvanto::linksender
