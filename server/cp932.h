// cp932.h: the ranking's code page 932 checks and conversions (names arrive and are shown as CP932).
#pragma once

#include <string>
#include <string_view>

// True when every byte sequence of `bytes` is a character of code page 932: single bytes 0x20..0x7E
// and 0xA1..0xDF, or a lead byte 0x81..0x9F / 0xE0..0xFC followed by a trail byte 0x40..0x7E /
// 0x80..0xFC that the code page assigns. Control characters (0x00..0x1F, 0x7F) are refused
// separately by `hasControlCharacter`, so they count as valid here.
bool isValidCp932(std::string_view bytes);

// True when a single-byte control character (0x00..0x1F or 0x7F) stands anywhere in `bytes`. A trail
// byte is never below 0x40, so a byte in that range is always a character of its own.
bool hasControlCharacter(std::string_view bytes);

// Conversions through the C library's converter. `decodeCp932` turns what it cannot read into
// U+FFFD; `encodeCp932` fails (returns false) when a character has no code page 932 form.
std::string decodeCp932(std::string_view cp932);
bool encodeCp932(std::string_view utf8, std::string& cp932);
// For fixed texts of the program itself, which always convert.
std::string cp932Text(std::string_view utf8);
// The first byte of a double-byte character.
bool isCp932LeadByte(unsigned char b);
