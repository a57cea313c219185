// cp932Iconv.cpp: code page 932 <-> UTF-8 through glibc's iconv, for the shells and test doubles on Linux.
#include <cerrno>
#include <cstddef>
#include <string>

#include <iconv.h>

#include "platform/platform.h"

namespace {

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray or invalid byte, so that a
// refused sequence is always skipped by at least one byte.
std::size_t utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

// Converts `in` with `cd`, calling `onRefused` for every stretch iconv cannot take; it returns how
// many input bytes to skip and appends its own replacement to the output.
template <typename OnRefused>
std::string convert(iconv_t cd, const std::string& in, OnRefused onRefused)
{
    std::string out;
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    char buffer[256];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ (cannot be converted) or EINVAL (cut off at the end): replace and move on.
        std::size_t skip = onRefused(static_cast<unsigned char>(*inPtr), out);
        if (skip > inLeft) skip = inLeft;
        inPtr += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace

std::string utf8ToCp932(const std::string& utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string out = convert(cd, utf8, [](unsigned char lead, std::string& sink) {
        sink += '?';
        return utf8SequenceLength(lead);
    });
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return out;
}

std::string cp932ToUtf8(const std::string& cp932)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    std::string out = convert(cd, cp932, [](unsigned char, std::string& sink) {
        sink += "\xEF\xBF\xBD";
        return std::size_t{1};
    });
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return out;
}
