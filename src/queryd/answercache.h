#pragma once

#include "queryd/statuscache.h"

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace queryd {

// An answer rendered from a server's result without the request's own part
// (what depends on the web port asked for), which goes at insertAt: one
// rendering serves every web port. A whole answer, its own part in, is kept
// the same way (insertAt then unused).
struct RenderedAnswer {
    std::string body;
    std::size_t insertAt = 0;
};

// Rendered answers by what was asked, kept to be served again while their
// result is the server's latest. Bounded in bytes, however many ways the
// requests are varied: the least recently used go first.
class AnswerCache final {
public:
    explicit AnswerCache(std::size_t maxBytes);

    // The answer kept under key if it was rendered from result, else null.
    std::shared_ptr<const RenderedAnswer> find(const std::string &key, const StatusCache::Result &result);
    // An answer larger than the whole bound is not kept.
    void add(const std::string &key, const StatusCache::Result &result, std::shared_ptr<const RenderedAnswer> answer);

    std::size_t bytes() const { return m_bytes; }

private:
    struct Entry {
        std::string key;
        // Not shared: a kept answer must not keep an old result alive.
        std::weak_ptr<const ut3::QueryResult> result;
        std::shared_ptr<const RenderedAnswer> answer;
        std::size_t bytes;
    };
    void remove(std::list<Entry>::iterator entry);

    std::size_t m_maxBytes;
    std::size_t m_bytes = 0;
    std::list<Entry> m_entries; // most recently used first
    std::unordered_map<std::string_view, std::list<Entry>::iterator> m_byKey; // views of the entries' own keys
};

}
