// rateLimit.cpp: the operator's PILARO_RANKING_RATE setting ("COUNT" or "COUNT/SECONDS").
#include <cstdint>
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
    FUZZ_CHECK(limit.count <= 1000000);
    FUZZ_CHECK(limit.seconds >= 1);
    FUZZ_CHECK(limit.seconds <= 86400);
    return 0;
}
