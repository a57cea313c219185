// network.cpp: the ranking's one synchronous HTTP POST, done with WinINet.
#include "platform/win32/shell.h"

#include <wininet.h>

#include "platform/platform.h"

namespace {

HINTERNET rankingSession;     // the WinINet session of the submission under way, or none
HINTERNET rankingConnection;  // its connection to the ranking server, or none
HINTERNET rankingRequest;     // its POST request, or none

// Always from the server, never from or into the cache, and a redirect's own reply is read
// rather than followed (0x84200000).
constexpr DWORD plainRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Over https the certificate must be valid: its date and its name are checked as usual.
constexpr DWORD secureRequestFlags = plainRequestFlags | INTERNET_FLAG_SECURE;

// The thread, and with it the whole game, is frozen during the exchange; these limits end it
// within about ten seconds when the server is slow or gone (one try to connect, then the send,
// then the reply, three seconds each).
constexpr DWORD stepTimeoutMs = 3000;
constexpr DWORD connectTries = 1;

void setOption(HINTERNET handle, DWORD option, DWORD value) {
    InternetSetOptionA(handle, option, &value, sizeof value);
}

// Windows hands the session's limits down to its connections and requests; Wine takes the send
// and receive limits only from the handle that does the work, so each handle gets them all.
void setTimeouts(HINTERNET handle) {
    setOption(handle, INTERNET_OPTION_CONNECT_TIMEOUT, stepTimeoutMs);
    setOption(handle, INTERNET_OPTION_CONNECT_RETRIES, connectTries);
    setOption(handle, INTERNET_OPTION_SEND_TIMEOUT, stepTimeoutMs);
    setOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, stepTimeoutMs);
}

void closeRankingHandles() {
    // Children before the session; closing a handle of none does nothing.
    if (rankingConnection) InternetCloseHandle(rankingConnection);
    if (rankingRequest) InternetCloseHandle(rankingRequest);
    if (rankingSession) InternetCloseHandle(rankingSession);
    rankingConnection = rankingRequest = rankingSession = nullptr;
}

}  // namespace

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    rankingSession = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    rankingConnection = nullptr;
    rankingRequest = nullptr;
    if (rankingSession) {
        setTimeouts(rankingSession);
        rankingConnection = InternetConnectA(rankingSession, target.host.c_str(),
                                             static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0);
    }
    if (rankingConnection) {
        rankingRequest = HttpOpenRequestA(rankingConnection, "POST", target.path.c_str(), nullptr, nullptr, nullptr,
                                          target.secure ? secureRequestFlags : plainRequestFlags, 0);
    }
    if (rankingRequest) setTimeouts(rankingRequest);
    std::string reply;
    if (rankingRequest) {
        // The send's result is not needed: when it fails, the read below finds nothing.
        std::string sent = body;
        HttpSendRequestA(rankingRequest, headerLine.c_str(), static_cast<DWORD>(headerLine.size()), sent.data(),
                         static_cast<DWORD>(sent.size()));
        reply.resize(replyLimit);
        DWORD received = 0;
        if (!InternetReadFile(rankingRequest, reply.data(), static_cast<DWORD>(replyLimit), &received)) received = 0;
        reply.resize(received);
    }
    closeRankingHandles();
    return reply;
}
