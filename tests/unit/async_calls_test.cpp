// DevCallAsync as a hostile page drives it: thousands of calls in a loop
// against a slow reader, calls mixed with DevCall, connections closed and
// reopened under a full queue, and a reader that speaks unasked. The test's
// thread plays the page's: it takes answers only while it waits for them.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <future>
#include <thread>

#include "codec/base64.h"
#include "device/download_ca.h"
#include "fake_readers.h"
#include "sim/responders.h"

namespace {

using namespace std::chrono_literals;

constexpr uint16_t kVid = 0x155B, kPid = 0x4612;
constexpr size_t kBound = AsyncCallQueue::kMaxOutstanding;

std::string Text(const Bytes& bytes) {
    return Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A command that tells which call it was.
std::string Numbered(size_t n) {
    return Text({0x00, 0xA4, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
}

size_t ThreadsOfThisProcess() {
    size_t count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return 0;
    while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
    return count;
}

class AsyncCalls : public testing::Test {
protected:
    ControlMethods& Control() {
        if (!control_) control_ = std::make_unique<ControlMethods>(readers_.Opener(), answers_.Wake());
        return *control_;
    }
    bool WaitForAnswers(size_t count, int timeoutMs = 120000) { return answers_.WaitFor(Control(), count, timeoutMs); }
    std::vector<std::string> ReceivedTexts(ReaderSimulator& reader) {
        std::vector<std::string> texts;
        for (const Bytes& message : reader.Received()) texts.push_back(Text(message));
        return texts;
    }

    FakeReaders readers_;
    DeliveredAnswers answers_;
    std::unique_ptr<ControlMethods> control_;  // last: goes before its readers
};

TEST_F(AsyncCalls, ThousandsInALoopKeepTheirOrderOnOneWorkerWithinTheBound) {
    readers_.Attach(kVid, kPid, sim::Delayed(sim::Echo(), 1));
    Control().DevOpen();
    const size_t threadsBefore = ThreadsOfThisProcess();
    std::vector<std::string> commands;
    for (size_t round = 0; round < 2; ++round) {  // the second finds the queue as the first left it
        commands.clear();
        for (size_t n = 0; n < 5000; ++n) {
            commands.push_back(Numbered(n));
            Control().DevCallAsync(commands.back().c_str());
            if (n % 1000 == 0) {
                EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 1) << "one worker, not one per call";
            }
        }
        ASSERT_TRUE(WaitForAnswers(5000 * (round + 1)));
    }
    // No answer was taken during a loop, so exactly the first kBound calls
    // of each were outstanding and sent; the rest were answered "" in turn.
    const auto answers = answers_.All();
    ASSERT_EQ(answers.size(), 10000u);
    std::vector<std::string> sent;
    for (size_t i = 0; i < answers.size(); ++i) {
        const size_t n = i % 5000;
        ASSERT_EQ(answers[i], n < kBound ? Numbered(n) : "") << "answer " << i;
        if (n < kBound) sent.push_back(Numbered(n));
    }
    EXPECT_EQ(ReceivedTexts(*readers_.Last()), sent) << "the reader saw the commands in call order";
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 1);
}

TEST_F(AsyncCalls, DevCallAndLoadCAWaitForTheCallsMadeBeforeThem) {
    readers_.Attach(kVid, kPid, sim::Delayed(sim::Echo(), 2));
    Control().DevOpen();
    std::vector<std::string> expectedOnReader, expectedAnswers;
    for (size_t round = 0; round < 5; ++round) {
        for (size_t n = 0; n < 20; ++n) {
            const std::string command = Numbered(round * 100 + n);
            Control().DevCallAsync(command.c_str());
            expectedOnReader.push_back(command);
            expectedAnswers.push_back(command);
        }
        const std::string now = Numbered(round * 100 + 99);
        EXPECT_EQ(Control().DevCall(now.c_str()), now) << "its own answer, not a queued call's";
        expectedOnReader.push_back(now);
    }
    EXPECT_EQ(Control().LoadCA(1, "AQID"), kCaBadAnswer) << "an echo is no status word";
    expectedOnReader.push_back("GMYA/AMBAgMA");  // the one block of the download
    ASSERT_TRUE(WaitForAnswers(expectedAnswers.size()));
    EXPECT_EQ(answers_.All(), expectedAnswers);
    EXPECT_EQ(ReceivedTexts(*readers_.Last()), expectedOnReader);
}

TEST_F(AsyncCalls, ClosingOrReplacingTheConnectionAnswersItsQueuedCallsEmptyAndNeverSendsThemOnTheNext) {
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "a new DevOpen" : "DevClose");
        readers_.Attach(kVid, kPid, sim::Delayed(sim::Echo(), 20));
        const int32_t handle = Control().DevOpen();
        ReaderSimulator* first = readers_.Last();
        const size_t before = answers_.All().size();
        for (size_t n = 0; n < kBound + 10; ++n) Control().DevCallAsync(Numbered(n).c_str());
        ASSERT_TRUE(first->WaitForMessages(1, 5000));
        auto close = std::async(std::launch::async, [&] {
            if (reopen) return Control().DevOpen();
            Control().DevClose(handle);
            return Control().DevOpen();
        });
        ASSERT_EQ(close.wait_for(10s), std::future_status::ready) << "closing does not wait for the queue";
        ASSERT_NE(close.get(), 0);
        ReaderSimulator* second = readers_.Last();
        // The closed connection's calls are answered at once; once the page
        // has taken them, the queue has room again.
        ASSERT_TRUE(WaitForAnswers(before + kBound + 10, 10000));
        for (size_t n = 0; n < 3; ++n) Control().DevCallAsync(Numbered(5000 + n).c_str());
        ASSERT_TRUE(WaitForAnswers(before + kBound + 10 + 3));

        const auto all = answers_.All();
        const std::vector<std::string> answers(all.begin() + static_cast<ptrdiff_t>(before), all.end());
        const size_t sentOnFirst = first->ReceivedCount();
        EXPECT_LE(sentOnFirst, 50u) << "only what was sent before the close";
        for (size_t n = 0; n < kBound + 10; ++n) {
            // A call on the reader when it closed may or may not have had
            // its answer; every later one is answered "" unsent.
            if (n < sentOnFirst && answers[n] == Numbered(n)) continue;
            ASSERT_EQ(answers[n], "") << "call " << n;
        }
        EXPECT_EQ(answers[kBound + 10], Numbered(5000));
        EXPECT_EQ(answers[kBound + 12], Numbered(5002));
        EXPECT_EQ(ReceivedTexts(*second), (std::vector<std::string>{Numbered(5000), Numbered(5001), Numbered(5002)}))
            << "no call made for the first connection reached the second";
    }
}

