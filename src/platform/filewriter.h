#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Why a file could not be written: the file and the system's reason.
struct WriteFailure
{
    QString message;
};

namespace FileWriter {

// Replaces the whole content of the file at `path` with `bytes`, creating the
// file when it does not exist. The new content goes to a temporary file in the
// same folder that then takes the file's place, so a failed write leaves the
// old file as it was. Nothing when the file was written.
[[nodiscard]] std::optional<WriteFailure> replaceFile(const QString &path, QByteArrayView bytes);

}
