#pragma once

#include <string_view>

namespace queryd {

// The paths the service answers; the desktop program asks for the first three.
inline constexpr std::string_view MainStatusPath = "/Zyr/Skirvane/skirvane.php";
inline constexpr std::string_view FavouritesStatusPath = "/Skirvane/skirvane.php";
inline constexpr std::string_view StartPagePath = "/Zyr/04query.html";
inline constexpr std::string_view SitePath = "/";
inline constexpr std::string_view PlayersPath = "/players";
inline constexpr std::string_view StylePath = "/assets/page.css";
inline constexpr std::string_view ScriptPath = "/assets/refresh.js";

// The paths that people running the service ask, not players.
inline constexpr std::string_view MetricsPath = "/metrics";
inline constexpr std::string_view LivenessPath = "/healthz";
inline constexpr std::string_view ReadinessPath = "/readyz";

}
