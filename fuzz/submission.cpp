// submission.cpp: the ranking server's request body ("NAME_SCORE") with its name rules.
#include <cstdint>
#include <string>

#include "check.h"
#include "submission.h"
#include "text/cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    Submission parsed;
    if (parseSubmission(body, parsed) != BodyError::none) return 0;
    // What is stored is 1 to 10 bytes of code page 932, without control characters.
    FUZZ_CHECK(!parsed.name.empty());
    FUZZ_CHECK(parsed.name.size() <= maxNameBytes);
    std::string readable;
    FUZZ_CHECK(cp932::decodeStrict(parsed.name, readable));
    for (char c : parsed.name) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    // The score is the number after the last underscore.
    FUZZ_CHECK(std::stoull(std::string(body.substr(body.rfind('_') + 1))) == parsed.score);
    // The stored name sent again is the same player with the same score.
    Submission again;
    FUZZ_CHECK(parseSubmission(parsed.name + "_" + std::to_string(parsed.score), again) == BodyError::none);
    FUZZ_CHECK(again.name == parsed.name);
    FUZZ_CHECK(again.score == parsed.score);
    // Its folded form, which refused names are matched in, is text again, and folding it changes
    // nothing more.
    std::string folded = foldedName(parsed.name), refolded;
    FUZZ_CHECK(!folded.empty() && cp932::encodeStrict(folded, refolded));
    FUZZ_CHECK(foldedName(refolded) == folded);
    return 0;
}
