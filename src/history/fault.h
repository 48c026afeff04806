#pragma once

#include "common/expected.h"

#include <string>

namespace history {

// What kind of trouble the history file is in; the caller keeps working in
// every case and shows the message.
enum class FaultKind {
    cannotOpen,   // the file or its folder cannot be made or opened
    locked,       // another process holds the file longer than we wait
    readOnly,     // the file or its folder may not be written
    corrupt,      // the file is not a database, or a damaged one
    diskFull,     // the disk, or the file's size limit, is full
    newerSchema,  // written by a newer version of the program
    other,
};

// Why an operation on the history file failed: the operation, the file and
// the system's reason, in one readable sentence.
struct Fault
{
    FaultKind kind = FaultKind::other;
    std::string message;
};

// A value, or the fault that stopped it from being made.
template <typename T>
using Expected = common::Expected<T, Fault>;
using common::Done;

}
