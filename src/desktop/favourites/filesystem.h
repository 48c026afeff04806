#pragma once

#include "common/expected.h"

#include <QFile>
#include <QString>

#include <optional>

// What the favourites need from the operating system's file calls, one
// implementation file per system family: the rules stay in the files that
// include this one.
namespace FileSystem {

// What stands at `path` when it is there but is no regular file (after
// following links): "a directory", "a named pipe", "a character device" ...
std::optional<QString> otherThanAFile(const QString &path);

// Whether the effective user may create files in `folder`, as the write
// itself will be decided.
bool folderWritable(const QString &folder);

enum class Opening { opened, missing };
// Opens the regular file at `path` into `file` for reading without ever
// waiting on it (a named pipe would wait for a writer); whatever is not a
// regular file once open, also one swapped in since it was looked at, fails
// with the system's reason.
common::Expected<Opening> openFileForReading(const QString &path, QFile &file);

}
