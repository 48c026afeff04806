#include "favourites/profilereader.h"

#include "favourites/codepage1252.h"

#include <QHash>
#include <QLatin1StringView>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
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

// Lines longer than this are not gathered whole when they are cut between
// pieces of the file: only what can still decide their outcome is kept.
constexpr std::size_t MaxGatheredLine = 64 * 1024;

}

class ProfileParser final
{
public:
    explicit ProfileParser(const QList<ProfileKey> &wanted)
        : m_values(wanted.size())
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
            if (isAscii(QStringView(key))) {
                const QByteArray lower = key.toLatin1().toLower();
                m_asciiKeys[lower].push_back(entry);
                if (!lower.isEmpty())
                    m_asciiFirstBytes[uchar(lower.front())] = true;
            } else {
                m_otherKeys.push_back(entry);
            }

            m_longestSection = std::max(m_longestSection, section.size());
            m_longestKey = std::max(m_longestKey, key.size());
        }
        m_keyLengths.resize(std::size_t(m_longestKey) + 1, false);
        for (const QString &key : m_keys)
            m_keyLengths[std::size_t(key.size())] = true;
    }

    // The next bytes of the file; atEnd when they are its last. False once
    // every key has been found.
    bool add(QByteArrayView text, bool atEnd)
    {
        if (m_remaining == 0)
            return false;
        if (!m_encodingKnown) {
            // The byte-order mark may come in pieces too.
            QByteArrayView rest = text;
            if (m_head.empty() && text.size() >= Utf8Bom.size()) {
                decideEncoding(text.first(Utf8Bom.size()));
                if (m_encoding == Encoding::Utf8)
                    rest = text.sliced(Utf8Bom.size());
            } else {
                while (m_head.size() < std::size_t(Utf8Bom.size()) && !rest.isEmpty()) {
                    m_head.push_back(rest.front());
                    rest = rest.sliced(1);
                }
                const QByteArrayView head(m_head.data(), qsizetype(m_head.size()));
                if (!atEnd && head.size() < Utf8Bom.size() && Utf8Bom.startsWith(head))
                    return true;
                decideEncoding(head);
                if (m_encoding == Encoding::CodePage1252)
                    scan(head, atEnd && rest.isEmpty());
                m_head.clear();
            }
            text = rest;
        }
        scan(text, atEnd);
        return m_remaining > 0;
    }

    QList<QString> takeValues() { return std::move(m_values); }

