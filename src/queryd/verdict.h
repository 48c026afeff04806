#pragma once

#include <variant>

namespace queryd {

// What a policy decided about a connection, a request or an address: let
// through, or turned away with a refusal of its own named type.
struct Admitted {};

template <typename Refusal>
using Verdict = std::variant<Admitted, Refusal>;

}
