#include "queryd/answercache.h"

namespace queryd {

namespace {

// What an entry costs beyond its key and body: list and map nodes, the
// answer's control block.
constexpr std::size_t EntryOverhead = 256;

}

AnswerCache::AnswerCache(std::size_t maxBytes)
    : m_maxBytes(maxBytes)
{
}

std::shared_ptr<const RenderedAnswer> AnswerCache::find(const std::string &key, const StatusCache::Result &result)
{
    const auto found = m_byKey.find(key);
    if (found == m_byKey.end())
        return nullptr;
    const auto entry = found->second;
    if (entry->result.lock() != result)
        return nullptr;
    m_entries.splice(m_entries.begin(), m_entries, entry);
    return entry->answer;
}

void AnswerCache::add(const std::string &key, const StatusCache::Result &result,
                      std::shared_ptr<const RenderedAnswer> answer)
{
    if (const auto found = m_byKey.find(key); found != m_byKey.end())
        remove(found->second);
    const std::size_t bytes = key.size() + answer->body.size() + EntryOverhead;
    if (bytes > m_maxBytes)
        return;
    m_entries.push_front({key, result, std::move(answer), bytes});
    m_byKey.emplace(m_entries.front().key, m_entries.begin());
    m_bytes += bytes;
    while (m_bytes > m_maxBytes)
        remove(std::prev(m_entries.end()));
}

void AnswerCache::remove(std::list<Entry>::iterator entry)
{
    m_bytes -= entry->bytes;
    m_byKey.erase(entry->key);
    m_entries.erase(entry);
}

}
