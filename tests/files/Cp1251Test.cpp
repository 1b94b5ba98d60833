#include "files/Cp1251.h"

#include <gtest/gtest.h>

TEST(Cp1251, RussianTextBothWays) {
    const std::string utf8 = "Ёжик в тумане: съешь же ещё этих мягких французских булок, №5 © «ЯЮ»";
    const std::string bytes = utf8ToCp1251(utf8);
    // One byte per character, and the known bytes of a few letters.
    EXPECT_EQ(bytes.size(), 68u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xA8); // Ё
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xE6); // ж
    EXPECT_EQ(cp1251ToUtf8(bytes), utf8);
}

TEST(Cp1251, EveryDefinedByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98)
            continue;
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(one)), one) << b;
    }
}

TEST(Cp1251, UndefinedByteShowsAsReplacement) {
    EXPECT_EQ(cp1251ToUtf8(std::string("D\x98x", 3)), "D\xEF\xBF\xBDx");
    EXPECT_EQ(utf8ToCp1251("\xEF\xBF\xBD"), "?");
}

TEST(Cp1251, UnmappableAndMalformedInputBecomesReplacement) {
    EXPECT_EQ(utf8ToCp1251("a\xE4\xB8\xAD"
                           "b"),
              "a?b");                                      // a CJK letter
    EXPECT_EQ(utf8ToCp1251("\xF0\x9F\x98\x80", '_'), "_"); // outside the BMP
    EXPECT_EQ(utf8ToCp1251("\xC3"), "?");                  // truncated
    EXPECT_EQ(utf8ToCp1251("\xC0\xAF"), "??");             // overlong "/"
    EXPECT_EQ(utf8ToCp1251("\xED\xA0\x80"), "???");        // a surrogate
    EXPECT_EQ(utf8ToCp1251(std::string("\0z", 2)), std::string("\0z", 2));
}

TEST(Cp1251, DamagedUtf8BecomesValidText) {
    EXPECT_EQ(cp1251::validUtf8("ok ж"), "ok ж");
    EXPECT_EQ(cp1251::validUtf8("a\xD0"), "a\xEF\xBF\xBD");               // cut in the middle of a letter
    EXPECT_EQ(cp1251::validUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD"); // an overlong slash
    EXPECT_EQ(cp1251::validUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // a surrogate
}
