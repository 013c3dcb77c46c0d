// The framing over a real socket pair against the simulated reader: whole
// exchanges, and the faults of a reader that misbehaves or disappears.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "device/download_ca.h"
#include "device/exchange_deadline.h"
#include "device/hid_framing.h"
#include "sim/responders.h"
#include "simulated_reader.h"

namespace {

using namespace std::chrono_literals;

struct Exchange {
    bool complete;
    Bytes answer;
};

Exchange Exchanged(HidDevice& device, const Bytes& command, uint32_t capacity = 4096) {
    if (!WriteHidMessage(device, command.data(), static_cast<uint32_t>(command.size()))) return {false, {}};
    Bytes buffer(capacity);
    uint32_t count = 0;
    const bool complete = ReadHidMessage(device, buffer.data(), capacity, count);
    buffer.resize(count);
    return {complete, buffer};
}

TEST(LinkWithSimulator, EchoesEveryLengthUpToTheBuffer) {
    SimulatedReader reader(65, sim::Echo());
    for (uint32_t length : {1u, 2u, 63u, 64u, 126u, 127u, 4095u, 4096u}) {
        const Bytes command = sim::PatternBytes(length);
        const Exchange result = Exchanged(*reader.device, command);
        EXPECT_TRUE(result.complete);
        EXPECT_EQ(result.answer, command) << length;
    }
    EXPECT_EQ(reader.simulator->ReceivedCount(), 8u);
}

TEST(LinkWithSimulator, AnswerFarOverTheBufferIsRefusedAndTheLinkStaysInStep) {
    SimulatedReader reader(65, sim::Sequence({sim::AnswerOfLength(20000), sim::Fixed({1, 2, 3})}));
    const Exchange tooLong = Exchanged(*reader.device, {0x00});
    EXPECT_FALSE(tooLong.complete);
    EXPECT_TRUE(tooLong.answer.empty());
    const Exchange next = Exchanged(*reader.device, {0x01});
    EXPECT_TRUE(next.complete);
    EXPECT_EQ(next.answer, (Bytes{1, 2, 3}));
}

TEST(LinkWithSimulator, StrayReportsBeforeTheAnswerAreSkipped) {
    SimulatedReader reader(65, sim::StrayReportsFirst(sim::Fixed({0x90, 0x00}), 5));
    const Exchange result = Exchanged(*reader.device, {0xA0});
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.answer, (Bytes{0x90, 0x00}));
}

TEST(LinkWithSimulator, CountOverPayloadAtSmallReportLengthIsRefused) {
    SimulatedReader reader(9, sim::Sequence({sim::CountOverPayload(), sim::Echo()}));
    EXPECT_FALSE(Exchanged(*reader.device, {1}).complete);
    const Exchange next = Exchanged(*reader.device, {4, 5});
    EXPECT_TRUE(next.complete);
    EXPECT_EQ(next.answer, (Bytes{4, 5}));
}

TEST(LinkWithSimulator, EndlessMiddleReportsEndTheExchange) {
    SimulatedReader reader(65, sim::EndlessMiddle());
    const Exchange result = Exchanged(*reader.device, {1});
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.answer.empty());
}

TEST(LinkWithSimulator, UnplugMidAnswerKeepsWhatArrived) {
    SimulatedReader reader(65, sim::UnplugAfterReports(sim::AnswerOfLength(300), 2));
    const Exchange result = Exchanged(*reader.device, {1});
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.answer, sim::PatternBytes(126));
    const Bytes command{1};
    EXPECT_FALSE(WriteHidMessage(*reader.device, command.data(), 1)) << "gone for good";
}

TEST(LinkWithSimulator, ReportOfTheWrongSizeIsAFailedRead) {
    SimulatedReader reader(65, sim::RawReports({Report(64, 0), Report(66, 0)}));
    EXPECT_FALSE(Exchanged(*reader.device, {1}).complete);
}

TEST(LinkWithSimulator, SilentReaderReadIsCancelledFromAnotherThread) {
    SimulatedReader reader(65, sim::Silent());
    auto pending = std::async(std::launch::async, [&] { return Exchanged(*reader.device, {1, 2, 3}); });
    ASSERT_TRUE(reader.simulator->WaitForMessages(1, 5000));
    EXPECT_EQ(pending.wait_for(100ms), std::future_status::timeout) << "waits without a time limit";
    reader.device->hDevice->Cancel();
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(pending.get().complete);
}

// The time an exchange under a deadline took, and what it gave.
template <class Run>
auto Timed(Run run) {
    const auto start = std::chrono::steady_clock::now();
    auto result = run();
    return std::make_pair(result, std::chrono::steady_clock::now() - start);
}

TEST(LinkWithSimulator, ExchangeNotDoneBeforeItsDeadlineFailsWithWhatArrived) {
    SimulatedReader silent(65, sim::Silent());
    auto [nothing, waited] = Timed([&] {
        ExchangeDeadline deadline(*silent.device, 200ms);
        return Exchanged(*silent.device, {1, 2, 3});
    });
    EXPECT_FALSE(nothing.complete);
    EXPECT_TRUE(nothing.answer.empty());
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 3s);

    // The first report of an answer whose last report never comes.
    SimulatedReader stalled(65, sim::RawReports({MakeReport(65, 3, {7, 8, 9})}));
    auto [partial, stalledFor] = Timed([&] {
        ExchangeDeadline deadline(*stalled.device, 200ms);
        return Exchanged(*stalled.device, {1});
    });
    EXPECT_FALSE(partial.complete);
    EXPECT_EQ(partial.answer, (Bytes{7, 8, 9})) << "the bytes collected so far";
    EXPECT_GE(stalledFor, 200ms);
}

TEST(LinkWithSimulator, DeadlineBoundsOneExchangeAndLeavesTheLinkUsable) {
    SimulatedReader reader(65, sim::Sequence({sim::Silent(), sim::Echo()}));
    {
        ExchangeDeadline deadline(*reader.device, 100ms);
        EXPECT_FALSE(Exchanged(*reader.device, {1}).complete);
    }
    // Past the first deadline, and with none set, the link still works.
    std::this_thread::sleep_for(50ms);
    const Exchange echoed = Exchanged(*reader.device, {4, 5});
    EXPECT_TRUE(echoed.complete);
    EXPECT_EQ(echoed.answer, (Bytes{4, 5}));

    // A deadline that already passed starts nothing.
    reader.device->hDevice->SetDeadline(std::chrono::steady_clock::now() - 1ms);
    const uint8_t command = 1;
    EXPECT_FALSE(WriteHidMessage(*reader.device, &command, 1));
    EXPECT_EQ(reader.simulator->ReceivedCount(), 2u);
}

TEST(LinkWithSimulator, EachCaBlockHasItsOwnDeadline) {
    // Every block answered after 150 ms: within a 400 ms limit per block,
    // though the four blocks together take longer.
    auto ca = sim::CaReader::Make({});
    auto slowCa = [ca](const Bytes& command, uint16_t reportLen) {
        std::this_thread::sleep_for(150ms);
        return ca->AsResponder()(command, reportLen);
    };
    SimulatedReader reader(65, slowCa);
    const Bytes certificate = sim::PatternBytes(500);
    EXPECT_EQ(DownloadCA(*reader.device, 1, certificate.data(), 500, 400ms), kCaLoaded);

    SimulatedReader silent(65, sim::Silent());
    const auto [result, waited] = Timed([&] { return DownloadCA(*silent.device, 1, certificate.data(), 500, 200ms); });
    EXPECT_EQ(result, kCaReceiveFailed);
    EXPECT_LT(waited, 3s);
}

}  // namespace
