// httpCurl.cpp: the ranking's one synchronous HTTP POST, through libcurl's easy interface.
#include <cstddef>
#include <string>

#include <curl/curl.h>

#include "platform/platform.h"

namespace {

// Where the reply body collects; bytes past `limit` are dropped and end the transfer.
struct ReplySink {
    std::string bytes;
    std::size_t limit = 0;
    bool full = false;
};

std::size_t keepReply(char* data, std::size_t size, std::size_t count, void* userData)
{
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

std::string targetUrl(const HttpTarget& target)
{
    // An IPv6 address needs its brackets in a URL; the caller may have kept them from its own.
    bool literalV6 = target.host.find(':') != std::string::npos && target.host.front() != '[';
    std::string host = literalV6 ? "[" + target.host + "]" : target.host;
    return std::string(target.secure ? "https://" : "http://") + host + ":" + std::to_string(target.port) +
           target.path;
}

}  // namespace

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return {};

    ReplySink sink;
    sink.limit = replyLimit;
    std::string url = targetUrl(target);

    // The caller's line is the only header of ours. Naming Content-Type here also stops curl from
    // adding its own; the empty "Expect:" and "Accept:" take away the two that curl would add unasked.
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, headerLine.c_str());
    headers = curl_slist_append(headers, "Expect:");
    headers = curl_slist_append(headers, "Accept:");

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");  // straight to the server, like a direct connection
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keepReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

    CURLcode result = replyLimit == 0 ? CURLE_OK : curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    bool stoppedByLimit = result == CURLE_WRITE_ERROR && sink.full;
    if (result != CURLE_OK && !stoppedByLimit) return {};
    return sink.bytes;
}
