#include "ut3/result.h"

namespace ut3 {

std::string_view stateName(QueryState state)
{
    switch (state) {
    case QueryState::online: return "online";
    case QueryState::timeout: return "timeout";
    case QueryState::refused: return "refused";
    case QueryState::malformed: return "malformed";
    case QueryState::invalid: return "invalid";
    }
    return "invalid";
}

}
