#include "favourites/profilereader.h"

#include "favourites/codepage1252.h"

#include <QHash>
#include <QLatin1StringView>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

enum class Encoding { CodePage1252, Utf8 };

constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF");

// A UTF-8 character takes at most three bytes per UTF-16 unit, so a name of
// more bytes than three times the longest wanted name cannot match.
constexpr qsizetype MaxBytesPerUnit = 3;
// Enough bytes of UTF-8 to give MaxValueLength units even when the cut falls
// inside a character.
constexpr qsizetype MaxValueBytes = ProfileReader::MaxValueLength * 4;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.sliced(from, to - from);
}

bool isAscii(QByteArrayView text)
{
    for (const char c : text) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QString decode(QByteArrayView bytes, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? QString::fromUtf8(bytes) : CodePage1252::decode(bytes);
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

class Parser final
{
public:
    Parser(const QList<ProfileKey> &wanted, QList<QString> &values)
        : m_values(values)
        , m_found(std::size_t(wanted.size()), false)
        , m_remaining(wanted.size())
    {
        for (const ProfileKey &k : wanted) {
            const QString section = k.section.trimmed();
            const QString key = k.key.trimmed();
            const std::size_t entry = m_keys.size();

            auto known = std::find_if(m_sections.begin(), m_sections.end(), [&](const QString &s) {
                return s.compare(section, Qt::CaseInsensitive) == 0;
            });
            if (known == m_sections.end()) {
                m_sections.push_back(section);
                m_waitingIn.push_back(0);
                known = m_sections.end() - 1;
            }
            const std::size_t sectionId = std::size_t(known - m_sections.begin());
            m_sectionOf.push_back(sectionId);
            ++m_waitingIn[sectionId];

            m_keys.push_back(key);
            if (isAscii(QStringView(key)))
                m_asciiKeys[key.toLatin1().toLower()].push_back(entry);
            else
                m_otherKeys.push_back(entry);

            m_longestSection = std::max(m_longestSection, section.size());
            m_longestKey = std::max(m_longestKey, key.size());
        }
        m_keyLengths.resize(std::size_t(m_longestKey) + 1, false);
        for (const QString &key : m_keys)
            m_keyLengths[std::size_t(key.size())] = true;
    }

    void parse(QByteArrayView text)
    {
        if (text.startsWith(Utf8Bom)) {
            m_encoding = Encoding::Utf8;
            text = text.sliced(Utf8Bom.size());
        }
        if (text.isEmpty())
            return;
        const char *const end = text.data() + text.size();
        const auto next = [end](char c, const char *from) {
            const void *hit = std::memchr(from, c, std::size_t(end - from));
            return hit ? static_cast<const char *>(hit) : end;
        };

        const char *line = text.data();
        const char *nextCr = next('\r', line);
        const char *nextLf = next('\n', line);
        while (m_remaining > 0) {
            const char *lineEnd = std::min(nextCr, nextLf);
            takeLine(QByteArrayView(line, lineEnd));
            if (lineEnd == end)
                break;
            line = lineEnd + 1;
            if (nextCr < line)
                nextCr = next('\r', line);
            if (nextLf < line)
                nextLf = next('\n', line);
        }
    }

private:
    static constexpr std::size_t NoSection = std::size_t(-1);

    void takeLine(QByteArrayView line)
    {
        line = trimmed(line);
        if (line.isEmpty())
            return;
        if (line.front() == '[') {
            const qsizetype close = line.lastIndexOf(']');
            if (close > 0) {
                enterSection(trimmed(line.sliced(1, close - 1)));
                return;
            }
        }
        if (m_section != NoSection && m_waitingIn[m_section] > 0)
            takeKeyLine(line);
    }

    void enterSection(QByteArrayView name)
    {
        m_section = NoSection;
        if (name.isEmpty() || name.size() > m_longestSection * MaxBytesPerUnit)
            return;
        const bool ascii = isAscii(name);
        for (std::size_t id = 0; id < m_sections.size(); ++id) {
            if (sameName(name, ascii, m_sections[id])) {
                m_section = id;
                return;
            }
        }
    }

    void takeKeyLine(QByteArrayView line)
    {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            return;
        const QByteArrayView key = trimmed(line.first(equals));
        if (!mayBeWantedKey(key.size()))
            return;
        const QByteArrayView rawValue = line.sliced(equals + 1);
        const bool ascii = isAscii(key);

        if (ascii) {
            QVarLengthArray<char, 64> lower(key.size());
            std::transform(key.begin(), key.end(), lower.begin(), asciiLower);
            const auto hit = m_asciiKeys.constFind(QByteArray::fromRawData(lower.data(), lower.size()));
            if (hit != m_asciiKeys.cend()) {
                for (const std::size_t entry : *hit)
                    takeIfWaiting(entry, rawValue);
            }
        }

        // The rest is compared as text. No character of Windows-1252 outside
        // ASCII folds to an ASCII one, so then only wanted keys outside ASCII
        // can match.
        const bool othersOnly = ascii || m_encoding == Encoding::CodePage1252;
        if (othersOnly && m_otherKeys.empty())
            return;
        const QString text = decode(key, m_encoding);
        const auto compareWith = [&](std::size_t entry) {
            if (text.compare(m_keys[entry], Qt::CaseInsensitive) == 0)
                takeIfWaiting(entry, rawValue);
        };
        if (othersOnly) {
            std::for_each(m_otherKeys.begin(), m_otherKeys.end(), compareWith);
        } else {
            for (std::size_t entry = 0; entry < m_keys.size(); ++entry)
                compareWith(entry);
        }
    }

    void takeIfWaiting(std::size_t entry, QByteArrayView rawValue)
    {
        if (m_sectionOf[entry] != m_section || m_found[entry])
            return;
        m_values[qsizetype(entry)] = valueText(rawValue);
        m_found[entry] = true;
        --m_waitingIn[m_section];
        --m_remaining;
    }

    // Windows-1252 has one byte per character and none that a wanted name
    // could fold to in another length, so most key lines are passed over
    // by their length alone.
    bool mayBeWantedKey(qsizetype bytes) const
    {
        if (bytes == 0)
            return false;
        if (m_encoding == Encoding::Utf8)
            return bytes <= m_longestKey * MaxBytesPerUnit;
        return bytes <= m_longestKey && m_keyLengths[std::size_t(bytes)];
    }

    bool sameName(QByteArrayView candidate, bool candidateIsAscii, const QString &wanted) const
    {
        if (candidateIsAscii && isAscii(QStringView(wanted)))
            return candidate.size() == wanted.size()
                && QLatin1StringView(candidate).compare(wanted, Qt::CaseInsensitive) == 0;
        return decode(candidate, m_encoding).compare(wanted, Qt::CaseInsensitive) == 0;
    }

    QString valueText(QByteArrayView raw) const
    {
        const qsizetype nul = raw.indexOf('\0');
        QByteArrayView value = trimmed(nul < 0 ? raw : raw.first(nul));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.sliced(1, value.size() - 2);

        if (m_encoding == Encoding::CodePage1252)
            return CodePage1252::decode(value.first(std::min(value.size(), ProfileReader::MaxValueLength)));

        QString text = QString::fromUtf8(value.first(std::min(value.size(), MaxValueBytes)));
        if (text.size() > ProfileReader::MaxValueLength) {
            text.truncate(ProfileReader::MaxValueLength);
            if (text.back().isHighSurrogate())
                text.chop(1);
        }
        return text;
    }

    QList<QString> &m_values;
    // Each wanted entry has a key and the number of its section; sections
    // are kept once each.
    std::vector<QString> m_keys;
    std::vector<std::size_t> m_sectionOf;
    std::vector<QString> m_sections;
    std::vector<qsizetype> m_waitingIn; // per section, its entries not found yet
    QHash<QByteArray, std::vector<std::size_t>> m_asciiKeys; // by lower-case key
    std::vector<std::size_t> m_otherKeys; // entries whose key is not ASCII
    std::vector<bool> m_found;
    std::vector<bool> m_keyLengths; // in UTF-16 units, indexed by length
    qsizetype m_remaining = 0;
    qsizetype m_longestSection = 0;
    qsizetype m_longestKey = 0;
    std::size_t m_section = NoSection;
    Encoding m_encoding = Encoding::CodePage1252;
};

}

ProfileReader ProfileReader::read(QByteArrayView fileText, const QList<ProfileKey> &wanted)
{
    ProfileReader reader;
    reader.m_keys = wanted;
    reader.m_values.resize(wanted.size());
    Parser(wanted, reader.m_values).parse(fileText);
    return reader;
}

QString ProfileReader::value(QStringView section, QStringView key) const
{
    section = section.trimmed();
    key = key.trimmed();
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (QStringView(m_keys[i].key).trimmed().compare(key, Qt::CaseInsensitive) == 0
            && QStringView(m_keys[i].section).trimmed().compare(section, Qt::CaseInsensitive) == 0)
            return m_values[i];
    }
    return {};
}
