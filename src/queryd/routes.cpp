#include "queryd/routes.h"

namespace queryd {

Routes &Routes::add(std::string_view path, Page page)
{
    return addWaiting(path, [page = std::move(page)](const Request &request, Reply reply) { reply(page(request)); });
}

Routes &Routes::addWaiting(std::string_view path, WaitingPage page)
{
    m_pages.emplace_back(path, std::move(page));
    return *this;
}

Routes &Routes::otherwise(Page page)
{
    m_otherwise = std::move(page);
    return *this;
}

void Routes::handle(std::string_view target, const boost::asio::ip::address &client, Reply reply) const
{
    const std::size_t question = target.find('?');
    const Request request{target.substr(0, question),
                          question == std::string_view::npos ? std::string_view() : target.substr(question + 1), client};
    for (const auto &[path, page] : m_pages)
        if (path == request.path)
            return page(request, std::move(reply));
    reply(m_otherwise(request));
}

}
