// UTF-8 <-> UTF-16 with the system's UTF-8 code page, the one conversion every module uses. Any
// thread; no state. Ill-formed sequences become U+FFFD as the system converts them; input it cannot
// convert at all (longer than INT_MAX units) gives "". Empty and null input give "".
#pragma once

#include <string>
#include <string_view>

namespace win {

// Exactly the given units, embedded zeros included.
std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

// Up to the first zero unit; null counts as empty.
std::wstring utf8ToWide(const char* utf8);
std::string wideToUtf8(const wchar_t* wide);

}  // namespace win
