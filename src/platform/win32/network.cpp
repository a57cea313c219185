// network.cpp: the ranking's one HTTP POST, done with WinINet on a worker thread that posts its
// reply to the game window; the game's thread never waits for it, and gives up on it at a deadline.
#include "platform/win32/shell.h"

#include <wininet.h>

#include "platform/platform.h"
#include "program/program.h"

namespace {

// Each exchange has its deadline from its start to the reply in hand. WinINet's own limits cannot
// give that: they count per step, and a server that trickles its reply a byte at a time, or a name
// lookup that hangs, passes each of them. At the deadline the game goes on with an empty reply and
// the worker is left to end on its own; nothing is closed under a call that is still running.
constexpr DWORD exchangeLimitMs = rankingTimeLimitMs;

// Always from the server, never from or into the cache, and a redirect's own reply is read
// rather than followed (0x84200000).
constexpr DWORD plainRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Over https the certificate must be valid: its date and its name are checked as usual.
constexpr DWORD secureRequestFlags = plainRequestFlags | INTERNET_FLAG_SECURE;

// One submission, owned by the worker until it posts it to the game window, then by the window.
struct Exchange {
    unsigned number = 0;
    HttpTarget target;
    std::string headerLine;
    std::string body;
    std::size_t replyLimit = 0;
    std::string reply;  // the first bytes of the reply body, once read
};

unsigned exchangesStarted = 0;  // numbers the exchanges
unsigned awaitedExchange = 0;   // the number of the one the game waits for; 0 when none

DWORD WINAPI runExchange(void* parameter) {
    auto* exchange = static_cast<Exchange*>(parameter);
    const HttpTarget& target = exchange->target;
    HINTERNET session = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    // Each step's own limit keeps an abandoned worker from lingering on a dead server.
    DWORD stepLimit = exchangeLimitMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        if (session) InternetSetOptionA(session, option, &stepLimit, sizeof stepLimit);
    HINTERNET connection = session ? InternetConnectA(session, target.host.c_str(),
                                                      static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                                                      INTERNET_SERVICE_HTTP, 0, 0)
                                   : nullptr;
    HINTERNET request = connection ? HttpOpenRequestA(connection, "POST", target.path.c_str(), nullptr, nullptr,
                                                      nullptr, target.secure ? secureRequestFlags : plainRequestFlags, 0)
                                   : nullptr;
    if (request) {
        // The send's result is not needed: when it fails, the read below finds nothing.
        HttpSendRequestA(request, exchange->headerLine.c_str(), static_cast<DWORD>(exchange->headerLine.size()),
                         exchange->body.data(), static_cast<DWORD>(exchange->body.size()));
        exchange->reply.resize(exchange->replyLimit);
        DWORD received = 0;
        if (!InternetReadFile(request, exchange->reply.data(), static_cast<DWORD>(exchange->reply.size()), &received))
            received = 0;
        exchange->reply.resize(received);
    }
    // Children before the session, each once its own calls are over.
    for (HINTERNET handle : {connection, request, session})
        if (handle) InternetCloseHandle(handle);
    if (!PostMessageW(mainWindow, rankingReplyMessage, 0, reinterpret_cast<LPARAM>(exchange))) delete exchange;
    return 0;
}

void deliverReply(const std::string& reply) {
    KillTimer(mainWindow, exchangeTimerId);
    awaitedExchange = 0;
    onRankingReply(reply);
}

}  // namespace

void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit, unsigned timeLimitMs) {
    auto* exchange = new Exchange{++exchangesStarted, target, headerLine, body, replyLimit, {}};
    awaitedExchange = exchange->number;
    SetTimer(mainWindow, exchangeTimerId, timeLimitMs, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, runExchange, exchange, 0, nullptr);
    if (worker) {
        CloseHandle(worker);
        return;
    }
    // No thread: the failure comes back through the loop like any reply.
    exchange->reply.clear();
    PostMessageW(mainWindow, rankingReplyMessage, 0, reinterpret_cast<LPARAM>(exchange));
}

void onRankingReplyMessage(LPARAM exchangeParameter) {
    auto* exchange = reinterpret_cast<Exchange*>(exchangeParameter);
    const bool awaited = exchange->number == awaitedExchange;
    const std::string reply = exchange->reply;
    delete exchange;
    if (awaited) deliverReply(reply);  // else one given up at its deadline
}

void onExchangeDeadline() {
    // Stopped first: the reply given up on starts the next exchange (the score after the
    // recording), whose own deadline the same timer then keeps.
    KillTimer(mainWindow, exchangeTimerId);
    if (awaitedExchange != 0) deliverReply({});
}
