// replayCheck.cpp: reading a replay request and playing its recording again with the rules.
#include "replayCheck.h"

#include "game/replay.h"

#include <openssl/evp.h>

namespace {

constexpr std::size_t recordingHeaderBytes = 18;

}  // namespace

ReplayVerdict checkRecording(std::string_view recording, std::uint32_t score, std::uint64_t* ticksOut) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(recording.data());
    // Count first, without the rules: a recording beyond the bounds costs a pass over its bytes.
    std::uint64_t ticks = 0, keyDowns = 0;
    if (recording.size() < recordingHeaderBytes) return ReplayVerdict::notRecording;
    for (std::size_t at = recordingHeaderBytes; at < recording.size(); ++at) {
        ticks += bytes[at] >> 4;
        if ((bytes[at] & 15) < keyCount) ++keyDowns;
    }
    if (ticksOut) *ticksOut = ticks;
    if (ticks > maxReplayTicks) return ReplayVerdict::tooLong;
    if (keyDowns > ticks * 2 / keyDownsPerTickDivisor + spareKeyDowns) return ReplayVerdict::implausible;
    Game game;
    if (!replay(bytes, recording.size(), game)) return ReplayVerdict::notRecording;
    if (game.gameOver == 0) return ReplayVerdict::notEnded;
    return game.score == score ? ReplayVerdict::accepted : ReplayVerdict::wrongScore;
}

ReplayVerdict checkReplay(std::string_view body, ReplayClaim& out) {
    std::size_t lineEnd = body.find('\n');
    // The name has at most 10 bytes and the score 10 digits: the line is short or it is not one.
    if (lineEnd == std::string_view::npos || lineEnd > maxNameBytes + 1 + maxScoreDigits)
        return ReplayVerdict::malformed;
    if (parseSubmission(body.substr(0, lineEnd), out.submission) != BodyError::none) return ReplayVerdict::malformed;
    out.recording.assign(body.substr(lineEnd + 1));
    return checkRecording(out.recording, out.submission.score, &out.ticks);
}

std::string replayKey(std::string_view recording) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(recording.data(), recording.size(), digest, &size, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), 16);
}

std::string replayKeyText(std::string_view key) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : key) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

bool parseReplayKeyText(std::string_view text, std::string& key) {
    if (text.size() != 32) return false;
    key.clear();
    auto value = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    for (std::size_t i = 0; i < 32; i += 2) {
        int high = value(text[i]), low = value(text[i + 1]);
        if (high < 0 || low < 0) return false;
        key += static_cast<char>(high << 4 | low);
    }
    return true;
}
