#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace enginetest;

namespace {

std::string hexOf(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty())
            out += ' ';
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

// Times of makeRecords(now, count, period, ...), computed on their own.
std::vector<int64_t> recordSeconds(TDateTime now, int count, int periodHours) {
    const int64_t step = int64_t(periodHours) * 3600;
    const int64_t last = dt::toSeconds(now) / step * step;
    std::vector<int64_t> out;
    for (int i = 0; i < count; ++i)
        out.push_back(last - step * (count - 1 - i));
    return out;
}

std::vector<int64_t> tableSeconds(const LoggerTable& t, int i) {
    std::vector<int64_t> out;
    for (TDateTime v : t.loggers[static_cast<size_t>(i)].RecordTimes)
        out.push_back(dt::toSeconds(v));
    return out;
}

// Where data byte j of a block reply to D0042 sits in the framed bytes: after the 14-byte text
// packet, in packets of 59 data bytes with two bytes before and two after.
size_t dataPos(size_t j) {
    return 14 + j / 59 * 63 + 2 + j % 59;
}

// The offset and count of a block request to D0042.
std::pair<int, int> blockAsked(const std::string& req) {
    const auto u = [&](size_t i) { return static_cast<uint8_t>(req[i]); };
    return {u(6) << 8 | u(7), u(8) << 8 | u(9)};
}

// Where the record at memory offset `offset` sits in the reply to a block request, oldest first;
// -1 when the request does not cover it.
int placeIn(const std::string& req, int offset) {
    const auto [from, count] = blockAsked(req);
    return offset >= from && offset < from + count ? from + count - 1 - offset : -1;
}

std::vector<int> statesOf(const FakeFront& h, int row) {
    std::vector<int> out;
    for (const auto& [r, code] : h.states())
        if (r == row)
            out.push_back(code);
    return out;
}

// The worked example: D0042 with four sensors, 500 records every 3 hours, period of 31 days.
struct Example : ::testing::Test {
    Harness h;
    TestLogger d{"D0042"};
    TDateTime now0 = h.clock.now();
    void SetUp() override {
        h.addLoggers({"D0042"});
        d.status.codes = {11, 12, 13, 14};
        d.status.period = 3;
        d.records = makeRecords(now0, 500, 3, 4);
        h.attach(d);
    }
};

} // namespace

TEST_F(Example, DownloadRequestsThreeBlocksAndStoresTheNewest248InOrder) {
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    ASSERT_FALSE(h.engine.running());
    ASSERT_EQ(d.heard.size(), 4u);
    EXPECT_EQ(d.heard[0], "D0042HEADER-");
    EXPECT_EQ(hexOf(d.heard[1]), "44 30 30 34 32 44 00 87 00 71 2D 2D");
    EXPECT_EQ(hexOf(d.heard[2]), "44 30 30 34 32 44 00 16 00 71 2D 2D");
    EXPECT_EQ(hexOf(d.heard[3]), "44 30 30 34 32 44 00 00 00 16 2D 2D");

    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    EXPECT_TRUE(h.table.invariantsHold());
    EXPECT_EQ(h.table.loggers[0].SensorReadings.size(), 4u);
    EXPECT_EQ(statesOf(h.host, 0),
              (std::vector<int>{NotPolled, NotFound, StatusLoaded, PartlyLoaded, PartlyLoaded, TaskDone}));
    EXPECT_EQ(h.engine.byteCount(), static_cast<int>(statusLength(5, 4)) + 248 * 18);
    EXPECT_EQ(h.engine.failureCount(), 0);
    EXPECT_EQ(h.host.statusRows(), (std::vector<int>{0}));
    EXPECT_EQ(h.host.notices(), "C");
    EXPECT_EQ(h.host.finishedNotices(), 1);
    EXPECT_EQ(h.driven.limitRestarts, 4); // the status request and each block
    EXPECT_EQ(h.host.lastProgress().maximum, 3);
    EXPECT_EQ(h.host.lastProgress().phase, EngineEvent::Phase::None);
    EXPECT_DOUBLE_EQ(h.engine.signalLevel(), -58.0);
}

TEST_F(Example, FinishDateTenDaysBack) {
    h.host.finish = now0 - 10;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    ASSERT_EQ(d.heard.size(), 3u);
    EXPECT_EQ(hexOf(d.heard[1]), "44 30 30 34 32 44 00 87 00 71 2D 2D");
    EXPECT_EQ(hexOf(d.heard[2]), "44 30 30 34 32 44 00 50 00 37 2D 2D");
    EXPECT_EQ(h.table.LoadedRecordCount, 168);
    EXPECT_EQ(h.state(0), TaskDone);
}

