#include "SimTestUtil.h"

#include "engine/Crc8.h"

#include <algorithm>
#include <cmath>

namespace {

// 4 sensors, period 3 h, 500 records; the fake clock starts on a period boundary (12:00).
const char* kFourSensors = R"({"modem": {"port": 6, "channel": 20},
  "loggers": [{"name": "D0042", "channel": 20, "sensors": [1, 2, 3, 4], "period": 3, "replyDelayMs": 200,
               "packetGapMs": 0, "generate": {"count": 500}}]})";

Bytes blockRequest(const std::string& name, int off, int cnt) {
    return cat(bytesOf(name + "D"),
               {uint8_t(off >> 8), uint8_t(off), uint8_t(cnt >> 8), uint8_t(cnt), '-', '-'});
}

struct Reply {
    std::string text;
    Bytes data;
    std::vector<Packet> packets;
};

Reply parse(const Bytes& stream) {
    Reply r;
    r.packets = splitPackets(stream);
    for (size_t i = 0; i < r.packets.size(); ++i) {
        if (i == 0)
            r.text.assign(r.packets[0].payload.begin(), r.packets[0].payload.end());
        else
            r.data.insert(r.data.end(), r.packets[i].payload.begin(), r.packets[i].payload.end());
    }
    return r;
}

// Offset (periods back from now) of a record, read from its own date bytes.
int offsetOf(const Bytes& data, size_t at, TDateTime newest, int periodHours) {
    const TDateTime t =
        dt::encode(2000 + data[at + 2], data[at + 1], data[at], data[at + 3], data[at + 4], data[at + 5]);
    return int(std::nearbyint((newest - t) * 24 / periodHours));
}

TEST(SimLoggerBlocks, OffsetsCountBackFromTheNewestOldestFirst) {
    Rig rig(kFourSensors);
    rig.openAsProgram();
    const TDateTime newest = rig.clock.now(); // 12:00 is a 3 h boundary
    rig.air(blockRequest("D0042", 135, 113));
    Reply r = parse(rig.waitReply());
    EXPECT_EQ(r.text, "D0042START");
    ASSERT_EQ(r.data.size(), 113u * 18);
    for (size_t k = 0; k < 113; ++k) {
        EXPECT_EQ(offsetOf(r.data, k * 18, newest, 3), int(135 + 112 - k)) << k;
        EXPECT_EQ(crc8::compute(r.data.data() + k * 18, 18), 0) << k;
    }

    rig.air(blockRequest("D0042", 0, 22));
    r = parse(rig.waitReply());
    ASSERT_EQ(r.data.size(), 22u * 18);
    EXPECT_EQ(offsetOf(r.data, 21 * 18, newest, 3), 0);
    EXPECT_EQ(offsetOf(r.data, 0, newest, 3), 21);
}

