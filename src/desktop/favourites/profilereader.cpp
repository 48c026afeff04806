#include "favourites/profilereader.h"

#include "favourites/codepage1252.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QStringView trimmed(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QString decode(QByteArrayView bytes)
{
    const auto decodeAs = [&](QStringConverter::Encoding encoding) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(bytes));
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeAs(QStringConverter::Utf8);
    if (bytes.startsWith("\xFF\xFE"))
        return decodeAs(QStringConverter::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeAs(QStringConverter::Utf16BE);
    return CodePage1252::decode(bytes);
}

QString valueText(QStringView raw)
{
    const qsizetype nul = raw.indexOf(QChar(0));
    QStringView value = trimmed(nul < 0 ? raw : raw.first(nul));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    if (value.size() > ProfileReader::MaxValueLength) {
        value.truncate(ProfileReader::MaxValueLength);
        // Half a character is none.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value.toString();
}

bool sameName(QStringView a, QStringView b)
{
    // Case folding keeps the length, so most names differ by it alone.
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

}

ProfileReader ProfileReader::read(QByteArrayView fileText, const QList<ProfileKey> &wanted)
{
    ProfileReader reader;
    reader.m_keys = wanted;
    reader.m_values.resize(wanted.size());
    QList<bool> waiting(wanted.size(), false); // in the section being read, not found yet
    QList<bool> found(wanted.size(), false);
    qsizetype remaining = wanted.size();

    // Decoding drops the byte-order mark.
    const QString text = decode(fileText);
    const QStringView all(text);
    qsizetype nextCr = all.indexOf(u'\r');
    qsizetype nextLf = all.indexOf(u'\n');
    for (qsizetype at = 0; at <= all.size() && remaining > 0;) {
        if (nextCr >= 0 && nextCr < at)
            nextCr = all.indexOf(u'\r', at);
        if (nextLf >= 0 && nextLf < at)
            nextLf = all.indexOf(u'\n', at);
        const qsizetype end = std::min(nextCr < 0 ? all.size() : nextCr, nextLf < 0 ? all.size() : nextLf);
        const QStringView line = trimmed(all.sliced(at, end - at));
        // CR LF, LF and CR each end a line.
        at = end + (end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n' ? 2 : 1);

        if (line.startsWith(u'[')) {
            const qsizetype close = line.lastIndexOf(u']');
            if (close > 0) {
                const QStringView section = trimmed(line.sliced(1, close - 1));
                for (qsizetype i = 0; i < wanted.size(); ++i)
                    waiting[i] = !found[i] && !section.isEmpty() && sameName(section, QStringView(wanted[i].section).trimmed());
                continue;
            }
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = trimmed(line.first(equals));
        for (qsizetype i = 0; i < wanted.size(); ++i) {
            if (!waiting[i] || !sameName(key, QStringView(wanted[i].key).trimmed()))
                continue;
            reader.m_values[i] = valueText(line.sliced(equals + 1));
            found[i] = true;
            waiting[i] = false;
            --remaining;
        }
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
