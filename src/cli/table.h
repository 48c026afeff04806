#pragma once

#include "ut3/result.h"

#include <string>

namespace cli {

// The readable listing of the servers that answered: a header, then one
// row each (name, map, mode, players/max, ping), and with `verbose` their
// players, teams and rules below it.
std::string tableHeader();
std::string tableRow(const ut3::QueryResult &result, bool verbose);

// The one line naming a server that did not answer and why.
std::string failureLine(const ut3::QueryResult &result);

}