TEST(SimLoggerBlocks, PastTheOldestRecordMemoryReadsErasedAndZeroCountSendsOnlyText) {
    Rig rig(kFourSensors);
    rig.openAsProgram();
    rig.air(blockRequest("D0042", 498, 4)); // offsets 501..498: two beyond the 500 stored
    Reply r = parse(rig.waitReply());
    ASSERT_EQ(r.data.size(), 4u * 18);
    EXPECT_TRUE(std::all_of(r.data.begin(), r.data.begin() + 36, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(crc8::compute(r.data.data() + 36, 18), 0);

    rig.air(blockRequest("D0042", 0, 0));
    r = parse(rig.waitReply());
    EXPECT_EQ(r.text, "D0042START");
    EXPECT_EQ(r.packets.size(), 1u);
}

TEST(SimLoggerBlocks, SequenceNumbersRunOnAcrossPacketsAndReplies) {
    Rig rig(kFourSensors);
    rig.openAsProgram();
    std::vector<uint8_t> seqs;
    for (const Bytes& req :
         {bytesOf("D0042HEADER-"), blockRequest("D0042", 135, 113), bytesOf("D0042HEADER-")}) {
        rig.air(req);
        for (const Packet& p : splitPackets(rig.waitReply()))
            seqs.push_back(p.seq);
    }
    ASSERT_EQ(seqs.size(), 2u + 36 + 2);
    for (size_t i = 1; i < seqs.size(); ++i)
        EXPECT_EQ(uint8_t(seqs[i - 1] + 1), seqs[i]) << i; // wraps through 255 as well
}

TEST(SimLoggerBlocks, ABlockTakesItsLineTimeAt57600) {
    Rig rig(kFourSensors);
    rig.openAsProgram();
    rig.air(blockRequest("D0042", 135, 113));
    // 36 packets: 10 text bytes + 2034 data bytes + 4 framing bytes each = 2188 bytes, 379.86 ms
    // on the line after the 12-byte request (2.08 ms) and the 200 ms reply delay.
    rig.clock.advanceMs(202);
    EXPECT_TRUE(rig.readAll().empty());
    rig.clock.advanceMs(198); // 400 ms: about (400 - 202.08) * 5.76 bytes are in
    const size_t early = rig.readAll().size();
    EXPECT_NEAR(double(early), (400 - 202.083) * 5.76, 2.0);
    rig.clock.advanceMs(181); // 581 ms: floor((581 - 202.083) * 5.76) = 2182 bytes in
    const size_t mid = rig.readAll().size();
    EXPECT_EQ(early + mid, 2182u);
    rig.clock.advanceMs(1); // the last byte lands at 581.94 ms
    EXPECT_EQ(rig.readAll().size(), 6u);
    rig.clock.advanceMs(1000);
    EXPECT_TRUE(rig.readAll().empty());
}

TEST(SimLinkBudget, PowerAndChannelDecideWhoHears) {
    Rig rig(R"({"modem": {"port": 6, "channel": 20},
      "loggers": [{"name": "D1", "channel": 20, "needPower": 10},
                  {"name": "D2", "channel": 21, "needPower": -10}]})");
    rig.openAsProgram();
    auto answered = [&](const std::string& name) {
        rig.air(bytesOf(name + "HEADER-"));
        return !rig.waitReply().empty();
    };
    rig.command({'#', 'P', 0x60}); // 0 dBm
    EXPECT_FALSE(answered("D1"));
    EXPECT_FALSE(answered("D2")); // another channel
    rig.command({'#', 'P', 0x6E});
    EXPECT_EQ(rig.devices.powerDbm(), -10);
    rig.command({'#', 'P', 0x42}); // unknown code: power unchanged
    EXPECT_EQ(rig.devices.powerDbm(), -10);
    rig.command({'#', 'P', 0xC0});
    EXPECT_TRUE(answered("D1"));
    rig.command({'#', 'C', 21});
    EXPECT_TRUE(answered("D2"));
    EXPECT_FALSE(answered("D1"));
    EXPECT_EQ(rig.devices.requestsHeard(0), 1); // unheard requests never reached it
}

TEST(SimLinkBudget, AReplyIsLostWhenTheModemLeavesTheChannelAndALoggerFollowsSetChannel) {
    Rig rig(R"({"modem": {"port": 6, "channel": 20}, "loggers": [{"name": "D1", "channel": 20}]})");
    rig.openAsProgram();
    rig.air(bytesOf("D1HEADER-"));
    rig.clock.advanceMs(100);
    rig.command({'#', 'C', 22});
    EXPECT_TRUE(rig.waitReply().empty());

    rig.command({'#', 'C', 20});
    rig.air(cat(bytesOf("D1C"), {22, '-', '-', '-', '-', '-'}));
    EXPECT_EQ(parse(rig.waitReply()).text, "D1READY"); // acknowledged on the old channel
    rig.air(bytesOf("D1HEADER-"));
    EXPECT_TRUE(rig.waitReply().empty());
    rig.command({'#', 'C', 22});
    rig.air(bytesOf("D1HEADER-"));
    EXPECT_EQ(parse(rig.waitReply()).text, "D1START");
}

TEST(SimModem, ReportingModeSendsNoiseOnlyWhileDtrIsHigh) {
    Rig rig(R"({"seed": 3, "modem": {"port": 6, "noise": {"rate": 10, "level": -110, "jitter": 3}}})");
    rig.openAsProgram();
    rig.command({'#', 'T', 0x01, 0x00, 0x32});
    EXPECT_TRUE(rig.waitReply(5000).empty()); // DTR low
    rig.os.setDtr(true);
    const Bytes b = rig.waitReply(10000);
    ASSERT_EQ(b.size() % 4, 0u);
    const auto packets = splitPackets(b);
    EXPECT_GT(packets.size(), 70u);
    EXPECT_LT(packets.size(), 130u);
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].length, 3);
        EXPECT_GE(packets[i].status, 0x80);
        const double level = int8_t(packets[i].strength) / 2.0 - 74;
        EXPECT_GE(level, -113.5);
        EXPECT_LE(level, -106.5);
        if (i > 0) {
            EXPECT_EQ(uint8_t(packets[i - 1].seq + 1), packets[i].seq);
        }
    }
    rig.command({'#', 'T', 0x02, 0x00, 0x12});
    rig.readAll();
    EXPECT_TRUE(rig.waitReply(5000).empty());
    EXPECT_EQ(rig.devices.mode(), SimDevices::Mode::Task);
}

