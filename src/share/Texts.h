#pragma once

#include <string_view>

// Sendora's own texts; the sender's failure texts live with LinkSender::Failure.
namespace telvanto::share::texts {

inline constexpr std::string_view noLink = "V zdieľanom obsahu nie je žiadny odkaz.";
inline constexpr std::string_view sending = "Posielam na TV…";
inline constexpr std::string_view done = "Beží na TV";
inline constexpr std::string_view close = "Zavrieť";

} // namespace telvanto::share::texts