TEST_F(Example, ShortStatusIsAskedAgain) {
    Bytes first;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() == 1 && req == "D0042HEADER-") {
            uint8_t seq = 0x21;
            framed = reply(seq, "D0042START");
            first = framed;
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(hexOf(std::string(first.begin(), first.end())), "0D 21 44 30 30 34 32 53 54 41 52 54 20 80");
    EXPECT_EQ(h.engine.failureCount(), 1);
    ASSERT_GE(d.heard.size(), 2u);
    EXPECT_EQ(d.heard[1], "D0042HEADER-");
    EXPECT_EQ(h.driven.limitRestarts, 4); // retransmissions do not restart the time limit
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.host.panel1.rfind("Сбоев: 1 Байт: ", 0), 0u);
}

TEST_F(Example, FramingErrorsAreAskedAgainWhenTheStreamGoesQuiet) {
    // Length byte 3 and 63 (packets of 4 and 64 bytes), 255, status bit clear, a flipped sequence.
    const std::vector<std::function<void(Bytes&)>> faults = {
        [](Bytes& f) { f[0] = 3; },     [](Bytes& f) { f[0] = 63; },     [](Bytes& f) { f[0] = 255; },
        [](Bytes& f) { f[13] = 0x7F; }, [](Bytes& f) { f[15] ^= 0x01; },
    };
    for (size_t k = 0; k < faults.size(); ++k) {
        Harness g;
        TestLogger l{"D0042"};
        l.status.codes = {1, 2, 3, 4};
        l.records = makeRecords(g.clock.now(), 10, 3, 4);
        g.addLoggers({"D0042"});
        g.attach(l);
        l.spoil = [&](const std::string&, Bytes& framed) {
            if (l.heard.size() == 1)
                faults[k](framed);
            return true;
        };
        ASSERT_TRUE(g.start(TTaskKind::Download));
        g.run();
        EXPECT_EQ(g.engine.failureCount(), 1) << k;
        EXPECT_EQ(l.heard[1], "D0042HEADER-") << k;
        EXPECT_EQ(g.table.LoadedRecordCount, 10) << k;
        EXPECT_EQ(g.state(0), TaskDone) << k;
    }
}

TEST_F(Example, SequenceGapBetweenStatusAndBlock) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        // The status reply ended with 0x11; this one's numbers start at 0x05.
        if (d.heard.size() == 2 && req[5] == 'D')
            for (size_t at = 0, k = 0; at < framed.size(); at += framed[at] + 1u, ++k)
                framed[at + 1] = static_cast<uint8_t>(0x05 + k);
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 1);
    ASSERT_GE(d.heard.size(), 3u);
    EXPECT_EQ(d.heard[2], d.heard[1]); // the same block asked again
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    EXPECT_EQ(h.state(0), TaskDone);
}

TEST_F(Example, FirstPacketCutShortIsContinued) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (req == "D0042HEADER-") {
            const Bytes head(framed.begin(), framed.begin() + 6);
            const Bytes rest(framed.begin() + 6, framed.end());
            h.os.feed(head, 100);
            h.os.feed(rest, 400); // silent ticks in between
            return false;
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 0);
    EXPECT_EQ(h.state(0), TaskDone);
}

TEST_F(Example, EmptyAndZeroStoredGiveNoMeasurements) {
    d.answerEmpty = true;
    h.host.attempts[1] = false;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), NoMeasurements);
    EXPECT_EQ(h.host.notices(), "M");
    EXPECT_EQ(d.heard.size(), 1u);

    d.answerEmpty = false;
    d.storedCount = 0;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), NoMeasurements);
    EXPECT_EQ(d.heard.size(), 2u); // no block asked
    EXPECT_EQ(h.host.statusRows().size(), 1u);
}

TEST_F(Example, BeginDateInTheFuture) {
    h.host.begin = now0 + 1;
    h.host.finish = now0 + 2;
    h.host.attempts[1] = false;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), NoMeasurements);
    EXPECT_EQ(d.heard.size(), 1u);
}

TEST_F(Example, ForeignNameIsAskedAgainInADownload) {
    d.spoil = [&](const std::string&, Bytes& framed) {
        if (d.heard.size() == 1)
            framed[2] = 'X'; // "X0042START"
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 1);
    EXPECT_EQ(h.state(0), TaskDone);
}

TEST_F(Example, BlockOfTheWrongLengthIsAskedAgain) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() == 2 && req[5] == 'D')
            framed.resize(framed.size() - 10); // the last packet cut short
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 1);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
}

