#include "engine/Crc8.h"

#include <gtest/gtest.h>

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
