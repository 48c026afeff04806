#pragma once

#include "common/expected.h"

namespace history {

// The history reports its faults as every library does; the kinds tell what
// trouble the file or database is in, and the caller keeps working in every case.
using common::Done;
using common::Expected;
using common::Fault;
using common::FaultKind;

}
