#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

struct Block {
    int offset, count;
};

// Runs the plan to its end the way the step machine does, one accepted block after another.
std::vector<Block> blocks(TaskEngine& e, int& barMax, TDateTime now, TDateTime begin, TDateTime finish, int n,
                          int period, int stored, int position) {
    std::vector<Block> out;
    barMax = e.PlanDownload(now, begin, finish, n, period, stored, position);
    if (e.planBatch() <= 0)
        return out;
    do
        out.push_back({e.planStart(), e.planBatch()});
    while (e.NextBlock() && out.size() < 1000);
    return out;
}

class DownloadPlan : public ::testing::Test {
protected:
    Harness h;
    TDateTime now = dt::encode(2026, 12, 7, 12, 0, 0);
};

} // namespace

TEST_F(DownloadPlan, WorkedExampleRunsFromTheBeginDate) {
    int barMax = 0;
    const auto b = blocks(h.engine, barMax, now, now - 31, now, 4, 3, 500, 1);
    EXPECT_EQ(h.engine.planRecordLength(), 18);
    EXPECT_EQ(barMax, 3);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].offset, 135);
    EXPECT_EQ(b[0].count, 113);
    EXPECT_EQ(b[1].offset, 22);
    EXPECT_EQ(b[1].count, 113);
    EXPECT_EQ(b[2].offset, 0);
    EXPECT_EQ(b[2].count, 22);
}

TEST_F(DownloadPlan, FinishDateStopsTheBlocksAtItsOffset) {
    int barMax = 0;
    const auto b = blocks(h.engine, barMax, now, now - 31, now - 10, 4, 3, 500, 1);
    EXPECT_EQ(h.engine.planEnd(), 80);
    EXPECT_EQ(barMax, 2);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].offset, 135);
    EXPECT_EQ(b[0].count, 113);
    EXPECT_EQ(b[1].offset, 80);
    EXPECT_EQ(b[1].count, 55);
}

TEST_F(DownloadPlan, BlockSizeFollowsTheTrackBar) {
    const int expected[] = {4096 / 18, 2048 / 18, 1024 / 18, 512 / 18};
    for (int p = 0; p < 4; ++p) {
        h.engine.PlanDownload(now, now - 1000, now, 4, 1, 60000, p);
        EXPECT_EQ(h.engine.planBatch(), expected[p]) << p;
    }
    h.engine.PlanDownload(now, now - 1000, now, 60, 1, 60000, 3);
    EXPECT_EQ(h.engine.planRecordLength(), 130);
    EXPECT_EQ(h.engine.planBatch(), 3);
}

TEST_F(DownloadPlan, WideStringsStillGetOneRecordPerSmallBlock) {
    for (int n : {252, 255}) {
        int barMax = 0;
        const auto b = blocks(h.engine, barMax, now, now - 1, now, n, 1, 5, 3);
        EXPECT_EQ(b.size(), 5u) << n;
        EXPECT_EQ(barMax, 5);
        for (const Block& x : b)
            EXPECT_EQ(x.count, 1);
    }
}

TEST_F(DownloadPlan, EmptyPlans) {
    int barMax = 0;
    EXPECT_TRUE(blocks(h.engine, barMax, now, now - 31, now, 4, 3, 0, 1).empty());
    EXPECT_EQ(h.engine.planStart(), 0);
    EXPECT_EQ(h.engine.planEnd(), 0);
    EXPECT_EQ(barMax, 0);
    // Begin date later than now.
    EXPECT_TRUE(blocks(h.engine, barMax, now, now + 2, now + 3, 4, 3, 500, 1).empty());
    // The whole period older than everything stored.
    EXPECT_TRUE(blocks(h.engine, barMax, now, now - 100, now - 90, 4, 1, 24, 1).empty());
}

TEST_F(DownloadPlan, FinishInTheFutureStopsAtTheNewestRecord) {
    int barMax = 0;
    const auto b = blocks(h.engine, barMax, now, now - 31, now + 1, 4, 3, 500, 1);
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.back().offset, 0);
    int total = 0;
    for (const Block& x : b)
        total += x.count;
    EXPECT_EQ(total, 248);
}

TEST_F(DownloadPlan, OffsetsRoundHalfToEven) {
    // 1.5, 2.5 and 3.5 periods of 3 hours back (exact in binary): halves go to the even neighbour.
    const double sixteenths[] = {3, 5, 7};
    const int expected[] = {2, 2, 4};
    for (int i = 0; i < 3; ++i) {
        h.engine.PlanDownload(now, now - sixteenths[i] / 16, now, 0, 3, 100, 0);
        EXPECT_EQ(h.engine.planStart() + h.engine.planBatch(), expected[i]) << i;
    }
}

TEST_F(DownloadPlan, StoredCountCapsBothEnds) {
    int barMax = 0;
    const auto b = blocks(h.engine, barMax, now, now - 31, now - 30, 4, 1, 100, 0);
    EXPECT_TRUE(b.empty()); // both ends beyond the 100 stored records
    const auto c = blocks(h.engine, barMax, now, now - 31, now - 2, 4, 1, 100, 0);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].offset, 48);
    EXPECT_EQ(c[0].count, 52);
}

TEST(ChannelFrequency, EveryChannelIsItsHundredKilohertzStep) {
    for (int c = 0; c <= 255; ++c)
        EXPECT_EQ(ChannelFrequency(c), (4300 + 2 * c) / 10.0) << c;
    EXPECT_EQ(ChannelFrequency(20), 434.0);
    EXPECT_EQ(ChannelFrequency(16), 433.2);
    EXPECT_EQ(ChannelFrequency(200), 470.0);
}
