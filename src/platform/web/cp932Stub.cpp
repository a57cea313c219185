// cp932Stub.cpp: STUB until the shared code page 932 table lands: only ASCII is converted, every
// other character becomes "?" (one byte), so the name's byte count is wrong for Japanese names.
#include "platform/platform.h"

std::string utf8ToCp932(const std::string& utf8) {
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c >= 0xC0) {
            bytes += '?';
        }
    }
    return bytes;
}