TEST_F(AsyncCalls, ReleasingWithAFullQueueReturnsPromptly) {
    // A reader that never answers holds the first call for ever, so how
    // many reached it does not depend on how soon the release comes.
    readers_.Attach(kVid, kPid, sim::Silent());
    Control().DevOpen();
    for (size_t n = 0; n < kBound + 100; ++n) Control().DevCallAsync(Numbered(n).c_str());
    ASSERT_TRUE(readers_.Last()->WaitForMessages(1, 5000));
    auto destroy = std::async(std::launch::async, [&] { control_.reset(); });
    ASSERT_EQ(destroy.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(readers_.Last()->ReceivedCount(), 1u) << "the queued calls were dropped, not sent";
}

TEST_F(AsyncCalls, AnUnaskedMessageFromTheReaderDoesNotShiftTheAnswers) {
    // The reader follows every answer with a message nobody asked for. Were
    // it read as the next command's answer, each answer would be one behind.
    readers_.Attach(kVid, kPid, sim::ThenUnsolicited(sim::Echo(), {0xEE, 0xEE}));
    Control().DevOpen();
    for (size_t n = 0; n < 3; ++n) {
        const std::string command = Numbered(n);
        EXPECT_EQ(Control().DevCall(command.c_str()), command);
        std::this_thread::sleep_for(50ms);  // the unasked message arrives
    }
    for (size_t n = 0; n < 3; ++n) {
        Control().DevCallAsync(Numbered(10 + n).c_str());
        ASSERT_TRUE(WaitForAnswers(n + 1));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(answers_.All(), (std::vector<std::string>{Numbered(10), Numbered(11), Numbered(12)}));
}

}  // namespace
