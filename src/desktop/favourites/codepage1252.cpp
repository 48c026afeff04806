#include "favourites/codepage1252.h"

#include "common/windows1252.h"

namespace CodePage1252 {

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(common::windows1252::toUnicode(uchar(byte)));
    return text;
}

std::optional<QByteArray> encode(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const std::optional<unsigned char> byte = common::windows1252::fromUnicode(c.unicode());
        if (!byte)
            return std::nullopt;
        bytes.append(char(*byte));
    }
    return bytes;
}

}
