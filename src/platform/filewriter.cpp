#include "platform/filewriter.h"

#include <QDir>
#include <QSaveFile>

namespace {

WriteFailure failure(const QString &path, const QString &reason)
{
    return {QStringLiteral("Cannot save the file %1: %2").arg(QDir::toNativeSeparators(path), reason)};
}

}

namespace FileWriter {

std::optional<WriteFailure> replaceFile(const QString &path, QByteArrayView bytes)
{
    // Unbuffered, each write reaches the system at once: commit() does not
    // notice when the last buffered bytes cannot be written (disk full), and
    // a write cut short is only explained by the next one, which fails.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(path, file.errorString());
    for (qsizetype written = 0; written < bytes.size();) {
        const qint64 count = file.write(bytes.data() + written, bytes.size() - written);
        if (count <= 0) {
            const WriteFailure failed = failure(path, file.errorString());
            file.cancelWriting();
            return failed;
        }
        written += count;
    }
    if (!file.commit())
        return failure(path, file.errorString());
    return std::nullopt;
}

}
