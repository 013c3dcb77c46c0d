#include <gtest/gtest.h>

#include "device/download_ca.h"
#include "simulated_reader.h"
#include "sim/responders.h"

namespace {

struct CaSession {
    std::shared_ptr<sim::CaReader> ca;
    SimulatedReader reader;

    explicit CaSession(sim::CaReader::Options options, uint16_t reportLen = 65)
        : ca(sim::CaReader::Make(options)), reader(reportLen, ca->AsResponder()) {}

    int32_t Load(int32_t flag, const Bytes& certificate) {
        return DownloadCA(*reader.device, flag, certificate.data(), static_cast<uint32_t>(certificate.size()));
    }
};

std::vector<uint8_t> P2s(const ReaderSimulator& simulator) {
    std::vector<uint8_t> values;
    for (const Bytes& command : simulator.Received()) values.push_back(command[3]);
    return values;
}

TEST(DownloadCA, RefusesUnknownVariantsBeforeSendingAnything) {
    CaSession session({});
    for (int32_t flag : {0, 3, -1, 256}) EXPECT_EQ(session.Load(flag, Bytes(10, 1)), kCaBadVariant);
    EXPECT_EQ(session.reader.simulator->ReceivedCount(), 0u);
}

TEST(DownloadCA, OneByteCertificateIsOneSevenByteCommand) {
    CaSession session({});
    EXPECT_EQ(session.Load(1, {0xAB}), kCaLoaded);
    EXPECT_EQ(session.reader.simulator->Received(), (std::vector<Bytes>{{0x18, 0xC6, 0x00, 0xFC, 0x01, 0xAB, 0x00}}));
}

TEST(DownloadCA, NumbersBlocksAndMarksTheLastWithBothVariants) {
    struct Case {
        int32_t flag;
        uint32_t length;
        std::vector<uint8_t> p2;
    };
    for (const Case& c : {Case{1, 128, {0xFC}}, Case{2, 128, {0xFD}}, Case{1, 129, {0x00, 0xFC}},
                          Case{2, 129, {0x01, 0xFD}}, Case{1, 256, {0x00, 0xFC}}}) {
        CaSession session({.variant = c.flag});
        const Bytes certificate = sim::PatternBytes(c.length);
        EXPECT_EQ(session.Load(c.flag, certificate), kCaLoaded);
        EXPECT_EQ(P2s(*session.reader.simulator), c.p2) << c.length;
        EXPECT_EQ(session.ca->Certificate(), certificate);
        EXPECT_TRUE(session.ca->Problems().empty()) << session.ca->Problems().front();
    }
}

TEST(DownloadCA, FourKilobyteCertificateIsThirtyTwoBlocks) {
    CaSession session({});
    const Bytes certificate = sim::PatternBytes(4096);
    EXPECT_EQ(session.Load(1, certificate), kCaLoaded);
    const std::vector<Bytes> received = session.reader.simulator->Received();
    ASSERT_EQ(received.size(), 32u);
    EXPECT_EQ(received[30][3], 0x78);
    EXPECT_EQ(received[31][3], 0xFC);
    EXPECT_EQ(received[31][4], 0x80);
    EXPECT_EQ(session.ca->Certificate(), certificate);
    EXPECT_TRUE(session.ca->Problems().empty());
}

TEST(DownloadCA, ResultCodesForRefusalsAndBadAnswers) {
    const Bytes certificate = sim::PatternBytes(300);  // blocks 0, 1 and the last
    {
        CaSession session({.refuseBlock = 2});
        EXPECT_EQ(session.Load(1, certificate), kCaRefused);
    }
    {
        CaSession session({.refuseBlock = 0});
        EXPECT_EQ(session.Load(1, certificate), kCaBadAnswer);
        EXPECT_EQ(session.reader.simulator->ReceivedCount(), 1u) << "nothing sent after a refused block";
    }
    {
        CaSession session({.wrongLengthBlock = 1});
        EXPECT_EQ(session.Load(1, certificate), kCaBadAnswer);
        EXPECT_EQ(session.reader.simulator->ReceivedCount(), 2u);
    }
    {
        CaSession session({.wrongLengthBlock = 2});
        EXPECT_EQ(session.Load(1, certificate), kCaBadAnswer);
    }
}

TEST(DownloadCA, LostReaderGivesSendAndReceiveCodes) {
    const Bytes certificate = sim::PatternBytes(300);
    {
        SimulatedReader reader(65, sim::UnplugOnCommand());
        EXPECT_EQ(DownloadCA(*reader.device, 1, certificate.data(), 300), kCaReceiveFailed);
        EXPECT_EQ(DownloadCA(*reader.device, 1, certificate.data(), 300), kCaSendFailed);
    }
    {
        SimulatedReader reader(65, sim::Echo());
        reader.simulator->Unplug();
        EXPECT_EQ(DownloadCA(*reader.device, 2, certificate.data(), 300), kCaSendFailed);
    }
}

TEST(DownloadCA, AnswerLongerThanTheAnswerAreaIsRefusedNotAnOverrun) {
    SimulatedReader reader(65, sim::Sequence({sim::AnswerOfLength(3000), sim::StatusWord(0x90, 0x00)}));
    const Bytes certificate = sim::PatternBytes(10);
    EXPECT_EQ(DownloadCA(*reader.device, 1, certificate.data(), 10), kCaReceiveFailed);
    EXPECT_EQ(DownloadCA(*reader.device, 1, certificate.data(), 10), kCaLoaded) << "link stays in step";
}

TEST(DownloadCA, RefusesEmptyAndOversizedCertificatesWithoutSending) {
    CaSession session({});
    EXPECT_EQ(session.Load(1, {}), kCaSendFailed);
    EXPECT_EQ(session.Load(1, Bytes(kMaxCaLength + 1, 1)), kCaSendFailed);
    EXPECT_EQ(session.reader.simulator->ReceivedCount(), 0u);
    EXPECT_EQ(session.Load(1, Bytes(kMaxCaLength, 1)), kCaLoaded);
    EXPECT_TRUE(session.ca->Problems().empty());
}

TEST(DownloadCA, EveryFullBlockIsOne134ByteCommand) {
    // 134-byte commands: 63 + 63 + 8 bytes; the sim reassembles them.
    CaSession session({});
    EXPECT_EQ(session.Load(1, sim::PatternBytes(256)), kCaLoaded);
    for (const Bytes& command : session.reader.simulator->Received()) EXPECT_EQ(command.size(), 134u);
}

}  // namespace
