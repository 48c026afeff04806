#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Windows-1252, the 8-bit code page of the favourites file, for reading and
// for writing, so that a file written on a Western Windows system reads back
// unchanged. Bytes 0x00-0x7F and 0xA0-0xFF are Latin-1; 0x80-0x9F hold the
// typographic characters. The five bytes Windows leaves unassigned (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, as Windows converts them, so that every byte survives a round trip.
namespace CodePage1252 {

QString decode(QByteArrayView bytes);

// Nothing when a character of the text is not in the code page.
std::optional<QByteArray> encode(QStringView text);

}
