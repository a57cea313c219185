// httpCurl.cpp: the ranking's one HTTP POST, through libcurl's easy interface, on a thread of its own.
#include "httpCurl.h"

#include <cstddef>
#include <string>
#include <thread>

#include <curl/curl.h>
#include <dlfcn.h>

namespace {

// Where the reply body collects; bytes past `limit` are dropped and end the transfer.
struct ReplySink {
    std::string bytes;
    std::size_t limit = 0;
    bool full = false;
};

std::size_t keepReply(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* sink = static_cast<ReplySink*>(userData);
    std::size_t length = size * count;
    std::size_t room = sink->limit - sink->bytes.size();
    if (length <= room) {
        sink->bytes.append(data, length);
        return length;
    }
    // Enough has come: keep what fits and stop reading, as a single read of `limit` bytes would.
    sink->bytes.append(data, room);
    sink->full = true;
    return 0;
}

std::string targetUrl(const HttpTarget& target) {
    // An IPv6 address needs its brackets in a URL; the caller may have kept them from its own.
    bool literalV6 = target.host.find(':') != std::string::npos && target.host.front() != '[';
    std::string host = literalV6 ? "[" + target.host + "]" : target.host;
    return std::string(target.secure ? "https://" : "http://") + host + ":" + std::to_string(target.port) + target.path;
}

// libcurl and the two dozen libraries behind it (TLS, Kerberos, LDAP, SSH...) are wanted only when
// a score is sent, so they are loaded then, not at every start of the game.
struct Curl {
    bool loaded = false;
    CURL* (*easyInit)() = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyPerform)(CURL*) = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
    void (*slistFreeAll)(curl_slist*) = nullptr;
};

template <typename Function>
bool bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

const Curl& curl() {
    static Curl functions = [] {
        Curl found;
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return found;
        found.loaded = bind(library, "curl_easy_init", found.easyInit) &&
                       bind(library, "curl_easy_setopt", found.easySetopt) &&
                       bind(library, "curl_easy_perform", found.easyPerform) &&
                       bind(library, "curl_easy_cleanup", found.easyCleanup) &&
                       bind(library, "curl_slist_append", found.slistAppend) &&
                       bind(library, "curl_slist_free_all", found.slistFreeAll);
        return found;
    }();
    return functions;
}

}  // namespace

std::string curlPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit, unsigned timeLimitMs) {
    const Curl& lib = curl();
    if (!lib.loaded) return {};
    CURL* curl = lib.easyInit();
    if (curl == nullptr) return {};

    ReplySink sink;
    sink.limit = replyLimit;
    std::string url = targetUrl(target);

    // The caller's line is the only header of ours. Naming Content-Type here also stops curl from
    // adding its own; the empty "Expect:" and "Accept:" take away the two that curl would add unasked.
    curl_slist* headers = nullptr;
    headers = lib.slistAppend(headers, headerLine.c_str());
    headers = lib.slistAppend(headers, "Expect:");
    headers = lib.slistAppend(headers, "Accept:");

    lib.easySetopt(curl, CURLOPT_URL, url.c_str());
    lib.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easySetopt(curl, CURLOPT_NOPROXY, "*");  // straight to the server, like a direct connection
    lib.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    lib.easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib.easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    lib.easySetopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    lib.easySetopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeLimitMs));
    lib.easySetopt(curl, CURLOPT_HTTPHEADER, headers);
    lib.easySetopt(curl, CURLOPT_POST, 1L);
    lib.easySetopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    lib.easySetopt(curl, CURLOPT_POSTFIELDS, body.data());
    lib.easySetopt(curl, CURLOPT_WRITEFUNCTION, keepReply);
    lib.easySetopt(curl, CURLOPT_WRITEDATA, &sink);

    CURLcode result = replyLimit == 0 ? CURLE_OK : lib.easyPerform(curl);
    lib.easyCleanup(curl);
    lib.slistFreeAll(headers);

    bool stoppedByLimit = result == CURLE_WRITE_ERROR && sink.full;
    if (result != CURLE_OK && !stoppedByLimit) return {};
    return sink.bytes;
}

void startCurlPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                   std::size_t replyLimit, unsigned timeLimitMs, std::function<void(const std::string&)> done) {
    // Loading libcurl the first time is done here too, so the game's thread never waits for it.
    std::thread([=] { done(curlPost(target, headerLine, body, replyLimit, timeLimitMs)); }).detach();
}
