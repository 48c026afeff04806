#include "fakeserver.h"

namespace fakeut3 {

class FakeServer::Session {};

Script sampleScript(const std::string &, const std::string &, int) { return {}; }
FakeServer::FakeServer(boost::asio::io_context &, Script, std::uint16_t) {}
FakeServer::~FakeServer() = default;
std::uint16_t FakeServer::port() const { return 0; }
boost::asio::ip::udp::endpoint FakeServer::endpoint() const { return {}; }
void FakeServer::setScript(Script) {}
Script FakeServer::script() const { return {}; }
int FakeServer::requestsSeen() const { return 0; }

}
