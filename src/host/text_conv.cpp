#include "host/text_conv.h"

#include <windows.h>
#include <climits>

namespace win {

std::wstring utf8ToWide(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), units) != units)
        return {};
    return out;
}

std::string wideToUtf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return out;
}

std::wstring utf8ToWide(const char* utf8) {
    return utf8 ? utf8ToWide(std::string_view(utf8)) : std::wstring();
}

std::string wideToUtf8(const wchar_t* wide) {
    return wide ? wideToUtf8(std::wstring_view(wide)) : std::string();
}

}  // namespace win
