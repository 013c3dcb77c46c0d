// Connections that share one reader (a SharedReader with HID semantics,
// in-process reader locks): turns, and the late-answer rule after a time
// limit, a cancellation and a holder that died, across connections.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "control/reader_connection.h"
#include "device/download_ca.h"
#include "device/hid_framing.h"
#include "device/in_process_reader_lock.h"
#include "device/posix/socket_report_link.h"
#include "device/reader_turn.h"
#include "sim/responders.h"
#include "sim/shared_reader.h"

namespace {

using namespace std::chrono_literals;

constexpr uint16_t kReportLen = 65;
const std::string kPath = "\\\\?\\hid#vid_155b&pid_4612#shared";

// The first command answered after `ms`, the rest at once: a cardholder who
// is slow once.
Responder SlowFirst(uint32_t ms) {
    return sim::Sequence({sim::Delayed(sim::Echo(), ms), sim::Echo()});
}

// Commands that begin with `marker` answered after `ms`, the rest at once.
Responder SlowOn(uint8_t marker, uint32_t ms) {
    const Responder slow = sim::Delayed(sim::Echo(), ms);
    return [slow, marker](const Bytes& command, uint16_t reportLen) {
        return command[0] == marker ? slow(command, reportLen) : sim::Echo()(command, reportLen);
    };
}

template <typename Call>
auto Timed(Call call) {
    const auto started = std::chrono::steady_clock::now();
    auto result = call();
    return std::make_pair(result, std::chrono::steady_clock::now() - started);
}

class SharedReaderTurns : public testing::Test {
protected:
    void Use(Responder responder) { reader_ = std::make_unique<SharedReader>(kReportLen, std::move(responder)); }

    std::unique_ptr<ReaderConnection> Connect(ExchangeTimeout timeout = ExchangeTimeout::zero()) {
        return std::make_unique<ReaderConnection>(
            MakeHidDevice(kPath, std::make_unique<SharedReaderLink>(*reader_), kReportLen), ++handles_, timeout,
            locks_.Make(kPath));
    }

    static Bytes Exchange(ReaderConnection& connection, const Bytes& command) {
        Bytes answer(4096);
        answer.resize(connection.Exchange(command.data(), static_cast<uint32_t>(command.size()), answer.data(),
                                          static_cast<uint32_t>(answer.size())));
        return answer;
    }

    // What the reader's state says, read under its lock.
    SharedReaderState State() {
        auto lock = locks_.Make(kPath);
        EXPECT_EQ(lock->Acquire(std::nullopt), LockWait::Taken);
        const SharedReaderState state = lock->State();
        lock->Release();
        return state;
    }

