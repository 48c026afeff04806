#pragma once

#include "queryd/history.h"
#include "queryd/paths.h"
#include "queryd/recentservers.h"
#include "queryd/statusrequest.h"
#include "ut3/result.h"

#include "history/players.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// The service's pages as HTML, made from plain data. Every string from a
// game server or a request goes through appendEscaped (html.h).

struct StatusPageSettings {
    std::chrono::seconds refresh;
    std::chrono::milliseconds queryTimeout;
};

// What happened to a query that got no usable answer, and what to check.
std::string problemSentence(const StatusRequest &request, const ut3::QueryResult &result,
                            std::chrono::milliseconds queryTimeout);

// A server's status page without the link to the server's statistics page,
// so that one page serves every web port: statisticsLink(request) goes at
// linkAt. historySection (renderhistory.h) goes after the players.
struct StatusPage {
    std::string html;
    std::size_t linkAt = 0;
};
StatusPage statusPage(const StatusRequest &request, const ut3::QueryResult &result, const StatusPageSettings &settings,
                      std::string_view historySection = {});

// The link to the statistics page on the game server's web port; empty for web port 0.
std::string statisticsLink(const StatusRequest &request);

// A short page with a heading and one sentence: bad parameters, refusals,
// limits, unknown paths.
std::string messagePage(std::string_view heading, std::string_view sentence);

// A server the start page lists, with its last day when the history has
// it: its players now and a sparkline go after its link.
struct RecentEntry {
    RecentServer server;
    std::optional<history::Series> day;
};
// The player search form is there when names can be searched.
std::string startPage(const std::vector<RecentEntry> &recent, bool playerSearch = false);
// The answer to a player search for `text`.
std::string playerSearchPage(std::string_view text, const std::vector<history::PlayerMatch> &matches);
// A status page's address for a server, with its web port.
std::string statusLink(std::string_view address, unsigned queryPort, unsigned webPort);
std::string sitePage();

}
