// UTF-8 / UTF-16 conversion and UTF-8 paths for packtool. Pure functions, any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace packtool {

// Null when text is not well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF fail).
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// Lone surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Paths from and to UTF-8 whatever the platform's native encoding is.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string pathToUtf8(const std::filesystem::path& path);
// Relative path with forward slashes, as entry names are written.
std::string genericUtf8(const std::filesystem::path& path);

}  // namespace packtool
