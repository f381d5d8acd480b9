#include "share/CommandLine.h"

#include <charconv>

namespace telvanto::share {

std::variant<CommandLine, CommandLine::UsageError> CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    bool options = true;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!options || argument == "-" || !argument.starts_with("-")) {
            line.items.push_back(argument);
        } else if (argument == "--") {
            options = false;
        } else if (argument == "--no-gui") {
            line.gui = false;
        } else if (argument == "--clipboard") {
            line.clipboard = true;
        } else if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "--remote-port" || argument.starts_with("--remote-port=")) {
            std::string value;
            if (argument == "--remote-port") {
                if (i + 1 == arguments.size()) return UsageError{"--remote-port needs a port number"};
                value = arguments[++i];
            } else {
                value = argument.substr(std::string_view("--remote-port=").size());
            }
            unsigned port = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (error != std::errc() || end != value.data() + value.size() || port == 0 || port > 65535)
                return UsageError{"not a port number: " + value};
            line.port = static_cast<quint16>(port);
        } else {
            return UsageError{"unknown option: " + argument};
        }
    }
    return line;
}

ExitStatus exitStatus(const ShareFlow& flow)
{
    switch (flow.state().kind) {
    case ShareFlow::State::Kind::sending:
        return ExitStatus::interrupted;
    case ShareFlow::State::Kind::done:
        return ExitStatus::sent;
    case ShareFlow::State::Kind::failed:
        break;
    }
    switch (flow.failure().value_or(ShareFlow::Failure::noLink)) {
    case ShareFlow::Failure::noLink:
        return ExitStatus::noLink;
    case ShareFlow::Failure::notPaired:
        return ExitStatus::notPaired;
    case ShareFlow::Failure::unreachable:
        return ExitStatus::unreachable;
    case ShareFlow::Failure::timeout:
        return ExitStatus::timeout;
    }
    return ExitStatus::noLink;
}

} // namespace telvanto::share
