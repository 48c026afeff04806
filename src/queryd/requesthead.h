#pragma once

#include "queryd/options.h"
#include "queryd/verdict.h"

#include <boost/beast/http/fields.hpp>
#include <boost/beast/http/message.hpp>

#include <string>

namespace queryd {

// Why a request is answered without being served; the connection closes after.
struct HeadRefusal {
    unsigned status;
    std::string sentence;
};

// Checks what a request's head says beyond its method and target:
// - framing: no request here has a body, so a Transfer-Encoding (whatever
//   its codings) is refused, since where its body ends, and so where the
//   next request begins, is not known (RFC 9112 6.3);
// - Host: one, well formed, on every HTTP/1.1 request (RFC 9112 3.2); and
//   naming this service as an address, localhost or an --allow-host name,
//   so that a web page whose own name resolves to this machine cannot drive
//   it. A public service without --allow-host names answers any Host.
Verdict<HeadRefusal> judgeHead(const boost::beast::http::request_header<> &head, const ServiceOptions &options);

}
