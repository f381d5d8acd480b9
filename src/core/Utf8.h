#pragma once

#include <cstddef>
#include <string_view>

namespace telvanto {

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Number of Unicode scalar values; invalid bytes count one each.
std::size_t countScalars(std::string_view text);

} // namespace telvanto
