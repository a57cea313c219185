// platformText.cpp: platform.h's code page 932 conversions through the text helper, for every
// shell (and the test double) that has no converter of its own to prefer.
#include "platform/platform.h"
#include "text/cp932.h"

std::string utf8ToCp932(const std::string& utf8) { return cp932::encode(utf8); }

std::string cp932ToUtf8(const std::string& cp932) { return cp932::decode(cp932); }
