#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace queryd {

// An answer to a request as the service makes it; the session adds what
// HTTP itself needs and the headers every answer carries.
struct Response {
    unsigned status = 200;
    std::string_view contentType;
    std::string body;
    std::vector<std::pair<std::string_view, std::string>> headers; // beyond the ones every answer carries
};

// Called once with a request's answer, at once or when it is ready.
using Reply = std::function<void(Response)>;

}