TEST_F(Example, RecordGivenUpLeavesTheLoggerPartlyLoadedAndAskedAgain) {
    // Second record of the first block (offset 246) spoiled on every try: three tries in each
    // of the two attempts, the whole block first and then that record alone beside a good one,
    // its 112 good ones kept once, and the logger never called done.
    int asks = 0;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        const int at = req[5] == 'D' ? placeIn(req, 246) : -1;
        if (at >= 0) {
            ++asks;
            framed[dataPos(18 * static_cast<size_t>(at) + 3)] ^= 0x20; // its hour
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(asks, 6);
    EXPECT_EQ(std::count(d.heard.begin(), d.heard.end(), d.heard[1]), 2); // the whole block once each
    // Still missing is one record, however often it was asked.
    EXPECT_EQ(h.engine.droppedRecords(), 1);
    EXPECT_EQ(h.table.loggers[0].GivenUpRecords, 1);
    EXPECT_EQ(h.table.LoadedRecordCount, 247);
    EXPECT_EQ(h.state(0), PartlyLoaded);
    EXPECT_TRUE(h.table.invariantsHold());
    EXPECT_NE(h.host.panel1.find("Потеряно записей: 1"), std::string::npos);
}

TEST_F(Example, GoodRecordsOfEveryTryArePutTogether) {
    // Each reply for the first block damages the record at its next place: the second, asking
    // for the oldest record alone, completes the block.
    int tries = 0;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (req[5] == 'D' && blockAsked(req).first >= 135) {
            const size_t at = dataPos(18 * static_cast<size_t>(tries++) + 7);
            if (at < framed.size())
                framed[at] ^= 0x04;
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(tries, 2);
    EXPECT_EQ(h.engine.failureCount(), 1);
    EXPECT_EQ(h.engine.droppedRecords(), 0);
    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
}

TEST_F(Example, NewMeasurementBetweenTriesDiscardsTheEarlierTries) {
    int tries = 0;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() < 2 || req != d.heard[1] || req[5] != 'D')
            return true;
        ++tries;
        if (tries == 1) {
            framed[dataPos(7)] ^= 0x04; // record 0 damaged
            // The logger measures again: every offset now points one record newer.
            d.records.erase(d.records.begin());
            d.records.push_back(makeRecords(now0 + 3.0 / 24, 1, 3, 4)[0]);
        } else if (tries == 2) {
            framed[dataPos(18 * 5 + 7)] ^= 0x04; // record 5 damaged, record 0 good but another
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    // The part asked for after the first reply showed that the memory had moved: the whole block
    // was asked again.
    EXPECT_EQ(tries, 2);
    // The shift left the oldest record short of the begin: the records back to it, the one at the
    // begin itself included, were asked for besides.
    const auto t = tableSeconds(h.table, 0);
    ASSERT_EQ(t.size(), 249u);
    EXPECT_EQ(t.front(), dt::toSeconds(now0 - 31));
    for (size_t i = 1; i < t.size(); ++i)
        ASSERT_LT(t[i - 1], t[i]) << i; // no record twice, none out of order
}

TEST_F(Example, DamagedRecordGoodOnTheSecondTryLosesNothing) {
    int spoiled = 0;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (req[5] == 'D' && spoiled == 0) {
            ++spoiled;
            framed[dataPos(40)] ^= 0x01;
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 1);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
}

TEST_F(Example, RecordWithNoDateIsDroppedLikeADamagedOne) {
    // The oldest record is all zeros (its checksum passes).
    d.records[252] = Bytes(18, 0);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), PartlyLoaded);
    // The next older one was asked for as well, since the damaged one might have been the oldest.
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    EXPECT_EQ(h.table.loggers[0].GivenUpRecords, 1);
    for (TDateTime t : h.table.loggers[0].RecordTimes)
        EXPECT_GT(t, now0 - 32);
}

TEST_F(Example, DownloadCutShortAndStartedAgainHoldsEachRecordOnce) {
    // The second block is never answered in attempt 1; attempt 2 starts over from the status.
    d.spoil = [&](const std::string& req, Bytes&) { return !(d.heard.size() == 3 && req[5] == 'D'); };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    ASSERT_EQ(d.heard.size(), 7u);
    EXPECT_EQ(d.heard[3], "D0042HEADER-");
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
    EXPECT_EQ(statesOf(h.host, 0)[3], PartlyLoaded);
    EXPECT_EQ(h.host.notices(), "MC");
}

