#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

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
// - a value keeps at most MaxValueLength characters and ends at a NUL;
// - the first occurrence of a key wins, also across repeated sections;
// - lines may end in CR LF, LF or CR; lines before the first section, lines
//   without "=" and other sections are passed over;
// - the text is Windows-1252, or UTF-8 or UTF-16 (either byte order) when it
//   starts with that encoding's byte-order mark.
// A missing section or key, and an empty value, all give empty text.
class ProfileReader final
{
public:
    static constexpr qsizetype MaxValueLength = 254;

    ProfileReader() = default;

    // Any bytes are accepted. Only the keys asked for are kept.
    static ProfileReader read(QByteArrayView fileText, const QList<ProfileKey> &wanted);

    // Empty text also for a key that was not among those read.
    QString value(QStringView section, QStringView key) const;

private:
    QList<ProfileKey> m_keys;
    QList<QString> m_values;
};