    InProcessReaderLocks locks_;
    std::unique_ptr<SharedReader> reader_;  // outlives the connections below
    std::atomic<int32_t> handles_{0};       // pages connect from threads of their own
};

TEST_F(SharedReaderTurns, ConnectionsTakeTurnsAndEveryAnswerIsTheirOwn) {
    Use(sim::Echo());
    constexpr int kConnections = 3, kCalls = 200;
    std::atomic<int> foreign{0};
    std::vector<std::thread> pages;
    for (int page = 0; page < kConnections; ++page) {
        pages.emplace_back([&, page] {
            auto connection = Connect();
            for (int call = 0; call < kCalls; ++call) {
                // Two reports a command, so that unguarded writers interleave.
                Bytes command(100, static_cast<uint8_t>(page));
                command[1] = static_cast<uint8_t>(call);
                if (Exchange(*connection, command) != command) ++foreign;
            }
        });
    }
    for (auto& page : pages) page.join();
    EXPECT_EQ(foreign, 0) << "answers that were not the caller's";
    EXPECT_EQ(reader_->ReceivedCount(), static_cast<size_t>(kConnections * kCalls));
    EXPECT_TRUE(reader_->Violations().empty()) << reader_->Violations().front();
}

TEST_F(SharedReaderTurns, AnAnswerAfterTheTimeLimitIsNotTheNextCommandsInTheSameConnection) {
    Use(SlowFirst(250));
    auto connection = Connect(100ms);
    EXPECT_EQ(Exchange(*connection, {1, 1}), Bytes()) << "nothing arrived within the limit";
    EXPECT_NE(State().owedSince, 0u) << "the answer is owed";
    EXPECT_EQ(Exchange(*connection, {2, 2}), Bytes()) << "still owed when the second limit ends: nothing is sent";
    EXPECT_EQ(reader_->ReceivedCount(), 1u);
    EXPECT_EQ(Exchange(*connection, {3, 3}), (Bytes{3, 3})) << "the late answer is drained, then the command sent";
    EXPECT_EQ(State().owedSince, 0u);
}

TEST_F(SharedReaderTurns, ALateAnswerThatArrivedWhileNobodyWaitedIsDrainedAtOnce) {
    Use(SlowFirst(150));
    auto connection = Connect(100ms);
    EXPECT_EQ(Exchange(*connection, {1}), Bytes());
    std::this_thread::sleep_for(200ms);  // the answer is in the connection's queue now
    EXPECT_EQ(Exchange(*connection, {2}), (Bytes{2})) << "within the limit: taken from the queue, not waited for";
}

TEST_F(SharedReaderTurns, AnAnswerAfterTheTimeLimitIsNotAnotherConnectionsAnswer) {
    Use(SlowOn(0x51, 300));
    auto first = Connect(100ms);
    auto second = Connect();
    EXPECT_EQ(Exchange(*second, {9}), (Bytes{9}));
    EXPECT_EQ(Exchange(*first, {8}), (Bytes{8})) << "an answer the second connection holds a stale copy of";
    EXPECT_EQ(Exchange(*first, {0x51, 1}), Bytes());
    const auto [answer, took] = Timed([&] { return Exchange(*second, {2, 2}); });
    EXPECT_EQ(answer, (Bytes{2, 2}));
    EXPECT_GE(took, 150ms) << "it waited for the late answer";
    EXPECT_EQ(Exchange(*first, {3}), (Bytes{3})) << "and the first connection is in step too";
}

TEST_F(SharedReaderTurns, AHolderThatDiedLeavesItsAnswerToBeDrained) {
    Use(sim::Delayed(sim::Echo(), 200));
    auto survivor = Connect();
    {
        // A page that takes its turn, sends, and dies before the answer,
        // which it had waited for longer than the grace (a cardholder).
        auto dying = locks_.Make(kPath);
        HidDevicePtr link = MakeHidDevice(kPath, std::make_unique<SharedReaderLink>(*reader_), kReportLen);
        ASSERT_EQ(dying->Acquire(std::nullopt), LockWait::Taken);
        dying->State() = SharedReaderState{dying->Now() - kLateAnswerGrace.count() - 1000, dying->Id()};
        const Bytes command{0xDE, 0xAD};
        ASSERT_TRUE(WriteHidMessage(*link, command.data(), 2));
    }
    EXPECT_EQ(Exchange(*survivor, {1}), (Bytes{1}));
    EXPECT_EQ(Exchange(*survivor, {2}), (Bytes{2}));
}

TEST_F(SharedReaderTurns, ClosingDuringAnAnswerLeavesNoShortAnswerAndNoShift) {
    // The first report of a two-report answer at once, the rest later.
    Use(sim::Sequence({sim::PauseAfterReports(sim::Echo(), 1, 400), sim::Echo()}));
    auto closed = Connect();
    auto waiting = std::async(std::launch::async, [&] { return Exchange(*closed, Bytes(100, 7)); });
    ASSERT_TRUE(reader_->WaitForMessages(1, 2000));
    std::this_thread::sleep_for(100ms);  // the first part has arrived
    const auto [_, closing] = Timed([&] {
        closed->Close();
        return 0;
    });
    EXPECT_LT(closing, 200ms) << "closing does not wait for the answer";
    EXPECT_EQ(waiting.get(), Bytes()) << "a cancelled answer is no short answer";

    auto reopened = Connect();
    EXPECT_EQ(Exchange(*reopened, {4, 4}), (Bytes{4, 4}));
}

TEST_F(SharedReaderTurns, ClosingEndsAWaitForTheTurnPromptly) {
    Use(sim::Delayed(sim::Echo(), 800));
    auto holder = Connect();
    auto waiter = Connect();
    auto holding = std::async(std::launch::async, [&] { return Exchange(*holder, {1}); });
    ASSERT_TRUE(reader_->WaitForMessages(1, 2000));
    auto waiting = std::async(std::launch::async, [&] { return Exchange(*waiter, {2}); });
    std::this_thread::sleep_for(50ms);
    const auto [_, closing] = Timed([&] {
        waiter->Close();
        return waiting.get();
    });
    EXPECT_LT(closing, 300ms);
    EXPECT_EQ(holding.get(), (Bytes{1}));
    EXPECT_EQ(reader_->ReceivedCount(), 1u) << "the closed connection sent nothing";
}

TEST_F(SharedReaderTurns, AnAnswerOwedLongerThanTheGraceIsTakenToBeLost) {
    Use(sim::Echo());
    {
        auto lock = locks_.Make(kPath);
        ASSERT_EQ(lock->Acquire(std::nullopt), LockWait::Taken);
        lock->State() = SharedReaderState{lock->Now() - kLateAnswerGrace.count() - 1, 12345};
        lock->Release();
    }
    auto connection = Connect(1000ms);
    const auto [answer, took] = Timed([&] { return Exchange(*connection, {5}); });
    EXPECT_EQ(answer, (Bytes{5}));
    EXPECT_LT(took, 500ms) << "no wait for an answer that will not come";
}

TEST_F(SharedReaderTurns, LoadCAKeepsItsBlocksTogetherBesideOtherCommands) {
    // CA blocks answered 90 00 by a CA reader, every other command echoed.
    auto ca = sim::CaReader::Make({});
    Responder caResponder = ca->AsResponder();
    Use([caResponder](const Bytes& command, uint16_t reportLen) {
        if (command.size() > 1 && command[0] == 0x18 && command[1] == 0xC6) return caResponder(command, reportLen);
        return sim::Echo()(command, reportLen);
    });
    const Bytes certificate = sim::PatternBytes(1000);  // 8 blocks
    std::atomic<bool> loading{true};
    std::atomic<int> foreign{0};
    std::thread other([&] {
        auto connection = Connect();
        for (uint8_t n = 0; loading; ++n)
            if (Exchange(*connection, {0x00, n}) != Bytes{0x00, n}) ++foreign;
    });
    auto loader = Connect();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(loader->DownloadCA(1, certificate.data(), static_cast<uint32_t>(certificate.size())), kCaLoaded);
    loading = false;
    other.join();
    EXPECT_EQ(foreign, 0);
    EXPECT_TRUE(ca->Problems().empty()) << ca->Problems().front();
    EXPECT_TRUE(reader_->Violations().empty());
}

TEST_F(SharedReaderTurns, ATimeLimitThatEndsWhileDrainingFailsLoadCAWithoutSending) {
    Use(SlowFirst(600));
    auto first = Connect(100ms);
    EXPECT_EQ(Exchange(*first, {1}), Bytes());
    auto loader = Connect(100ms);
    const Bytes certificate = sim::PatternBytes(10);
    EXPECT_EQ(loader->DownloadCA(1, certificate.data(), 10), kCaReceiveFailed);
    EXPECT_EQ(reader_->ReceivedCount(), 1u) << "no block was sent";
}

// A socket pair where the test plays the reader, for the one case the
// simulators cannot show: a reader gone quiet in the middle of an answer
// that the time limit then ends.
TEST(ReaderTurnTimeLimit, AnAnswerCutShortByTheLimitIsWhatArrivedAndItsTailIsDrained) {
    auto [host, readerSide] = MakeSocketLinkPair();
    ReaderConnection connection(MakeHidDevice(kPath, std::move(host), kReportLen), 1, 200ms);
    auto exchange = [&](Bytes command) {
        Bytes answer(4096);
        answer.resize(connection.Exchange(command.data(), static_cast<uint32_t>(command.size()), answer.data(), 4096));
        return answer;
    };
    const std::vector<Report> answer = FrameMessage(sim::PatternBytes(100), kReportLen);  // first, last
    std::thread reader([&, link = readerSide.get()] {
        Report report(kReportLen);
        for (int i = 0; i < 2; ++i) link->ReadReport(report.data(), report.size());  // the command
        link->WriteReport(answer[0].data(), kReportLen);
        std::this_thread::sleep_for(300ms);  // past the limit
        link->WriteReport(answer[1].data(), kReportLen);
        for (int i = 0; i < 2; ++i) link->ReadReport(report.data(), report.size());  // the next command
        const Report reply = FrameMessage({0x90, 0x00}, kReportLen)[0];
        link->WriteReport(reply.data(), kReportLen);
        const Report last = FrameMessage({0x90, 0x00}, kReportLen)[1];
        link->WriteReport(last.data(), kReportLen);
    });
    EXPECT_EQ(exchange({1}), Bytes(sim::PatternBytes(63))) << "the part that arrived";
    EXPECT_EQ(exchange({2}), (Bytes{0x90, 0x00})) << "the tail was drained first";
    reader.join();
}

}  // namespace

namespace {

TEST(SharedReaderName, OneNameForEverySpellingOfAPathAndNoBackslash) {
    const std::string name = SharedReaderName("\\\\?\\HID#VID_155B&PID_4612#7&2a5a4c4b&0&0000#{4d1e55b2-f16f-11cf}");
    EXPECT_EQ(name, SharedReaderName("\\\\?\\hid#vid_155b&pid_4612#7&2a5a4c4b&0&0000#{4d1e55b2-f16f-11cf}"));
    EXPECT_NE(name, SharedReaderName("\\\\?\\hid#vid_155b&pid_4612#7&2a5a4c4b&0&0001#{4d1e55b2-f16f-11cf}"));
    EXPECT_EQ(name.find('\\'), std::string::npos);
    EXPECT_EQ(name.size(), SharedReaderName("x").size());
}

}  // namespace
