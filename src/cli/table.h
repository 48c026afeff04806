#pragma once

#include "ut3/result.h"

#include <string>
#include <vector>

namespace cli {

// The readable listing of the servers that answered: one row each (name,
// map, mode, players/max, ping), and with `verbose` their players, teams
// and rules below it.
std::string table(const std::vector<ut3::QueryResult> &results, bool verbose);

// The one line naming a server that did not answer and why.
std::string failureLine(const ut3::QueryResult &result);

}
