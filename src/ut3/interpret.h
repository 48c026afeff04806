#pragma once

#include "ut3/reply.h"
#include "ut3/status.h"

namespace ut3 {

// Gives a reply's raw keys and lists UT3's meanings, decoding every string
// (text.h) on the way.
ServerStatus interpret(const RawReply &reply, bool complete);

}
