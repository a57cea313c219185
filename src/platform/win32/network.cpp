// network.cpp: the ranking's one HTTP POST, done with WinINet on a worker thread so that the
// game's thread waits for it at most a fixed time, however the server or the name lookup behaves.
#include "platform/win32/shell.h"

#include <wininet.h>

#include "platform/platform.h"

namespace {

// The game is frozen while it waits, so the whole exchange, from the start to the reply in hand,
// gets at most this long; with the done box that follows it stays well within ten seconds. WinINet's
// own limits cannot give that: they count per step, and a server that trickles its reply a byte
// at a time, or a name lookup that hangs, passes each of them.
constexpr DWORD exchangeLimitMs = 7000;

// Always from the server, never from or into the cache, and a redirect's own reply is read
// rather than followed (0x84200000).
constexpr DWORD plainRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Over https the certificate must be valid: its date and its name are checked as usual.
constexpr DWORD secureRequestFlags = plainRequestFlags | INTERNET_FLAG_SECURE;

// One submission, shared by the game's thread and the worker. The game's thread stops waiting
// at the time limit and closes the handles still open, which makes the worker's pending call
// fail; whichever of the two lets go of the record last deletes it.
struct Exchange {
    CRITICAL_SECTION lock;
    LONG holders = 2;
    bool abandoned = false;          // the game stopped waiting; the reply is no longer wanted
    HINTERNET session = nullptr;     // the WinINet session, or none
    HINTERNET connection = nullptr;  // its connection to the ranking server, or none
    HINTERNET request = nullptr;     // its POST request, or none
    HttpTarget target;
    std::string headerLine;
    std::string body;
    std::size_t replyLimit = 0;
    std::string reply;  // the first bytes of the reply body, once the worker has read them
};

void letGo(Exchange* exchange) {
    if (InterlockedDecrement(&exchange->holders) > 0) return;
    DeleteCriticalSection(&exchange->lock);
    delete exchange;
}

// Children before the session; a slot of none is skipped. Called with the lock held.
void closeHandles(Exchange& exchange) {
    for (HINTERNET* slot : {&exchange.connection, &exchange.request, &exchange.session}) {
        if (*slot) InternetCloseHandle(*slot);
        *slot = nullptr;
    }
}

// Stores a handle the worker has just opened, unless the game has stopped waiting: then the handle
// is closed at once and the worker goes no further. False when there is nothing to go on with.
bool keep(Exchange& exchange, HINTERNET& slot, HINTERNET handle) {
    EnterCriticalSection(&exchange.lock);
    if (exchange.abandoned && handle) InternetCloseHandle(handle);
    if (!exchange.abandoned) slot = handle;
    const bool goOn = !exchange.abandoned && handle;
    LeaveCriticalSection(&exchange.lock);
    return goOn;
}

// The handle in a slot, read under the lock: the game's thread may have closed it meanwhile.
HINTERNET current(Exchange& exchange, HINTERNET& slot) {
    EnterCriticalSection(&exchange.lock);
    HINTERNET handle = slot;
    LeaveCriticalSection(&exchange.lock);
    return handle;
}

DWORD WINAPI runExchange(void* parameter) {
    Exchange& exchange = *static_cast<Exchange*>(parameter);
    const HttpTarget& target = exchange.target;
    std::string reply;
    HINTERNET handle = nullptr;
    if (keep(exchange, exchange.session, InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)) &&
        (handle = current(exchange, exchange.session)) &&
        keep(exchange, exchange.connection,
             InternetConnectA(handle, target.host.c_str(), static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                              INTERNET_SERVICE_HTTP, 0, 0)) &&
        (handle = current(exchange, exchange.connection)) &&
        keep(exchange, exchange.request,
             HttpOpenRequestA(handle, "POST", target.path.c_str(), nullptr, nullptr, nullptr,
                              target.secure ? secureRequestFlags : plainRequestFlags, 0)) &&
        (handle = current(exchange, exchange.request))) {
        // The send's result is not needed: when it fails, the read below finds nothing.
        HttpSendRequestA(handle, exchange.headerLine.c_str(), static_cast<DWORD>(exchange.headerLine.size()),
                         exchange.body.data(), static_cast<DWORD>(exchange.body.size()));
        reply.resize(exchange.replyLimit);
        DWORD received = 0;
        if (!InternetReadFile(handle, reply.data(), static_cast<DWORD>(reply.size()), &received)) received = 0;
        reply.resize(received);
    }
    EnterCriticalSection(&exchange.lock);
    if (!exchange.abandoned) exchange.reply = reply;
    closeHandles(exchange);
    LeaveCriticalSection(&exchange.lock);
    letGo(&exchange);
    return 0;
}

}  // namespace

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    auto* exchange = new Exchange;
    InitializeCriticalSection(&exchange->lock);
    exchange->target = target;
    exchange->headerLine = headerLine;
    exchange->body = body;
    exchange->replyLimit = replyLimit;

    std::string reply;
    HANDLE worker = CreateThread(nullptr, 0, runExchange, exchange, 0, nullptr);
    if (!worker) {
        letGo(exchange);
        letGo(exchange);
        return reply;
    }
    const bool finished = WaitForSingleObject(worker, exchangeLimitMs) == WAIT_OBJECT_0;
    CloseHandle(worker);
    EnterCriticalSection(&exchange->lock);
    if (finished) {
        reply = exchange->reply;
    } else {
        // Closing a handle ends a call blocked on it in another thread; the worker then finds
        // the exchange abandoned, and cleans up after itself.
        exchange->abandoned = true;
        closeHandles(*exchange);
    }
    LeaveCriticalSection(&exchange->lock);
    letGo(exchange);
    return reply;
}
