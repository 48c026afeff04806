#include "ut3/client.h"

namespace ut3 {

class Client::Engine {};

Client::Client(boost::asio::io_context &, ClientOptions) : m_engine(std::make_shared<Engine>()) {}
Client::~Client() = default;
void Client::query(QueryTarget, std::function<void(QueryResult)>) {}
void Client::query(boost::asio::ip::udp::endpoint, std::function<void(QueryResult)>) {}

}