TEST_F(Example, NewSensorCountOnTheSecondTurnKeepsTheListsInStep) {
    d.spoil = [&](const std::string& req, Bytes&) { return !(d.heard.size() == 3 && req[5] == 'D'); };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    // Once the first block is in, the logger's string is replaced by one of 2 sensors.
    while (h.table.LoadedRecordCount == 0 && h.engine.running())
        h.step();
    d.status.codes = {7, 8};
    d.records = makeRecords(now0, 500, 3, 2);
    h.run();
    EXPECT_EQ(h.table.loggers[0].SensorReadings.size(), 2u);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    EXPECT_TRUE(h.table.invariantsHold());
}

TEST_F(Example, EndlessStreamIsCutOff) {
    h.host.attempts[1] = false;
    d.spoil = [&](const std::string&, Bytes& framed) {
        uint8_t seq = framed[1];
        Bytes stream = packet(seq++, bytesOf("D0042START"));
        while (stream.size() < 3 * 4096) {
            const Bytes p = packet(seq++, Bytes(59, 0x55));
            stream.insert(stream.end(), p.begin(), p.end());
        }
        framed = stream;
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    size_t largest = 0;
    for (int i = 0; i < 20; ++i) {
        h.step();
        largest = std::max(largest, h.engine.replySize());
    }
    EXPECT_LE(largest, maxStatusLength(5) + TaskEngine::kMaxPacketPayload + 1);
    EXPECT_GE(h.engine.failureCount(), 1);
}

TEST(Reception, NeverReadsMoreThanTheBuffer) {
    Harness h;
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    a.silent = true;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    h.os.feed(Bytes(10000, 0x05));
    h.step();
    ASSERT_FALSE(h.os.readSizes.empty());
    EXPECT_EQ(h.os.readSizes.back(), 4096u);
    h.os.device().claimedInput = 65535; // a port that has gone away
    h.step();
    h.step();
    for (uint32_t n : h.os.readSizes)
        EXPECT_LE(n, 4096u);
}

TEST(Reception, ClosedPortDuringATaskIsHarmless) {
    Harness h;
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    h.port.ClosePort();
    h.run();
    EXPECT_FALSE(h.engine.running());
    EXPECT_EQ(h.state(0), NotFound);
}

TEST(OneShot, SetClockSendsTheTimeAndShowsItWhenConfirmed) {
    Harness h;
    h.clock.setNow(dt::encode(2026, 12, 7, 9, 5, 7));
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    a.delayMs = 100;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::SetTime));
    h.run();
    ASSERT_EQ(a.heard.size(), 1u);
    EXPECT_EQ(hexOf(a.heard[0].substr(2)), "54 07 0C 1A 09 05 07");
    EXPECT_EQ(h.engine.timeText(), "07.12.26 09:05:07");
    EXPECT_EQ(h.host.lastText(EngineEvent::ClockConfirmed, 0), "07.12.26 09:05:07");
    EXPECT_EQ(h.state(0), TaskDone);
}

TEST(OneShot, SetClockRetransmissionCarriesTheTimeOfNow) {
    Harness h;
    h.clock.setNow(dt::encode(2026, 12, 7, 9, 5, 7));
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    a.delayMs = 2000;
    a.spoil = [&](const std::string&, Bytes& framed) {
        if (a.heard.size() == 1)
            framed.back() = 0x7F;
        return true;
    };
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::SetTime));
    h.run();
    ASSERT_EQ(a.heard.size(), 2u);
    EXPECT_EQ(hexOf(a.heard[1].substr(2)), "54 07 0C 1A 09 05 09");
    EXPECT_EQ(h.host.lastText(EngineEvent::ClockConfirmed, 0), "07.12.26 09:05:09");
    EXPECT_EQ(h.engine.failureCount(), 1);
}

TEST(OneShot, RequestsAndAcknowledgements) {
    struct Case {
        TTaskKind kind;
        std::string request;
    };
    const Case cases[] = {{TTaskKind::Erase, "ERASE--"},
                          {TTaskKind::SetPeriod, std::string("P\x05-----")},
                          {TTaskKind::Measure, "MEASE--"},
                          {TTaskKind::SetChannel, std::string("C\x17-----")}};
    for (const Case& c : cases) {
        Harness h;
        h.host.loggerPeriodValue = 5;
        h.host.loggerChannelValue = 23;
        h.addLoggers({"A1", "B2"});
        TestLogger a{"A1"};
        TestLogger b{"B2"};
        h.attach(a);
        h.attach(b);
        ASSERT_TRUE(h.start(c.kind));
        h.run();
        EXPECT_EQ(a.heard, (std::vector<std::string>{"A1" + c.request}));
        EXPECT_EQ(h.state(0), TaskDone);
        EXPECT_EQ(h.state(1), TaskDone);
        EXPECT_EQ(h.host.notices(), "CC");
    }
}