// The pty front end drops this at "#?" and "#T": no tail of a report cut short may lead the next
// reply, while a logger's reply already on its way still comes whole.
TEST(SimModem, DroppingOwnReportsLeavesNoTailAndKeepsLoggerReplies) {
    Rig rig(R"({"modem": {"port": 6, "noise": {"rate": 200, "level": -100}},
               "loggers": [{"name": "D1", "replyDelayMs": 20}]})");
    rig.openAsProgram();
    rig.os.setDtr(true);
    rig.command({'#', 'T', 0x01, 0x00, 0x32});
    rig.air(bytesOf("D1HEADER-"));
    bool cut = false;
    for (int ms = 0; ms < 2000 && !cut; ++ms) {
        rig.clock.advanceMs(1);
        cut = rig.devices.available() % 4 != 0; // only noise so far: a report is half through
    }
    ASSERT_TRUE(cut);
    rig.devices.dropArrivedAndOwnReports();
    rig.command({'#', 'T', 0x02, 0x00, 0x12});
    const Bytes reply = rig.waitReply();
    size_t rest = 0;
    const auto packets = splitPackets(reply, &rest);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(packets[0].payload, bytesOf("D1START"));
    for (const Packet& p : packets)
        EXPECT_GT(p.length, 3); // no noise report
}

TEST(SimLoggerRequests, ClockEraseMeasurePeriodChangeTheLogger) {
    Rig rig(R"({"modem": {"port": 6}, "loggers": [{"name": "D7", "sensors": [5], "clockOffset": -7200,
                                                    "advance": 3, "period": 3, "generate": {"count": 4}}]})");
    rig.openAsProgram();
    auto status = [&] {
        rig.air(bytesOf("D7HEADER-"));
        return parse(rig.waitReply()).data;
    };
    // D7, type, serial(2), n=1, code(2), reserved, crc | error, battery(2), clock(6), advance(2), period,
    // count(2)
    Bytes s = status();
    ASSERT_EQ(s.size(), 2u + 2 + 20);
    EXPECT_EQ(Bytes(s.begin() + 13, s.begin() + 19), (Bytes{7, 12, 26, 10, 0, 0})); // 2 h behind
    EXPECT_EQ(s[20], 3);
    EXPECT_EQ(s[21], 3);
    EXPECT_EQ(s[22] * 256 + s[23], 4);

    rig.air(cat(bytesOf("D7T"), {7, 12, 26, 9, 5, 7}));
    EXPECT_EQ(parse(rig.waitReply()).text, "D7READY");
    s = status();
    EXPECT_EQ(Bytes(s.begin() + 13, s.begin() + 19), (Bytes{7, 12, 26, 9, 5, 9}));
    EXPECT_EQ(s[20], 0); // a set clock clears the advance

    rig.air(cat(bytesOf("D7T"), {31, 2, 26, 9, 5, 7})); // no 31 February: not acknowledged
    EXPECT_TRUE(rig.waitReply().empty());

    rig.air(bytesOf("D7MEASE--"));
    EXPECT_EQ(parse(rig.waitReply()).text, "D7READY");
    EXPECT_EQ(rig.devices.logger(0).recordCount(), 5u);

    rig.air(cat(bytesOf("D7P"), {6, '-', '-', '-', '-', '-'}));
    EXPECT_EQ(parse(rig.waitReply()).text, "D7READY");
    EXPECT_EQ(status()[21], 6);

    rig.air(bytesOf("D7ERASE--"));
    EXPECT_EQ(parse(rig.waitReply()).text, "D7ERASE");
    rig.air(blockRequest("D7", 0, 1));
    EXPECT_EQ(parse(rig.waitReply()).text, "D7EMPTY");
    s = status();
    EXPECT_EQ(s[22] * 256 + s[23], 0);

    rig.air(bytesOf("D7ERASE-x")); // malformed requests get no answer
    EXPECT_TRUE(rig.waitReply().empty());
}

TEST(SimLoggerRequests, ALoggerMeasuresAtEveryPeriodBoundary) {
    Rig rig(R"({"modem": {"port": 6}, "loggers": [{"name": "D7", "sensors": [5], "period": 3, "memory": 6,
                                                    "generate": {"count": 5}}]})");
    rig.openAsProgram();
    rig.clock.advanceMs(3 * 3600 * 1000 - 1000);
    rig.air(bytesOf("D7MEASE--"));
    rig.waitReply();
    EXPECT_EQ(rig.devices.logger(0).recordCount(), 6u);
    rig.clock.advanceMs(2 * 3 * 3600 * 1000);
    rig.air(bytesOf("D7HEADER-"));
    rig.waitReply();
    // Two more boundaries passed; the memory of 6 keeps the newest.
    const auto& recs = rig.devices.logger(0).records();
    ASSERT_EQ(recs.size(), 6u);
    EXPECT_EQ(recs.back().stamp[3], 21); // 12:00 + 9 h
    EXPECT_EQ(recs[recs.size() - 2].stamp[3], 18);
}

} // namespace
