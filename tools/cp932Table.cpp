// cp932Table.cpp: the code page 932 tables compiled into src/text/cp932.cpp, read off glibc's own
// "CP932" converter here on the build machine, so that no program needs iconv at run time.
#include "resourceFiles.h"

#include <cstdio>
#include <iconv.h>
#include <string>
#include <vector>

namespace {

// Where glibc's choice would not read back as the character typed, the tables say otherwise.
// glibc sends U+00A5 (a yen sign typed half-width) as 0x5C, which every reader of code page 932
// takes for a backslash; the full-width yen at 81 8F keeps it a yen sign on the server. (Its other
// JIS-only forms, U+301C, U+2212, U+2014 and U+2016, it already sends as their Microsoft twins.)
struct Override {
    unsigned codePoint;
    unsigned bytes;
};
constexpr Override encodeOverrides[] = {{0x00A5, 0x818F}};

// One conversion through iconv; empty when it refuses.
std::string convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    char buffer[16];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    return ok ? std::string(buffer, static_cast<std::size_t>(outPtr - buffer)) : std::string();
}

// The one code point that `bytes` decode to, or none (0xFFFF, a noncharacter nothing maps to).
unsigned decodeOne(const std::string& bytes) {
    const std::string utf16 = convert("UTF-16BE", "CP932", bytes);
    if (utf16.size() != 2) return 0xFFFF;
    return static_cast<unsigned char>(utf16[0]) << 8 | static_cast<unsigned char>(utf16[1]);
}

// The code page 932 bytes of one BMP code point as a number (a lead byte in the high half), or 0.
unsigned encodeOne(unsigned codePoint) {
    for (const Override& o : encodeOverrides)
        if (o.codePoint == codePoint) return o.bytes;
    const char utf16[2] = {static_cast<char>(codePoint >> 8), static_cast<char>(codePoint & 0xFF)};
    const std::string bytes = convert("CP932", "UTF-16BE", std::string(utf16, 2));
    if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 2) return static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]);
    return 0;
}

void putArray(std::string& out, const char* declaration, const std::vector<unsigned>& values) {
    out += declaration;
    out += " = {";
    char number[8];
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::snprintf(number, sizeof number, "0x%04X", values[i]);
        out += i % 12 == 0 ? "\n   " : "";
        out += ' ';
        out += number;
        out += ',';
    }
    out += "\n};\n";
}

}  // namespace

Bytes makeCp932Table() {
    std::vector<unsigned> single, twoByte, encodedFrom, encodedTo;
    for (unsigned b = 0; b < 256; ++b) single.push_back(decodeOne(std::string(1, static_cast<char>(b))));
    for (unsigned lead = 0; lead < 256; ++lead) {
        if (!((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
            twoByte.push_back(decodeOne(std::string{static_cast<char>(lead), static_cast<char>(trail)}));
    }
    for (unsigned codePoint = 0; codePoint < 0x10000; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;  // surrogates are no characters
        const unsigned bytes = encodeOne(codePoint);
        if (bytes == 0 && codePoint != 0) continue;
        encodedFrom.push_back(codePoint);
        encodedTo.push_back(bytes);
    }
    std::string text =
        "// cp932.inc: code page 932 as glibc's \"CP932\" converter has it, written by tools/makeResources\n"
        "// (tools/cp932Table.cpp, which also says where it departs from glibc); do not edit by hand.\n"
        "// 0xFFFF stands for no character.\n";
    putArray(text, "// Single bytes to code points.\nconstexpr std::uint16_t singleByteCodePoints[256]", single);
    putArray(text,
             "// Lead bytes 81-9F and E0-FC, each with trail bytes 40-FC, to code points.\n"
             "constexpr std::uint16_t doubleByteCodePoints[60 * 189]",
             twoByte);
    putArray(text,
             "// The code points that have bytes, in ascending order.\nconstexpr std::uint16_t encodableCodePoints[]",
             encodedFrom);
    putArray(text, "// Their bytes, a lead byte in the high half.\nconstexpr std::uint16_t encodedBytes[]", encodedTo);
    return Bytes(text.begin(), text.end());
}
