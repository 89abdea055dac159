#include "settings/setting_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(SettingText, ControlCharactersAreC0AndDelete) {
    EXPECT_FALSE(HoldsControlCharacter(""));
    EXPECT_FALSE(HoldsControlCharacter("/live.ogg ~ \u00e9\u20ac"));
    for (int byte : {0, 9, 10, 13, 27, 31, 127}) {
        EXPECT_TRUE(HoldsControlCharacter("a" + std::string(1, static_cast<char>(byte)) + "b"))
            << byte;
    }
}

TEST(SettingText, EscapingKeepsPrintableUtf8AndShowsEveryOtherByteAsHex) {
    const std::pair<std::string, std::string> cases[] = {
        {"HTTP/1.0 403 Forbidden", "HTTP/1.0 403 Forbidden"},
        {"\x1b[2Jbell\a", "\\x1B[2Jbell\\x07"},
        {"del\x7f", "del\\x7F"},
        {"K\u00f6ln \u20ac \U0001F600", "K\u00f6ln \u20ac \U0001F600"},
        {"\xc2\x9b"
         "31m",
         "\\xC2\\x9B31m"},                    // C1 control CSI in UTF-8
        {"\xff\xfe", "\\xFF\\xFE"},           // not UTF-8
        {"\xc3", "\\xC3"},                    // cut sequence
        {"\xc0\xaf", "\\xC0\\xAF"},           // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},  // surrogate
        {"\xe2\x82", "\\xE2\\x82"},           // sequence that ends early
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(EscapedText(raw, 100), shown) << shown;
}

TEST(SettingText, EscapingCutsLongTextAfterMaxBytesOfInput) {
    EXPECT_EQ(EscapedText(std::string(10, 'x'), 10), std::string(10, 'x'));
    EXPECT_EQ(EscapedText(std::string(11, 'x'), 10), std::string(10, 'x') + "...");
    // A character is never split: one that starts before the bound is kept whole.
    EXPECT_EQ(EscapedText("abc\u20acdef", 4), "abc\u20ac...");
}
