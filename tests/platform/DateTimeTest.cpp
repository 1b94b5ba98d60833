#include "platform/DateTime.h"
#include "platform/FakeClock.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodeDecodeAndFormat) {
    const TDateTime t = dt::encode(2026, 12, 7, 9, 5, 7);
    EXPECT_EQ(dt::formatDateTime(t), "07.12.26 09:05:07");
    EXPECT_DOUBLE_EQ(dt::encode(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(dt::encode(1900, 1, 1), 2.0);
    const DateTimeParts p = dt::decode(t);
    EXPECT_EQ(p.year, 2026);
    EXPECT_EQ(p.second, 7);
}

TEST(DateTime, RoundsToTheWholeSecondBeforeFormatting) {
    const TDateTime t = dt::encode(2026, 12, 7, 10, 0, 0) - 0.0004 / 86400.0;
    EXPECT_EQ(dt::formatTime(t), "10:00:00");
    EXPECT_EQ(dt::formatDateTime(dt::encode(2026, 12, 31, 23, 59, 59) + 0.6 / 86400.0), "01.01.27 00:00:00");
}

TEST(DateTime, Validity) {
    EXPECT_TRUE(dt::isValidDate(2024, 2, 29));
    EXPECT_FALSE(dt::isValidDate(2026, 2, 29));
    EXPECT_FALSE(dt::isValidDate(2026, 13, 1));
    EXPECT_FALSE(dt::isValidDate(2026, 1, 0));
    EXPECT_FALSE(dt::isValidTime(24, 0, 0));
    TDateTime out = 5;
    EXPECT_FALSE(dt::tryEncode({2026, 0, 0, 0, 0, 0}, out));
    EXPECT_EQ(out, 5);
    EXPECT_EQ(dt::centuryYear(26, 2026), 2026);
    EXPECT_DOUBLE_EQ(dt::startOfDay(dt::encode(2026, 1, 2, 13, 14, 15)), dt::encode(2026, 1, 2));
}

TEST(FakeClock, SleepsAndIdleAdvanceTime) {
    FakeClock c(dt::encode(2026, 12, 7));
    c.sleepMs(1400);
    c.idle();
    EXPECT_EQ(c.tickCount(), 1401u);
    EXPECT_EQ(dt::formatTime(c.now()), "00:00:01");
    c.setNow(dt::encode(2027, 1, 1));
    EXPECT_EQ(c.tickCount(), 1401u);
    EXPECT_EQ(dt::formatDate(c.now()), "01.01.27");
}
