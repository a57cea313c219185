// gameExchangeFallback.cpp: a plain libcurl POST with the game's httpPost signature, for builds in
// which the game's own exchange (pilaro_http_curl) is not part of the build.
#include "platform/platform.h"

#include <curl/curl.h>

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return {};
    std::string url = std::string(target.secure ? "https://" : "http://") + target.host + ":" +
                      std::to_string(target.port) + target.path;
    curl_slist* headers = curl_slist_append(nullptr, headerLine.c_str());
    headers = curl_slist_append(headers, "Expect:");
    std::string reply;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t count, void* into) {
        static_cast<std::string*>(into)->append(data, size * count);
        return size * count;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return reply.substr(0, replyLimit);
}
