#pragma once

#include <string>
#include <string_view>

namespace telvanto::linksender {

// Where the share program's info lines go: the system log when it runs, a list in tests.
class Log {
public:
    virtual ~Log() = default;
    virtual void info(std::string_view line) = 0;
};

// syslog (journald picks it up) under the identifier "com.korbith.telvanto"; syslog has no
// categories, so the category leads each line: "[share] send to …".
class SystemLog final : public Log {
public:
    static constexpr const char* identifier = "com.korbith.telvanto";

    explicit SystemLog(std::string category);
    ~SystemLog() override;
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

    void info(std::string_view line) override;

private:
    std::string prefix_;
};

} // namespace telvanto::linksender
