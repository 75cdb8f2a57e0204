// The one UTF-8/UTF-16 conversion pair every module uses.
#include <gtest/gtest.h>

#include <string>

#include "host/text_conv.h"

namespace {

TEST(TextConversion, RoundTripsCjkAndAstralText) {
    const std::string utf8 = "A\xE5\xBC\x80\xF0\x9F\x98\x80z";  // A, U+5F00, U+1F600, z
    const std::wstring wide = win::utf8ToWide(utf8);
    EXPECT_EQ(wide, std::wstring(L"A\x5F00\xD83D\xDE00z"));
    EXPECT_EQ(win::wideToUtf8(wide), utf8);
    EXPECT_EQ(win::wideToUtf8(wide.c_str()), utf8);
}

TEST(TextConversion, ViewsKeepEmbeddedZerosAndPointersStopAtTheFirst) {
    const std::string utf8("a\0b", 3);
    EXPECT_EQ(win::utf8ToWide(utf8), std::wstring(L"a\0b", 3));
    EXPECT_EQ(win::utf8ToWide(utf8.c_str()), L"a");
    EXPECT_EQ(win::wideToUtf8(std::wstring(L"a\0b", 3)), utf8);
    EXPECT_EQ(win::wideToUtf8(L"a\0b"), "a");
}

TEST(TextConversion, NullAndEmptyGiveEmptyText) {
    EXPECT_EQ(win::utf8ToWide(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(win::wideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(win::utf8ToWide(""), L"");
    EXPECT_EQ(win::wideToUtf8(L""), "");
}

TEST(TextConversion, IllFormedSequencesBecomeReplacementCharacters) {
    // A lone lead byte and a lone surrogate: the text around them survives.
    EXPECT_EQ(win::utf8ToWide("a\xC3z"), L"a\xFFFDz");
    EXPECT_EQ(win::wideToUtf8(L"a\xD800z"), "a\xEF\xBF\xBDz");
}

}  // namespace
