#pragma once

#include "favourites/profilereader.h"

#include <QList>
#include <QString>
#include <QStringView>

// A profile (INI) file read from disk once; lookups then go to what was read.
// Reading never fails: a missing or unreadable file, a folder or anything
// else that is not a regular file reads as a file without sections.
class ProfileFile final
{
public:
    ProfileFile() = default;

    static ProfileFile load(const QString &path, const QList<ProfileKey> &wanted);

    QString value(QStringView section, QStringView key) const { return m_reader.value(section, key); }
    const ProfileReader &reader() const { return m_reader; }

private:
    explicit ProfileFile(ProfileReader reader)
        : m_reader(std::move(reader))
    {
    }

    ProfileReader m_reader;
};
