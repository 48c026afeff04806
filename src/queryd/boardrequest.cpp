#include "queryd/boardrequest.h"

#include "common/utf8.h"

namespace queryd {

namespace {

constexpr std::size_t maxTextCharacters = 64;

// The number of characters of valid UTF-8 text without control
// characters; none for anything else.
std::optional<std::size_t> plainCharacters(std::string_view text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const auto decoded = common::utf8At(text, i);
        if (!decoded || decoded->first < 0x20 || (decoded->first >= 0x7f && decoded->first < 0xa0))
            return std::nullopt;
        i += decoded->second;
    }
    return characters;
}

}

common::Expected<BoardRequest> parseBoardRequest(std::string_view query)
{
    BoardRequest request;
    bool seen[3] = {};
    for (const auto &[key, value] : decodeQuery(query)) {
        const int slot = key == "q" ? 0 : key == "players" ? 1 : key == "format" ? 2 : -1;
        if (slot < 0)
            return common::Fault{"The address carries an unknown value \"" + key + "\"; the board takes q, players and format."};
        if (seen[slot])
            return common::Fault{"The address carries " + key + " twice."};
        seen[slot] = true;
        if (slot == 0) {
            const auto characters = plainCharacters(value);
            if (!characters || *characters > maxTextCharacters)
                return common::Fault{"The q value must be at most " + std::to_string(maxTextCharacters)
                                     + " characters of text, without control characters."};
            request.filter.text = value;
        } else if (slot == 1) {
            if (value != "0" && value != "1")
                return common::Fault{"The players value must be 1 (servers with players) or 0."};
            request.filter.withPlayers = value == "1";
        } else {
            if (value != "json" && value != "html")
                return common::Fault{"The format must be 'json' or 'html'."};
            request.format = value == "json" ? Format::json : Format::html;
        }
    }
    return request;
}

}
