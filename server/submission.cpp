// submission.cpp: parsing the game's "NAME_SCORE" body.
#include "submission.h"

#include "text/cp932.h"

namespace {

// A single-byte control character (0x00..0x1F or 0x7F) anywhere: a trail byte is never below
// 0x40, so a byte in that range is always a character of its own.
bool hasControlCharacter(std::string_view bytes) {
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

// The name without blanks at either end. Characters are walked from the start, because a
// full-width blank's bytes (0x81 0x40) may also end another double-byte character.
std::string_view trimBlanks(std::string_view name) {
    std::size_t first = std::string_view::npos;  // start of the first non-blank character
    std::size_t end = 0;                         // end of the last non-blank character
    for (std::size_t at = 0; at < name.size();) {
        unsigned char b = static_cast<unsigned char>(name[at]);
        std::size_t size = cp932::isLeadByte(b) && at + 1 < name.size() ? 2 : 1;
        bool blank = b == ' ' || (size == 2 && b == 0x81 && name[at + 1] == '\x40');
        if (!blank) {
            if (first == std::string_view::npos) first = at;
            end = at + size;
        }
        at += size;
    }
    return first == std::string_view::npos ? std::string_view() : name.substr(first, end - first);
}

}  // namespace

BodyError parseName(std::string_view name, std::string& out) {
    if (name.empty() || name.size() > maxNameBytes) return BodyError::nameLength;
    if (hasControlCharacter(name)) return BodyError::nameControl;
    // Strict decoding also refuses the second code of a character that code page 932 holds under
    // two (FA 4A for 87 54, both Ⅰ): the game never sends one, and one name keeps one spelling.
    std::string readable;
    if (!cp932::decodeStrict(name, readable)) return BodyError::nameEncoding;
    name = trimBlanks(name);
    if (name.empty()) return BodyError::nameBlank;
    out.assign(name);
    return BodyError::none;
}

BodyError parseSubmission(std::string_view body, Submission& out) {
    std::size_t split = body.rfind('_');
    if (split == std::string_view::npos) return BodyError::noSeparator;
    std::string name;
    if (BodyError error = parseName(body.substr(0, split), name); error != BodyError::none) return error;
    std::string_view digits = body.substr(split + 1);
    if (digits.empty() || digits.size() > maxScoreDigits) return BodyError::score;
    std::uint64_t score = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return BodyError::score;
        score = score * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (score > 0xFFFFFFFFull) return BodyError::score;
    out.name = std::move(name);
    out.score = static_cast<std::uint32_t>(score);
    return BodyError::none;
}

namespace {

// U+FF61..U+FF9F, the half-width katakana and signs, in their full-width forms; the last two are
// the sound marks.
constexpr char16_t fullWidthKana[] = u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(sizeof fullWidthKana / sizeof fullWidthKana[0] == 0xFF9F - 0xFF61 + 2);

char32_t nextCodePoint(std::string_view utf8, std::size_t& at) {
    unsigned char b = static_cast<unsigned char>(utf8[at++]);
    int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = more == 0 ? b : b & (0x3F >> more);
    for (; more > 0 && at < utf8.size(); --more) c = (c << 6) | (static_cast<unsigned char>(utf8[at++]) & 0x3F);
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t foldedCharacter(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFF01 - 0x21;  // full-width ASCII
    if (c == 0x3000) c = ' ';
    if (c >= 0xFF61 && c <= 0xFF9F) c = fullWidthKana[c - 0xFF61];
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;  // Greek, Cyrillic
    return c == 0x401 ? 0x451 : c;
}

// The kana a sound mark (゛ 1, ゜ 2) turns `kana` into, or 0 when it turns it into none.
char32_t soundedKana(char32_t kana, int mark) {
    static constexpr char16_t voiceable[] = u"カキクケコサシスセソタチツテトハヒフヘホ";
    if (kana == u'ウ' && mark == 1) return u'ヴ';
    for (char16_t k : voiceable)
        if (k != 0 && k == kana && (mark == 1 || kana >= u'ハ')) return kana + static_cast<char32_t>(mark);
    return 0;
}

}  // namespace

std::string foldedName(std::string_view cp932Name) {
    std::string utf8 = cp932::decode(cp932Name), out;
    char32_t last = 0;  // the kana before, while a sound mark may still join it
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t c = foldedCharacter(nextCodePoint(utf8, at));
        int mark = c == u'゛' ? 1 : c == u'゜' ? 2 : 0;
        char32_t sounded = last != 0 && mark != 0 ? soundedKana(last, mark) : 0;
        if (sounded != 0) {
            out.resize(out.size() - 3);  // a katakana is three bytes
            c = sounded;
        }
        appendUtf8(out, c);
        last = sounded == 0 && c >= 0x30A0 && c <= 0x30FF ? c : 0;
    }
    return out;
}
