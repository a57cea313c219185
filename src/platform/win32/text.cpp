// text.cpp: UTF-8, UTF-16 and code page 932 conversions, and the developer's output line.
#include "platform/win32/shell.h"

#include "platform/platform.h"

namespace {

constexpr UINT shiftJis = 932;

std::string toCodePage(UINT codePage, DWORD flags, const std::wstring& text, const char* defaultChar) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, defaultChar, nullptr);
    if (length <= 0) return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), length, defaultChar, nullptr);
    return bytes;
}

// Converts `count` bytes strictly; false when they are not valid in the code page.
bool fromCodePage(UINT codePage, const char* bytes, int count, std::wstring& text) {
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (length <= 0) return false;
    std::wstring converted(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, converted.data(), length);
    text += converted;
    return true;
}

}  // namespace

std::wstring toUtf16(const std::string& utf8) {
    std::wstring text;
    // Not strict: a malformed byte comes out as U+FFFD rather than losing the whole text.
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (length <= 0) return text;
    text.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), length);
    return text;
}

std::string toUtf8(const std::wstring& utf16) { return toCodePage(CP_UTF8, 0, utf16, nullptr); }

std::string utf8ToCp932(const std::string& utf8) {
    // No best fit: a character the code page lacks becomes "?", never a look-alike.
    return toCodePage(shiftJis, WC_NO_BEST_FIT_CHARS, toUtf16(utf8), "?");
}

std::string cp932ToUtf8(const std::string& cp932) {
    std::wstring text;
    const int size = static_cast<int>(cp932.size());
    if (size == 0 || fromCodePage(shiftJis, cp932.data(), size, text)) return toUtf8(text);
    // Something in it is not code page 932: go character by character, and let each byte that
    // starts no valid character stand as U+FFFD.
    text.clear();
    for (int i = 0; i < size;) {
        const bool lead = IsDBCSLeadByteEx(shiftJis, static_cast<BYTE>(cp932[i])) && i + 1 < size;
        if (lead && fromCodePage(shiftJis, cp932.data() + i, 2, text)) {
            i += 2;
        } else if (!lead && fromCodePage(shiftJis, cp932.data() + i, 1, text)) {
            i += 1;
        } else {
            text += L'\xFFFD';
            i += 1;
        }
    }
    return toUtf8(text);
}

void debugOutput(const std::string& utf8) { OutputDebugStringW(toUtf16(utf8).c_str()); }
