// cp932.cpp: code page 932 checks, and conversions through iconv ("CP932" is Microsoft's variant).
#include "cp932.h"

#include <cerrno>
#include <iconv.h>

namespace {

bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
bool isSingleByte(unsigned char b) { return b <= 0x7F || (b >= 0xA1 && b <= 0xDF); }

// Runs one iconv conversion; with `replace` an unreadable sequence becomes `replacement` and the
// conversion goes on one byte later, otherwise it stops and fails.
bool convert(bool intoUtf8, std::string_view in, std::string& out, bool replace,
             std::string_view replacement) {
    // A converter is opened once per direction and kept: opening one costs more than a whole
    // submission. Each process of the server is single-threaded.
    static iconv_t toUtf8 = iconv_open("UTF-8", "CP932");
    static iconv_t fromUtf8 = iconv_open("CP932", "UTF-8");
    iconv_t cd = intoUtf8 ? toUtf8 : fromUtf8;
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[256];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (!replace) {
            ok = false;
            break;
        }
        out.append(replacement);
        ++src;
        --srcLeft;
    }
    return ok;
}

}  // namespace

bool isValidCp932(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (isSingleByte(b)) continue;
        if (!isCp932LeadByte(b) || i + 1 >= bytes.size() || !isTrailByte(static_cast<unsigned char>(bytes[i + 1])))
            return false;
        ++i;
    }
    // The structure is right; the converter knows which double-byte codes are assigned.
    std::string unused;
    return convert(true, bytes, unused, false, {});
}

bool hasControlCharacter(std::string_view bytes) {
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

std::string decodeCp932(std::string_view cp932) {
    std::string out;
    convert(true, cp932, out, true, "\xEF\xBF\xBD");
    return out;
}

bool encodeCp932(std::string_view utf8, std::string& cp932) {
    return convert(false, utf8, cp932, false, {});
}

std::string cp932Text(std::string_view utf8) {
    std::string out;
    convert(false, utf8, out, true, "?");
    return out;
}

bool isCp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
