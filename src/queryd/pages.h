#pragma once

#include "queryd/history.h"
#include "queryd/recentservers.h"
#include "queryd/statusrequest.h"
#include "ut3/result.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// The paths the desktop program asks for.
inline constexpr std::string_view MainStatusPath = "/Zyr/Skirvane/skirvane.php";
inline constexpr std::string_view FavouritesStatusPath = "/Skirvane/skirvane.php";
inline constexpr std::string_view StartPagePath = "/Zyr/04query.html";
inline constexpr std::string_view SitePath = "/";
inline constexpr std::string_view StylePath = "/assets/page.css";
inline constexpr std::string_view ScriptPath = "/assets/refresh.js";

struct StatusPageSettings {
    std::chrono::seconds refresh;
    std::chrono::milliseconds queryTimeout;
};

// "203.0.113.9:6500", "[2001:db8::1]:6500".
std::string hostAndPort(std::string_view host, unsigned port);

// What happened to a query that got no usable answer, and what to check.
std::string problemSentence(const StatusRequest &request, const ut3::QueryResult &result,
                            std::chrono::milliseconds queryTimeout);

// A server's status page without the link to the server's statistics page,
// so that one page serves every web port: statisticsLink(request) goes at
// linkAt. history is null when no history store is kept; countHistory is the
// history store's own part (HTML), placed after the players.
struct StatusPage {
    std::string html;
    std::size_t linkAt = 0;
};
StatusPage statusPage(const StatusRequest &request, const ut3::QueryResult &result, const StatusPageSettings &settings,
                      const std::vector<SeenPlayer> *history, std::string_view countHistory = {});

// The link to the statistics page on the game server's web port; empty for web port 0.
std::string statisticsLink(const StatusRequest &request);

// A short page with a heading and one sentence: bad parameters, refusals,
// limits, unknown paths.
std::string messagePage(std::string_view heading, std::string_view sentence);

// summary, when given, adds HTML after each recent server's link.
std::string startPage(const RecentServers &recent,
                      const std::function<std::string(const RecentServer &)> &summary = {});
std::string sitePage();

}