TEST(OneShot, WrongReplyMovesOnAndTriesAgainNextAttempt) {
    Harness h;
    h.addLoggers({"A1", "B2"});
    TestLogger a{"A1"};
    TestLogger b{"B2"};
    a.spoil = [&](const std::string&, Bytes& framed) {
        if (a.heard.size() == 1) {
            uint8_t seq = framed[1];
            framed = reply(seq, "B2READY"); // a foreign name
        }
        return true;
    };
    h.attach(a);
    h.attach(b);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    h.run();
    EXPECT_EQ(a.heard.size(), 2u);
    EXPECT_EQ(h.engine.failureCount(), 0);
    EXPECT_EQ(statesOf(h.host, 0), (std::vector<int>{NotPolled, NotFound, NotFound, TaskDone}));
    EXPECT_EQ(h.host.notices(), "MCC");
}

TEST(Mends, ElevenCharacterNameWithoutSensorsShowsItsError) {
    Harness h;
    h.addLoggers({"D4071534826"});
    TestLogger l{"D4071534826"};
    l.status.codes = {};
    l.status.error = 1;
    l.storedCount = 0;
    h.host.attempts[1] = false;
    h.attach(l);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.host.statusRows().size(), 1u);
    EXPECT_EQ(h.table.StatusError, 1);
    EXPECT_EQ(h.state(0), NoMeasurements);
    EXPECT_EQ(h.engine.failureCount(), 0);
}

TEST(Mends, ImpossibleStatusClockIsShownRaw) {
    Harness h;
    h.addLoggers({"A1"});
    TestLogger l{"A1"};
    const uint8_t bad[6] = {0, 13, 26, 24, 0, 0};
    std::copy(bad, bad + 6, l.status.clock);
    l.records = makeRecords(h.clock.now(), 3, 3, 2);
    h.attach(l);
    l.clock = nullptr;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_FALSE(h.engine.statusClockValid());
    EXPECT_TRUE(std::isnan(h.table.StatusClock));
    EXPECT_EQ(h.host.lastText(EngineEvent::StatusDecoded, 0), "00.13.26 24:00:00");
    EXPECT_EQ(h.table.LoadedRecordCount, 3);
}

TEST(Mends, SixtySensorsInSmallBlocks) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.blockPosition = 3;
    TestLogger l{"A1"};
    l.status.codes.assign(60, 1);
    l.records = makeRecords(h.clock.now(), 7, 3, 60);
    h.attach(l);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    ASSERT_EQ(l.heard.size(), 4u); // 3 + 3 + 1
    EXPECT_EQ(hexOf(l.heard[1].substr(2)), "44 00 04 00 03 2D 2D");
    EXPECT_EQ(h.table.LoadedRecordCount, 7);
}

TEST(LinkDisplay, LevelsAndBarWidths) {
    EXPECT_DOUBLE_EQ(TaskEngine::levelOfStrength(0x20), -58.0);
    EXPECT_DOUBLE_EQ(TaskEngine::levelOfStrength(0xA0), -122.0);
    EXPECT_DOUBLE_EQ(TaskEngine::levelOfStrength(0x80), -138.0);
    EXPECT_DOUBLE_EQ(TaskEngine::levelOfStrength(0x7F), -10.5);
    EXPECT_EQ(TaskEngine::signalBarWidth(-74), 23);
    EXPECT_EQ(TaskEngine::signalBarWidth(-110), 1);
    EXPECT_EQ(TaskEngine::signalBarWidth(-20), 55);
    EXPECT_EQ(TaskEngine::signalBarWidth(-107.5), 2); // a tie, to even
    EXPECT_EQ(TaskEngine::signalBarWidth(-138), 0);
    EXPECT_EQ(TaskEngine::signalBarWidth(-122), 0);
}

