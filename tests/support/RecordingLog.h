#pragma once

#include "linksender/Log.h"

#include <string>
#include <vector>

namespace telvanto::testing {

// Keeps the log lines so tests can read them.
struct RecordingLog final : linksender::Log { void info(std::string_view line) override { lines.emplace_back(line); } std::vector<std::string> lines; };

} // namespace telvanto::testing
