// rankingReply.cpp: the game's reading of a ranking server's reply (any server its address names
// may answer, with up to 1024 bytes): the text its done box would show. The same bytes also make a
// reply as our server writes it, which the game must show as the text the server meant.
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "check.h"
#include "scores/scores.h"
#include "submission.h"
#include "text/cp932.h"
#include "texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string shown = rankingReplyText(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(isUtf8(shown));
    FUZZ_CHECK(shown.find('<') == std::string::npos);

    FuzzedDataProvider in(data, size);
    SubmitResult result;
    result.place = in.ConsumeIntegral<std::uint32_t>();
    result.improved = in.ConsumeBool();
    result.bestScore = in.ConsumeIntegral<std::uint32_t>();
    std::string meant = "あなたは" + std::to_string(result.place) + "位です\n";
    if (!result.improved) meant += "(これまでの最高 " + std::to_string(result.bestScore) + ")\n";
    std::vector<RankingEntry> topTen;
    while (topTen.size() < 10 && in.remaining_bytes() > 0) {
        Submission entry;
        if (parseSubmission(in.ConsumeRandomLengthString(24), entry) != BodyError::none) continue;
        const auto place = static_cast<std::uint32_t>(topTen.size() + 1);
        topTen.push_back({place, entry.name, entry.score});
        std::string name = cp932::decode(entry.name);
        for (std::size_t at; (at = name.find('<')) != std::string::npos;) name.replace(at, 1, "＜");
        meant += std::to_string(place) + "位 " + name + " " + std::to_string(entry.score) + "\n";
    }
    meant += rankingDoneSuffix;
    FUZZ_CHECK(rankingReplyText(gameReply(result, topTen, in.ConsumeRemainingBytesAsString())) == meant);
    return 0;
}
