#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <memory>

struct ProfileKey
{
    QString section;
    QString key;
};

// Values of a profile (INI) file, found by the Windows profile-file rules:
// - section and key names match without regard to letter case;
// - a key line's key is the text before its first "=", the value the rest,
//   both without surrounding blanks; one enclosing pair of matching single or
//   double quotation marks is dropped from the value;
// - a value keeps at most MaxValueLength characters and ends at a NUL byte;
// - the first occurrence of a key wins, also across repeated sections;
// - lines may end in CR LF, LF or CR; lines before the first section, lines
//   without "=" and other sections are passed over;
// - the text is Windows-1252, or UTF-8 when it starts with a UTF-8 byte-order mark.
// A missing file, section or key, and an empty value, all give empty text.
//
// Only the keys asked for are kept, so a huge file costs one pass over its
// bytes, up to the last key found, and no more memory than those values.
class ProfileParser;

class ProfileReader final
{
public:
    static constexpr qsizetype MaxValueLength = 254;

    ProfileReader() = default;

    // Any bytes are accepted.
    static ProfileReader read(QByteArrayView fileText, const QList<ProfileKey> &wanted);

    // Empty text also for a key that was not among those read.
    QString value(QStringView section, QStringView key) const;

private:
    friend class ProfileStreamReader;

    QList<ProfileKey> m_keys;
    QList<QString> m_values;
};

// The same reading, for a file given in pieces as they come from the disk:
// a line may be cut anywhere, also between the CR and LF of its line break.
// Memory stays bounded whatever the file or its lines.
class ProfileStreamReader final
{
public:
    explicit ProfileStreamReader(const QList<ProfileKey> &wanted);
    ~ProfileStreamReader();
    ProfileStreamReader(const ProfileStreamReader &) = delete;
    ProfileStreamReader &operator=(const ProfileStreamReader &) = delete;

    // Takes the next bytes of the file. False once every key asked for has
    // been found: the bytes after that change nothing.
    bool add(QByteArrayView bytes);

    // After the last bytes: the values found. Ends the reading.
    ProfileReader finish();

private:
    friend class ProfileReader;

    QList<ProfileKey> m_wanted;
    std::unique_ptr<ProfileParser> m_parser;
};
