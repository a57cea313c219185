// httpCurl.h: the ranking's HTTP POST through libcurl, free of Qt.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/platform.h"

// The exchange itself, which blocks its thread: the first bytes of the reply body, at most
// `replyLimit`, or none when nothing could be read within `timeLimitMs`.
std::string curlPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit, unsigned timeLimitMs);
// The same on a thread of its own: `done` is called there with the reply once it is over.
void startCurlPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                   std::size_t replyLimit, unsigned timeLimitMs, std::function<void(const std::string&)> done);
