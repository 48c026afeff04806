#pragma once

#include "common/expected.h"

#include <QByteArrayView>
#include <QString>

namespace FileWriter {

// Replaces the whole content of the regular file at `path` with `bytes`,
// creating the file when it does not exist. The new content goes to a
// temporary file "<name>.XXXXXX" in the same folder that then takes the
// file's place, so a failed write leaves the old file as it was; such
// temporary files left older than a minute by a save that was killed are
// removed. Anything but a regular file at `path` is left untouched and
// refused. The fault names the file and the reason.
common::Expected<common::Done> replaceFile(const QString &path, QByteArrayView bytes);

}