private:
    static constexpr std::size_t NoSection = std::size_t(-1);

    void decideEncoding(QByteArrayView head)
    {
        m_encoding = head == Utf8Bom ? Encoding::Utf8 : Encoding::CodePage1252;
        m_encodingKnown = true;
    }

    // CR LF, LF and CR each end a line.
    void scan(QByteArrayView text, bool atEnd)
    {
        const char *line = text.data();
        const char *const end = line + text.size();
        if (m_afterCr && line != end) {
            m_afterCr = false;
            if (*line == '\n')
                ++line;
        }
        const auto next = [end](char c, const char *from) {
            const void *hit = from == end ? nullptr : std::memchr(from, c, std::size_t(end - from));
            return hit ? static_cast<const char *>(hit) : end;
        };

        const char *nextCr = next('\r', line);
        const char *nextLf = next('\n', line);
        while (m_remaining > 0) {
            const char *lineEnd = std::min(nextCr, nextLf);
            if (lineEnd == end) {
                if (atEnd)
                    endLine(QByteArrayView(line, lineEnd));
                else
                    keepPart(QByteArrayView(line, lineEnd));
                break;
            }
            endLine(QByteArrayView(line, lineEnd));
            line = lineEnd + 1;
            if (*lineEnd == '\r') {
                if (line == end)
                    m_afterCr = true;
                else if (*line == '\n')
                    ++line;
            }
            if (nextCr < line)
                nextCr = next('\r', line);
            if (nextLf < line)
                nextLf = next('\n', line);
        }
    }

    // The part of a line that goes on in the next bytes.
    void keepPart(QByteArrayView part)
    {
        if (part.isEmpty())
            return;
        if (!m_longLine && m_gathered.size() + std::size_t(part.size()) > MaxGatheredLine)
            startLongLine();
        if (m_longLine)
            m_longLine->add(part);
        else
            m_gathered.append(part.data(), std::size_t(part.size()));
    }

    // The last part of a line, perhaps all of it.
    void endLine(QByteArrayView part)
    {
        if (!m_longLine && m_gathered.empty()) {
            takeLine(part);
            return;
        }
        keepPart(part);
        if (m_longLine) {
            takeLongLine(*m_longLine);
            m_longLine.reset();
        } else {
            takeLine(QByteArrayView(m_gathered.data(), qsizetype(m_gathered.size())));
            m_gathered.clear();
        }
    }

    void startLongLine()
    {
        m_longLine = std::make_unique<LongLine>(std::size_t(m_longestSection * MaxBytesPerUnit),
                                                std::size_t(m_longestKey * MaxBytesPerUnit), waitingHere());
        m_longLine->add(QByteArrayView(m_gathered.data(), qsizetype(m_gathered.size())));
        m_gathered.clear();
        m_gathered.shrink_to_fit();
    }

    bool waitingHere() const { return m_section != NoSection && m_waitingIn[m_section] > 0; }

    // What decides the outcome of a line too long to keep, gathered as its
    // bytes come: its name if it is a section line, and its key and value
    // cut to the lengths that can matter, with the lengths they really have.
    class LongLine final
    {
    public:
        LongLine(std::size_t maxName, std::size_t maxKey, bool keyLineMatters)
            : maxName(maxName)
            , maxKey(maxKey)
            , keyLineMatters(keyLineMatters)
        {
        }

        void add(QByteArrayView bytes)
        {
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                if (!started) {
                    if (isBlank(bytes[i]))
                        continue;
                    started = true;
                    sectionLine = bytes[i] == '[';
                    if (!sectionLine && !keyLineMatters)
                        return; // nothing on this line can matter
                    addToKey(bytes[i]);
                    continue;
                }
                if (!sectionLine) {
                    // A key line ends its say at its key or its value.
                    if (!keyLineMatters || valueDone || keyEnd > maxKey)
                        return;
                    if (valueFull) {
                        addToFullValue(bytes.sliced(i));
                        return;
                    }
                }
                const char c = bytes[i];
                if (sectionLine)
                    addToName(c);
                if (!equals)
                    addToKey(c);
                else if (!valueDone)
                    addToValue(c);
            }
        }

        const std::size_t maxName;
        const std::size_t maxKey;
        const bool keyLineMatters;
        static constexpr std::size_t MaxValue = std::size_t(MaxValueBytes) + 1;

        bool started = false;
        bool sectionLine = false; // first of its bytes but blanks is "["

        // After the "[": the bytes from the first that is not blank.
        std::string name;
        std::size_t nameBytes = 0;
        std::size_t nameEnd = 0; // just past its last byte that is not blank
        bool nameStarted = false;
        bool closed = false;
        std::size_t closedNameBytes = 0; // name before the last "]", trimmed

        std::string key;
        std::size_t keyBytes = 0;
        std::size_t keyEnd = 0;
        bool equals = false;

        // After the first "=", up to a NUL: from the first byte that is not blank.
        std::string value;
        std::size_t valueBytes = 0;
        std::size_t valueEnd = 0;
        char valueLast = 0; // its last byte that is not blank
        bool valueStarted = false;
        bool valueDone = false;
        bool valueFull = false;

    private:
        void addToName(char c)
        {
            if (!nameStarted && isBlank(c))
                return;
            nameStarted = true;
            if (c == ']') {
                closed = true;
                closedNameBytes = nameEnd;
            }
            if (name.size() < maxName)
                name.push_back(c);
            ++nameBytes;
            if (!isBlank(c))
                nameEnd = nameBytes;
        }

        void addToKey(char c)
        {
            if (c == '=') {
                equals = true;
                return;
            }
            if (key.size() < maxKey)
                key.push_back(c);
            ++keyBytes;
            if (!isBlank(c))
                keyEnd = keyBytes;
        }

        void addToValue(char c)
        {
            if (c == '\0') {
                valueDone = true;
                return;
            }
            if (!valueStarted && isBlank(c))
                return;
            valueStarted = true;
            if (value.size() < MaxValue)
                value.push_back(c);
            ++valueBytes;
            if (!isBlank(c)) {
                valueEnd = valueBytes;
                valueLast = c;
            }
            valueFull = value.size() == MaxValue;
        }

        // Past the bytes kept, only the value's length and last byte matter.
        void addToFullValue(QByteArrayView bytes)
        {
            const qsizetype nul = bytes.indexOf('\0');
            if (nul >= 0) {
                bytes = bytes.first(nul);
                valueDone = true;
            }
            qsizetype last = bytes.size();
            while (last > 0 && isBlank(bytes[last - 1]))
                --last;
            if (last > 0) {
                valueEnd = valueBytes + std::size_t(last);
                valueLast = bytes[last - 1];
            }
            valueBytes += std::size_t(bytes.size());
        }
    };

    void takeLongLine(LongLine &line)
    {
        if (!line.started)
            return;
        if (line.sectionLine && line.closed) {
            if (line.closedNameBytes > line.maxName)
                m_section = NoSection;
            else
                enterSection(QByteArrayView(line.name.data(), qsizetype(line.closedNameBytes)));
            return;
        }
        if (!waitingHere() || !line.equals || line.keyEnd > line.maxKey)
            return;
        // A value longer than what is kept reads as its kept bytes and its
        // last byte: the same quotation marks, and more than is ever taken.
        if (line.valueEnd > LongLine::MaxValue) {
            line.value.resize(LongLine::MaxValue);
            line.value.push_back(line.valueLast);
        } else {
            line.value.resize(line.valueEnd);
        }
        takeKeyValue(QByteArrayView(line.key.data(), qsizetype(line.keyEnd)),
                     QByteArrayView(line.value.data(), qsizetype(line.value.size())));
    }

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
        if (waitingHere())
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
        takeKeyValue(trimmed(line.first(equals)), line.sliced(equals + 1));
    }

    void takeKeyValue(QByteArrayView key, QByteArrayView rawValue)
    {
        if (!mayBeWantedKey(key.size()))
            return;
        const bool ascii = isAscii(key);

        if (ascii && m_asciiFirstBytes[uchar(asciiLower(key.front()))]) {
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

    QList<QString> m_values;
    // Each wanted entry has a key and the number of its section; sections
    // are kept once each.
    std::vector<QString> m_keys;
    std::vector<std::size_t> m_sectionOf;
    std::vector<QString> m_sections;
    std::vector<qsizetype> m_waitingIn; // per section, its entries not found yet
    QHash<QByteArray, std::vector<std::size_t>> m_asciiKeys; // by lower-case key
    std::vector<std::size_t> m_otherKeys; // entries whose key is not ASCII
    std::array<bool, 128> m_asciiFirstBytes{}; // first bytes of those keys, in lower case
    std::vector<bool> m_found;
    std::vector<bool> m_keyLengths; // in UTF-16 units, indexed by length
    qsizetype m_remaining = 0;
    qsizetype m_longestSection = 0;
    qsizetype m_longestKey = 0;
    std::size_t m_section = NoSection;
    Encoding m_encoding = Encoding::CodePage1252;
    bool m_encodingKnown = false;
    std::string m_head; // the first bytes, while they may be a byte-order mark
    bool m_afterCr = false; // the last bytes ended in a CR
    std::string m_gathered; // the start of a line cut between pieces
    std::unique_ptr<LongLine> m_longLine; // or, for a long line, what matters of it
};

ProfileReader ProfileReader::read(QByteArrayView fileText, const QList<ProfileKey> &wanted)
{
    ProfileStreamReader stream(wanted);
    stream.m_parser->add(fileText, true);
    return stream.finish();
}

ProfileStreamReader::ProfileStreamReader(const QList<ProfileKey> &wanted)
    : m_wanted(wanted)
    , m_parser(std::make_unique<ProfileParser>(wanted))
{
}

ProfileStreamReader::~ProfileStreamReader() = default;

bool ProfileStreamReader::add(QByteArrayView bytes)
{
    return m_parser && m_parser->add(bytes, false);
}

ProfileReader ProfileStreamReader::finish()
{
    ProfileReader reader;
    reader.m_keys = m_wanted;
    if (m_parser) {
        m_parser->add({}, true);
        reader.m_values = m_parser->takeValues();
        m_parser.reset();
    } else {
        reader.m_values.resize(m_wanted.size());
    }
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
