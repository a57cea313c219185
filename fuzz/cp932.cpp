// cp932.cpp: the code page 932 conversions, strict and lenient, both ways.
#include <cstdint>
#include <string>

#include "check.h"
#include "text/cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A name the server accepts as code page 932 must be written back as the very same bytes, or
    // two different byte strings would show as one name.
    std::string utf8, back;
    if (cp932::decodeStrict(bytes, utf8)) {
        FUZZ_CHECK(cp932::encodeStrict(utf8, back));
        FUZZ_CHECK(back == bytes);
        FUZZ_CHECK(cp932::decode(bytes) == utf8);
    }
    // The same bytes read as UTF-8: whatever the strict encoder gives must read back strictly.
    if (cp932::encodeStrict(bytes, back)) {
        FUZZ_CHECK(cp932::decodeStrict(back, utf8));
        FUZZ_CHECK(cp932::encode(bytes) == back);
    }
    // The lenient forms take anything: what players see is well-formed UTF-8, what is sent is
    // code page 932 that reads back strictly.
    FUZZ_CHECK(isUtf8(cp932::decode(bytes)));
    FUZZ_CHECK(cp932::decodeStrict(cp932::encode(bytes), utf8));
    return 0;
}
