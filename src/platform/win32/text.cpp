// text.cpp: UTF-8 and UTF-16 conversions, and the developer's output line. Code page 932 comes
// from src/text's tables, not from Windows' own converter: Windows maps a few characters (〜, −,
// —, ¥, ‖) otherwise than the Linux build, and the same name must give the same bytes on both.
#include "platform/win32/shell.h"

#include "platform/platform.h"

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

std::string toUtf8(const std::wstring& utf16) {
    std::string text;
    const int size = static_cast<int>(utf16.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return text;
    text.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

void debugOutput(const std::string& utf8) { OutputDebugStringW(toUtf16(utf8).c_str()); }
