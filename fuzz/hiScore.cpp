// hiScore.cpp: the best-score file, whatever another program left in it, read as the C library's
// strtol reads a number (held to the signed 32-bit range); and a score written is read back as the
// same number.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"
#include "scores/scores.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::uint32_t score = 0;
    const bool found = parseHiScoreText(text, score);
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    FUZZ_CHECK(found == (end != text.c_str()));
    if (found) FUZZ_CHECK(static_cast<std::int32_t>(score) == std::clamp<long>(number, INT32_MIN, INT32_MAX));

    if (size >= sizeof score) {
        std::memcpy(&score, data, sizeof score);
        std::uint32_t read = ~score;
        FUZZ_CHECK(parseHiScoreText(hiScoreFileText(score), read));
        FUZZ_CHECK(read == score);
    }
    return 0;
}
