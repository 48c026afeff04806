#include "queryd/html.h"

#include "common/utf8.h"

namespace queryd {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

}

void appendEscaped(std::string &page, std::string_view text)
{
    page.reserve(page.size() + text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '&': page += "&amp;"; break;
            case '<': page += "&lt;"; break;
            case '>': page += "&gt;"; break;
            case '"': page += "&quot;"; break;
            case '\'': page += "&#39;"; break;
            case '\t':
            case '\n': page += static_cast<char>(c); break;
            default:
                if (c < 0x20 || c == 0x7F)
                    page += Replacement;
                else
                    page += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const auto decoded = common::utf8At(text, i);
        if (!decoded) {
            page += Replacement;
            ++i;
        } else {
            page.append(text.substr(i, decoded->second));
            i += decoded->second;
        }
    }
}

}
