// ranking.cpp: the ranking's address, its request and the text its reply gives; the flow that
// sends and shows them is the program's (program/program.cpp).
#include <string>

#include "platform/platform.h"
#include "scores/rankingFacts.h"
#include "scores/scores.h"

constexpr const char* builtRankingUrl = PILARO_RANKING_URL;
std::string rankingUrl = builtRankingUrl;
const char* const rankingHeaderLine = "Content-Type: application/x-www-form-urlencoded";
const char* const replayHeaderLine = "Content-Type: application/octet-stream";
const char* const rankingDoneSuffix = "11位以下はホームページにて";

namespace {

constexpr std::size_t urlPartLimit = 4095;
constexpr std::size_t replyLimit = 1024;

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        char ch = text[i];
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool splitUrl(const std::string& url, HttpTarget& target) {
    std::size_t at;
    if (startsWithNoCase(url, "http://")) {
        target.secure = false;
        target.port = 80;
        at = 7;
    } else if (startsWithNoCase(url, "https://")) {
        target.secure = true;
        target.port = 443;
        at = 8;
    } else {
        return false;
    }
    const std::size_t pathStart = url.find_first_of("/?#", at);
    std::string authority = url.substr(at, pathStart == std::string::npos ? std::string::npos : pathStart - at);
    if (authority.find('@') != std::string::npos) return false;  // no user names in the ranking address
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
        const std::string portText = authority.substr(colon + 1);
        if (portText.empty() || portText.size() > 5) return false;
        unsigned port = 0;
        for (char ch : portText) {
            if (ch < '0' || ch > '9') return false;
            port = port * 10 + static_cast<unsigned>(ch - '0');
        }
        if (port == 0 || port > 65535) return false;
        target.port = port;
        authority.resize(colon);
    }
    if (authority.empty() || authority.size() > urlPartLimit) return false;
    target.host = authority;
    target.path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    if (target.path[0] != '/') target.path = "/" + target.path;
    return target.path.size() <= urlPartLimit;
}

std::string firstReplyToken(const std::string& reply) {
    // Like strtok with "<": leading "<" bytes are skipped and the token ends at the next one.
    // A NUL byte ends the text, as it would a C string. "<" is never the second byte of a
    // double-byte character, so the cut never splits one.
    const std::string text = reply.substr(0, reply.find('\0'));
    const std::size_t start = text.find_first_not_of('<');
    if (start == std::string::npos) return {};
    const std::size_t end = text.find('<', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string rankingReplyText(const std::string& replyBytes) {
    const std::string token = firstReplyToken(replyBytes.substr(0, replyLimit));
    return token.empty() ? std::string() : cp932ToUtf8(token) + rankingDoneSuffix;
}

bool startRankingExchange(const std::string& url, const std::string& body, unsigned timeLimitMs) {
    HttpTarget target;
    if (!splitUrl(url, target)) return false;
    startRankingPost(target, rankingHeaderLine, body, replyLimit, timeLimitMs);
    return true;
}

std::string replayPathBeside(const std::string& rankingUrlPath) {
    const std::string path = rankingUrlPath.substr(0, rankingUrlPath.find_first_of("?#"));
    const std::string ranking = rankingPath;
    const std::size_t at = path.size() >= ranking.size() ? path.rfind(ranking) : std::string::npos;
    if (at == std::string::npos || at + ranking.size() != path.size()) return replayPath;
    return path.substr(0, at) + replayPath;
}

bool startReplayExchange(const std::string& url, const std::string& name, std::uint32_t score,
                         const std::vector<std::uint8_t>& recording) {
    HttpTarget target;
    if (!splitUrl(url, target)) return false;
    target.path = replayPathBeside(target.path);
    std::string body = name + "_" + std::to_string(score) + "\n";
    body.append(recording.begin(), recording.end());
    // Its reply is not shown: whatever it is, the score goes next.
    startRankingPost(target, replayHeaderLine, body, replyLimit, replayTimeLimitMs);
    return true;
}

void chooseRankingUrl(const char* chosen) {
    rankingUrl = builtRankingUrl;
    if (chosen == nullptr || *chosen == '\0') return;
    HttpTarget target;
    if (splitUrl(chosen, target)) {
        rankingUrl = chosen;
    } else {
        debugOutput(std::string("PILARO_RANKING_URL is not an http or https address; using ") + builtRankingUrl);
    }
}
