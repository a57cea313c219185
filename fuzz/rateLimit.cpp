// rateLimit.cpp: the operator's PILARO_RANKING_RATE setting ("COUNT" or "COUNT/SECONDS").
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An environment value is a C string: it ends at its first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    RateLimit limit{7, 7};
    if (!parseRateLimit(text.c_str(), limit)) {
        FUZZ_CHECK(limit.count == 7);  // a refused setting leaves the limit as it was
        FUZZ_CHECK(limit.seconds == 7);
        return 0;
    }
    // Only "COUNT" or "COUNT/SECONDS" in decimal digits is a setting.
    const std::size_t slash = std::strspn(text.c_str(), "0123456789");
    FUZZ_CHECK(slash > 0);
    FUZZ_CHECK(text[slash] == '\0' || (text[slash] == '/' && std::strspn(&text[slash + 1], "0123456789") > 0 &&
                                         text[slash + 1 + std::strspn(&text[slash + 1], "0123456789")] == '\0'));
    FUZZ_CHECK(limit.count <= 1000000);
    FUZZ_CHECK(limit.seconds >= 1);
    FUZZ_CHECK(limit.seconds <= 86400);
    return 0;
}