TEST(LinkDisplay, ShownStateFeedsTheRowAndTheAnalyzer) {
    Harness h;
    h.addLoggers({"A1"});
    h.engine.setSignalLevel(-107.5);
    h.table.CurrentLogger = 0;
    const auto links = [&] { return h.host.of(EngineEvent::LinkLevel); };
    h.engine.ShowState(NotFound);
    EXPECT_TRUE(links().empty()); // codes below 2 leave the link alone
    h.engine.ShowState(StatusLoaded);
    EXPECT_EQ(h.table.loggers[0].LoggerState, StatusLoaded);
    ASSERT_EQ(links().size(), 1u);
    EXPECT_EQ(links()[0].row, 0);
    EXPECT_EQ(links()[0].barWidth, 2);
    EXPECT_DOUBLE_EQ(links()[0].level, -107.5);
    EXPECT_EQ(h.host.panel1, "Сбоев: 0 Байт: 0");
    h.table.CurrentLogger = 1; // out of range: guarded, no row, yet the analyzer hears the level
    h.engine.ShowState(TaskDone);
    EXPECT_EQ(links().size(), 1u);
    h.engine.UpdateLinkDisplay();
    ASSERT_EQ(links().size(), 2u);
    EXPECT_EQ(links()[1].row, -1);
}

TEST(LinkDisplay, CountsTextNamesWhatIsNotZero) {
    EngineEvent e;
    e.kind = EngineEvent::Counts;
    e.failures = 3;
    e.bytes = 1200;
    EXPECT_EQ(panelText(e), "Сбоев: 3 Байт: 1200");
    e.dropped = 2;
    e.unarchived = 5;
    EXPECT_EQ(panelText(e), "Сбоев: 3 Байт: 1200 Потеряно записей: 2 Не в архиве: 5");
}

TEST(SetClockBytes, FromTheTimeText) {
    EXPECT_EQ(hexOf(TaskEngine::setClockBytes("07.12.26 09:05:07")), "07 0C 1A 09 05 07");
    EXPECT_EQ(hexOf(TaskEngine::setClockBytes("31.01.99 23:59:59")), "1F 01 63 17 3B 3B");
}

// A reply is taken the moment it holds what it announced; anything else waits for the quiet line.
namespace {
// Offsets of the packets in framed bytes.
std::vector<size_t> packetStarts(const Bytes& framed) {
    std::vector<size_t> out;
    for (size_t at = 0; at < framed.size(); at += framed[at] + 1u)
        out.push_back(at);
    return out;
}
} // namespace

struct ReplyTiming : Example {
    std::vector<std::pair<std::string, uint64_t>> sent; // requests with their times
    std::function<bool(Bytes&)> spoilFirstBlock;        // false: the test feeds the reply itself
    void SetUp() override {
        Example::SetUp();
        d.spoil = [this](const std::string& req, Bytes& framed) {
            sent.emplace_back(req, h.clock.elapsedMs());
            if (req[5] == 'D' &&
                std::count_if(sent.begin(), sent.end(), [](const auto& s) { return s.first[5] == 'D'; }) ==
                    1 &&
                spoilFirstBlock)
                return spoilFirstBlock(framed);
            return true;
        };
    }
    // The first block, spoiled, is judged as soon as the packet with its last byte is in, without
    // waiting for the quiet line, and asked for again: `again` is the second request's offset and
    // count.
    void expectFirstBlockAskedAgainAtOnce(std::pair<int, int> again) {
        ASSERT_TRUE(h.start(TTaskKind::Download));
        h.run();
        const auto t = blockTimes();
        ASSERT_GE(t.size(), 2u);
        EXPECT_EQ(blockAsked(sent[2].first), again);
        EXPECT_EQ(t[1] - t[0], 150u);
        EXPECT_EQ(h.engine.failureCount(), 1);
        EXPECT_EQ(h.table.LoadedRecordCount, 248);
    }
    std::vector<uint64_t> blockTimes() const {
        std::vector<uint64_t> out;
        for (const auto& [req, at] : sent)
            if (req[5] == 'D')
                out.push_back(at);
        return out;
    }
};

TEST_F(ReplyTiming, WholeRepliesAreTakenInTheTickTheirLastByteArrives) {
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    // Each reply arrives 120 ms after its request and is read by the tick at 150 ms.
    const auto t = blockTimes();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[0] - sent[0].second, 150u);
    EXPECT_EQ(t[1] - t[0], 150u);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
}

TEST_F(ReplyTiming, StatusWhoseSensorCountArrivesLastIsTakenWhenItHasCome) {
    d.spoil = [this](const std::string& req, Bytes& framed) {
        sent.emplace_back(req, h.clock.elapsedMs());
        if (req[5] != 'H')
            return true;
        // Cut just before data byte L + 3, the sensor count: the first part holds too little to
        // know the length.
        const size_t cut = dataPos(5 + 3);
        h.os.feed(Bytes(framed.begin(), framed.begin() + static_cast<long>(cut)), 120);
        h.os.feed(Bytes(framed.begin() + static_cast<long>(cut), framed.end()), 170);
        return false;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    const auto t = blockTimes();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t[0] - sent[0].second, 200u);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
}

