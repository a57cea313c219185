// cp932.h: UTF-8 <-> code page 932 (Shift JIS as Windows has it), from tables compiled in, so it
// gives the same bytes on every platform and needs no converter of the system's.
//
// The shells reach it through platform.h (the core never calls it directly); the ranking server
// calls it itself. Its one departure from glibc's "CP932": a half-width yen sign (U+00A5) is sent
// as the full-width one (81 8F), where glibc would send a backslash (0x5C). Characters that plain
// Shift JIS and Windows write differently (U+301C and U+FF5E, U+2212 and U+FF0D, U+2014 and
// U+2015, U+2016 and U+2225) are all accepted, each pair giving the one Windows form.
#pragma once

#include <string>
#include <string_view>

namespace cp932 {

// The first byte of a double-byte character (its second byte is 0x40..0xFC).
constexpr bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Lenient, for what players type and see: a character code page 932 cannot hold, or a broken
// UTF-8 sequence, becomes "?"; bytes that are no code page 932 character become U+FFFD.
std::string encode(std::string_view utf8);
std::string decode(std::string_view bytes);

// Strict, for what a server stores: false (and `out` unspecified) at the first character that
// cannot be converted or the first sequence that is not valid. Decoding also refuses the second
// form of a character that code page 932 holds twice, so what it reads encodes back to the same
// bytes.
bool encodeStrict(std::string_view utf8, std::string& out);
bool decodeStrict(std::string_view bytes, std::string& out);

}  // namespace cp932
