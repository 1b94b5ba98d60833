#include "engine/Crc8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

TEST(Crc8, CheckValuesOfTheMaximVariant) {
    EXPECT_EQ(crc8::compute("123456789", 9), 0xA1);
    EXPECT_EQ(crc8::compute("abc", 3), 66);
    EXPECT_EQ(crc8::compute("", 0), 0);
}

TEST(Crc8, BlockEndingInItsChecksumRunsToZero) {
    const uint8_t rec[] = {0x07, 0x0c, 0x1a, 0x0a, 0x00, 0x00, 0x01,
                           0x6d, 0xff, 0x38, 0x01, 0x90, 0x00, 0xc6};
    EXPECT_EQ(crc8::compute(rec, sizeof rec), 0);
    EXPECT_EQ(crc8::compute(rec, sizeof rec - 1), 0xc6);
}

// Blocks are taken eight bytes a step; every length and running value must give what one byte
// at a time gives.
TEST(Crc8, BlockStepGivesTheByteWiseValue) {
    std::mt19937 rng(7);
    std::string buf(100, '\0');
    for (char& c : buf)
        c = static_cast<char>(rng() % 256);
    for (size_t len = 0; len <= buf.size(); ++len) {
        for (int start : {0, 1, 0x5A, 0xFF}) {
            auto byteWise = static_cast<uint8_t>(start);
            for (size_t i = 0; i < len; ++i)
                byteWise = crc8::update(byteWise, static_cast<uint8_t>(buf[i]));
            ASSERT_EQ(crc8::update(static_cast<uint8_t>(start), buf.data(), len), byteWise) << len;
        }
    }
}