// The first block comes one byte short, or with an extra packet after its end: read at 150 ms,
// judged at once, and asked again.
TEST_F(ReplyTiming, BlockOneByteShortIsAskedAgainAtOnce) {
    spoilFirstBlock = [](Bytes& framed) {
        const size_t last = packetStarts(framed).back();
        framed.erase(framed.begin() + static_cast<long>(last) + 2);
        framed[last] = static_cast<uint8_t>(framed[last] - 1);
        return true;
    };
    // The last packet's bytes are one place off: its two records fail and are asked beside a good one.
    expectFirstBlockAskedAgainAtOnce({135, 3});
}

TEST_F(ReplyTiming, BlockWithAPacketAfterItsEndIsAskedAgainAtOnce) {
    spoilFirstBlock = [](Bytes& framed) {
        const size_t last = packetStarts(framed).back();
        const Bytes extra = packet(static_cast<uint8_t>(framed[last + 1] + 1), Bytes(4, 0x33));
        framed.insert(framed.end(), extra.begin(), extra.end());
        return true;
    };
    expectFirstBlockAskedAgainAtOnce({135, 113}); // longer than asked: all of it again
}

// A record damaged in every try of the first attempt and whole in the second is not missing.
TEST_F(Example, RecordGivenUpOnceAndReceivedLaterIsNotCountedMissing) {
    d.records = makeRecords(now0, 1, 3, 4);
    int blockReplies = 0;
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (req[5] == 'D' && ++blockReplies <= TaskEngine::kBlockTries)
            framed[dataPos(3)] ^= 0x01;
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.table.loggers[0].GivenUpRecords, 0);
    EXPECT_EQ(h.engine.droppedRecords(), 0);
    EXPECT_EQ(h.table.LoadedRecordCount, 1);
}

// Twelve measurements between two blocks move the memory further than the records asked for
// between them can follow: the logger is left partly loaded, with what came in order and once.
TEST_F(Example, GapTheProbesCannotCloseLeavesTheLoggerPartlyLoaded) {
    h.host.attempts[1] = false;
    d.spoil = [&](const std::string& req, Bytes&) {
        if (d.heard.size() > 1 && req == d.heard[1] && d.records.size() == 500) {
            const auto fresh = makeRecords(now0 + 36.0 / 24, 12, 3, 4, 9);
            d.records.insert(d.records.end(), fresh.begin(), fresh.end());
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), PartlyLoaded);
    EXPECT_GE(h.table.loggers[0].GivenUpRecords, 1);
    const auto t = tableSeconds(h.table, 0);
    for (size_t i = 1; i < t.size(); ++i)
        ASSERT_LT(t[i - 1], t[i]) << i;
}

// A logger that answers the second block with the first one's records again adds nothing twice,
// and is not called done.
TEST_F(Example, RecordsSentAgainInABlockAreHeldOnce) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() < 3 || req != d.heard[2])
            return true;
        d.seq = static_cast<uint8_t>(d.seq - packetStarts(framed).size());
        framed = d.answer(d.heard[1]);
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), PartlyLoaded);
    const auto t = tableSeconds(h.table, 0);
    for (size_t i = 1; i < t.size(); ++i)
        ASSERT_LT(t[i - 1], t[i]) << i;
}

// A packet that comes after a block already whole, in a read of its own as a line delivers it,
// is not taken for the start of the next reply.
TEST_F(Example, LatePacketAfterAWholeBlockDoesNotSpoilTheNextExchange) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() != 2 || req != d.heard[1])
            return true;
        h.os.feed(framed, d.delayMs);
        h.os.feed(packet(d.seq++, Bytes(4, 0x33)), d.delayMs + 40); // after the block was taken
        return false;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.engine.failureCount(), 0);
    EXPECT_EQ(d.heard.size(), 4u);
    EXPECT_EQ(h.table.LoadedRecordCount, 248);
    EXPECT_EQ(h.state(0), TaskDone);
}

// One fault in the first block's reply (36 packets: the text, then 35 of data): the records are
// those of an intact reply, and the one request that follows asks only for what was lost, beside
// one record already held.
struct PacketFault {
    const char* what;
    int packet;       // 0 the text packet
    bool lost;        // never arrives; otherwise damaged (status bit clear, payload spoiled)
    bool cutFromHere; // the reply ends inside this packet
};

class SelectiveRepeat : public Example, public ::testing::WithParamInterface<PacketFault> {};

