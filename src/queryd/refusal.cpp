#include "queryd/refusal.h"

#include "queryd/renderhtml.h"
#include "queryd/renderjson.h"

namespace queryd {

Response refusal(unsigned status, Format format, std::string_view heading, const std::string &sentence)
{
    if (format == Format::json)
        return {status, "application/json", refusalJson(sentence), {}};
    return {status, "text/html; charset=utf-8", messagePage(heading, sentence), {}};
}

}
