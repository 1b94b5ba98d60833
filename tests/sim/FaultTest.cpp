#include "SimTestUtil.h"

#include "engine/Crc8.h"

namespace {

std::string scenario(const std::string& faults, int seed = 11) {
    return R"({"seed": )" + std::to_string(seed) + R"(, "modem": {"port": 6},
      "loggers": [{"name": "D0042", "sensors": [1, 2, 3, 4], "packetGapMs": 0, "firstSequence": 250,
                   "generate": {"count": 300}, "faults": {)" +
           faults + "}}]}";
}

const Bytes kBlock = cat(bytesOf("D0042D"), {0x00, 0x10, 0x00, 0x71, '-', '-'}); // 113 records
const Bytes kStatus = bytesOf("D0042HEADER-");

// The bytes of the first `n` replies to the block request.
std::vector<Bytes> run(const std::string& json, int n, const Bytes& req = kBlock) {
    Rig rig(json);
    rig.openAsProgram();
    std::vector<Bytes> out;
    for (int i = 0; i < n; ++i) {
        rig.air(req);
        out.push_back(rig.waitReply(5000));
    }
    return out;
}

size_t badRecords(const Bytes& stream) {
    const auto packets = splitPackets(stream);
    Bytes data;
    for (size_t i = 1; i < packets.size(); ++i)
        data.insert(data.end(), packets[i].payload.begin(), packets[i].payload.end());
    size_t bad = 0;
    for (size_t r = 0; r + 18 <= data.size(); r += 18)
        bad += crc8::compute(data.data() + r, 18) != 0;
    return bad;
}

TEST(SimFaults, TheSameSeedReplaysTheSameFaultsAndAnotherSeedDoesNot) {
    const std::string f = R"("damage": 0.2, "statusBitClear": 0.1, "sequenceGap": 0.3, "badRecordCrc": 0.1,
                             "truncate": 0.3, "slowFraction": 0.3, "slowMs": 1000)";
    const auto a = run(scenario(f, 11), 8);
    const auto b = run(scenario(f, 11), 8);
    const auto c = run(scenario(f, 12), 8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(SimFaults, EachFaultShowsAsTheProgramWouldSeeIt) {
    const Bytes clean = run(scenario(""), 1)[0];
    const auto cleanPackets = splitPackets(clean);
    ASSERT_EQ(cleanPackets.size(), 36u);
    EXPECT_EQ(badRecords(clean), 0u);

    for (const Packet& p : splitPackets(run(scenario(R"("statusBitClear": 1)"), 1)[0]))
        EXPECT_LT(p.status, 0x80);

    // One skipped number somewhere in the run of the reply.
    const auto gapped = splitPackets(run(scenario(R"("sequenceGap": 1)"), 1)[0]);
    int gaps = 0;
    for (size_t i = 1; i < gapped.size(); ++i) {
        const int step = uint8_t(gapped[i].seq - gapped[i - 1].seq);
        EXPECT_TRUE(step == 1 || step == 2);
        gaps += step == 2;
    }
    EXPECT_LE(gaps, 1);
    EXPECT_TRUE(gaps == 1 || gapped[0].seq != cleanPackets[0].seq);

    EXPECT_EQ(badRecords(run(scenario(R"("badRecordCrc": 1)"), 1)[0]), 113u);
    const size_t some = badRecords(run(scenario(R"("badRecordCrc": 0.5)"), 1)[0]);
    EXPECT_GT(some, 30u);
    EXPECT_LT(some, 83u);

    const Bytes cut = run(scenario(R"("truncate": 1)"), 1)[0];
    EXPECT_LT(cut.size(), clean.size());
    EXPECT_FALSE(cut.empty());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), clean.begin())); // a prefix, nothing else changed

    // Damage flips exactly one bit in every packet.
    const Bytes damaged = run(scenario(R"("damage": 1)"), 1)[0];
    ASSERT_EQ(damaged.size(), clean.size());
    size_t pos = 0;
    for (const Packet& p : cleanPackets) {
        const size_t len = size_t(p.length) + 1;
        int bits = 0;
        for (size_t i = pos; i < pos + len; ++i)
            bits += __builtin_popcount(unsigned(damaged[i] ^ clean[i]));
        EXPECT_EQ(bits, 1);
        pos += len;
    }
}

TEST(SimFaults, SilenceForChosenRequests) {
    auto answered = [](const std::string& faults, int n) {
        std::vector<bool> out;
        for (const Bytes& b : run(scenario(faults), n, kStatus))
            out.push_back(!b.empty());
        return out;
    };
    EXPECT_EQ(answered(R"("silentFirst": 2)", 4), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(answered(R"("silentRequests": [2, 4])", 5),
              (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(answered(R"("silent": true)", 3), (std::vector<bool>{false, false, false}));

    // A silent reply spends no sequence numbers.
    const auto replies = run(scenario(R"("silentRequests": [2])"), 3, kStatus);
    EXPECT_EQ(uint8_t(splitPackets(replies[2])[0].seq - splitPackets(replies[0])[1].seq), 1);
}

TEST(SimFaults, SlowRepliesComeLate) {
    Rig rig(scenario(R"("slowRequests": [1], "slowMs": 3000)"));
    rig.openAsProgram();
    rig.air(kStatus);
    EXPECT_TRUE(rig.waitReply(3000).empty());
    EXPECT_FALSE(rig.waitReply(500).empty());
    rig.air(kStatus);
    EXPECT_FALSE(rig.waitReply(500).empty());
}

} // namespace