TEST_P(SelectiveRepeat, KeepsWhatCameWholeAndAsksOnlyForTheRest) {
    const PacketFault f = GetParam();
    size_t firstLost = SIZE_MAX, lastLost = 0; // data bytes the fault takes
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (d.heard.size() != 2 || req[5] != 'D')
            return true;
        const auto starts = packetStarts(framed);
        const size_t at = starts[static_cast<size_t>(f.packet)];
        const size_t len = framed[at] + 1u;
        if (f.packet > 0) {
            firstLost = static_cast<size_t>(f.packet - 1) * 59;
            lastLost = f.cutFromHere ? 2033 : std::min<size_t>(2033, firstLost + 58);
        }
        if (f.cutFromHere)
            framed.resize(at + len / 2);
        else if (f.lost)
            framed.erase(framed.begin() + static_cast<long>(at),
                         framed.begin() + static_cast<long>(at + len));
        else {
            for (size_t b = at + 2; b + 2 < at + len; ++b)
                framed[b] ^= 0x5A;
            framed[at + len - 1] = 0x00;
        }
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.engine.failureCount(), 1);
    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
    if (firstLost == SIZE_MAX) {
        // Only the text was hurt: the data said all, and nothing was asked again.
        EXPECT_EQ(d.heard.size(), 4u);
        return;
    }
    ASSERT_EQ(d.heard.size(), 5u);
    // Records run oldest first from offset 247: byte j of the block belongs to offset 247 - j / 18.
    const int newestLost = 247 - static_cast<int>(lastLost / 18),
              oldestLost = 247 - static_cast<int>(firstLost / 18);
    const auto [from, count] = blockAsked(d.heard[2]);
    EXPECT_LE(from, newestLost) << f.what;
    EXPECT_GE(from + count - 1, oldestLost) << f.what;
    EXPECT_LE(count, oldestLost - newestLost + 2) << f.what;
}

INSTANTIATE_TEST_SUITE_P(PacketFaults, SelectiveRepeat,
                         ::testing::Values(PacketFault{"text damaged", 0, false, false},
                                           PacketFault{"text lost", 0, true, false},
                                           PacketFault{"first damaged", 1, false, false},
                                           PacketFault{"first lost", 1, true, false},
                                           PacketFault{"middle damaged", 17, false, false},
                                           PacketFault{"middle lost", 17, true, false},
                                           PacketFault{"last damaged", 35, false, false},
                                           PacketFault{"last lost", 35, true, false},
                                           PacketFault{"cut off in the middle", 20, false, true}),
                         [](const ::testing::TestParamInfo<PacketFault>& i) {
                             std::string n = i.param.what;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             return n;
                         });

// Replies cut off early, four in a row: after every second one the requests on the air are
// halved, down to the smallest block size, and replies that come whole double them again. The
// plan's blocks, the bar and the records are those of a good link, and each cut reply is one
// failure.
TEST_F(Example, RequestsShrinkAfterRepliesCutOffAndGrowBackAfterWholeOnes) {
    d.spoil = [&](const std::string& req, Bytes& framed) {
        if (req[5] == 'D' && d.heard.size() >= 2 && d.heard.size() <= 5)
            framed.resize(packetStarts(framed)[3] + 10);
        return true;
    };
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.engine.failureCount(), 4);
    const auto all = recordSeconds(now0, 500, 3);
    EXPECT_EQ(tableSeconds(h.table, 0), std::vector<int64_t>(all.begin() + 252, all.end()));
    std::vector<int> counts;
    for (size_t i = 1; i < d.heard.size(); ++i)
        counts.push_back(blockAsked(d.heard[i]).second);
    // 2048-byte blocks hold 113 records of four sensors, 512-byte ones 28; the rest of a block
    // after a cut goes with one record already held.
    ASSERT_GE(counts.size(), 7u);
    EXPECT_EQ(counts[0], 113);
    EXPECT_LE(counts[2], 57);
    EXPECT_LE(counts[4], 29);
    EXPECT_GT(counts[5], counts[4]);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 113), 2); // the first try and the next block whole
    // The bar counts the plan's three blocks, not the requests.
    std::vector<int> bar;
    for (const EngineEvent& e : h.host.of(EngineEvent::Progress))
        if (e.phase == EngineEvent::Phase::Load && e.maximum == 3)
            bar.push_back(e.position);
    EXPECT_EQ(std::vector<int>(bar.begin(), bar.begin() + std::min<size_t>(bar.size(), 4)),
              (std::vector<int>{0, 1, 2, 3}));
}
