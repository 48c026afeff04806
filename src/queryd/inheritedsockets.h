#pragma once

#include "common/expected.h"

#include <vector>

namespace queryd {

// The listening sockets systemd hands over (socket activation): LISTEN_FDS
// descriptors from 3 on, meant for this process when LISTEN_PID is its id.
// The variables are removed so that no child takes them for its own. An
// empty list when nothing was handed over; a message when what was handed
// over cannot be used.
common::Expected<std::vector<int>> takeInheritedSockets();

}
