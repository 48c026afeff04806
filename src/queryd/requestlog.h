#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace queryd {

// One line per request: UTC time, client, method and target, status,
// duration. The target comes from the client: bytes outside printable
// ASCII are written as \xNN, and a long one is cut, so that a line stays
// one line of plain text.
std::string requestLogLine(std::chrono::system_clock::time_point when, std::string_view client,
                           std::string_view method, std::string_view target, unsigned status,
                           std::chrono::steady_clock::duration took);

// Writes the line to standard error in one write.
void logRequest(const std::string &line);

}
