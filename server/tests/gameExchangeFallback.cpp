// gameExchangeFallback.cpp: a plain libcurl POST with the game's httpPost signature, for builds in
// which the game's own exchange (pilaro_http_curl) is not part of the build.
#include "platform/platform.h"

#include <curl/curl.h>

namespace {

std::size_t keep(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<std::pair<std::string, std::size_t>*>(user);
    std::size_t room = reply->second - reply->first.size();
    std::size_t length = size * count;
    reply->first.append(data, length < room ? length : room);
    return length <= room ? length : 0;
}

}  // namespace

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return {};
    std::string url = std::string(target.secure ? "https://" : "http://") + target.host + ":" +
                      std::to_string(target.port) + target.path;
    curl_slist* headers = curl_slist_append(nullptr, headerLine.c_str());
    headers = curl_slist_append(headers, "Expect:");
    std::pair<std::string, std::size_t> reply{{}, replyLimit};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return reply.first;
}
