// boardQuery.cpp: the query of the ranking page and of the read API (board, page, name).
#include <cstdint>
#include <string>

#include "boards.h"
#include "check.h"
#include "text/cp932.h"
#include "texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string query(reinterpret_cast<const char*>(data), size);
    for (bool strict : {true, false}) {
        BoardQuery parsed;
        std::string error, utf8;
        if (!parseBoardQuery(query, parsed, error, strict)) {
            // Every refusal says why, in text the API can put in its JSON.
            FUZZ_CHECK(!error.empty());
            FUZZ_CHECK(jsonError(error).starts_with("{\"error\":\""));
            continue;
        }
        FUZZ_CHECK(parsed.page >= 1 && parsed.page <= 99999999);
        FUZZ_CHECK(!(parsed.pageGiven && parsed.nameGiven));
        // A name looked up is one the ranking could hold: 1 to 10 bytes of code page 932.
        if (parsed.nameGiven) {
            FUZZ_CHECK(!parsed.name.empty() && parsed.name.size() <= maxNameBytes);
            FUZZ_CHECK(cp932::decodeStrict(parsed.name, utf8));
        }
        // Its answer names it as text and bytes; no byte below 0x20 is left raw in the JSON.
        BoardView view;
        view.search = parsed.nameGiven;
        view.name = parsed.name;
        for (char c : boardJson(view)) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
    }
    return 0;
}
