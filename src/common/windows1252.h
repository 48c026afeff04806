#pragma once

#include <optional>

// Windows-1252, the 8-bit code page UT3 on Windows sends and the favourites
// file is written in. Bytes 0x00-0x7F and 0xA0-0xFF are Latin-1; 0x80-0x9F
// hold the typographic characters. The five bytes Windows leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control characters of the
// same number, as Windows converts them, so that every byte survives a round
// trip.
namespace common::windows1252 {

char16_t toUnicode(unsigned char byte);

// Nothing for a character the code page does not hold.
std::optional<unsigned char> fromUnicode(char32_t c);

}
