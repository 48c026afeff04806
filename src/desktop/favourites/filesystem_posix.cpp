#include "favourites/filesystem.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSystem {

std::optional<QString> otherThanAFile(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return std::nullopt;
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(status.st_mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(status.st_mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(status.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something that is not a file");
}

bool folderWritable(const QString &folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0;
}

common::Expected<Opening> openFileForReading(const QString &path, QFile &file)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 && errno == ENOENT)
        return Opening::missing;
    if (descriptor < 0)
        return common::Fault{QString::fromLocal8Bit(std::strerror(errno)).toStdString()};
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return common::Fault{file.errorString().toStdString()};
    }
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return common::Fault{"it is not a file"};
    return Opening::opened;
}

}
