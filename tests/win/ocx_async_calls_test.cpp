// DevCallAsync and DevCall through COM as a hostile page drives them: a loop
// of thousands of calls against a slow reader (order, one worker, memory),
// a release with a full queue, and a reader that speaks unasked.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "tests/win/ocx_client.h"
#include "tests/win/simulated_readers.h"
#include "win32/unique_resource.h"

namespace veldorinctl::test {
namespace {

constexpr size_t kBound = 1024;  // calls outstanding at most

size_t ThreadsOfThisProcess() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
    return count;
}

// The figure that moves with private memory under Wine.
size_t PagefileBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// A command that tells which call it was, as Base64 text.
std::wstring Numbered(size_t n) {
    static const wchar_t alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // 00 A4 hi lo: three bytes, then one more, padded.
    const unsigned char bytes[4] = {0x00, 0xA4, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
    std::wstring text;
    const unsigned group = (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
    for (int shift = 18; shift >= 0; shift -= 6) text += alphabet[(group >> shift) & 0x3F];
    text += alphabet[bytes[3] >> 2];
    text += alphabet[(bytes[3] & 0x03) << 4];
    text += L"==";
    return text;
}

class OcxAsyncCalls : public SimulatedReaders {
protected:
    void TearDown() override {
        control.Reset();
        SimulatedReaders::TearDown();
    }
    long Open() { return Call(control.Get(), 1)->result->lVal; }
    void CallAsync(const std::wstring& command) {
        UniqueVariant text = Text(command.c_str());
        ASSERT_EQ(Call(control.Get(), 4, {&text})->hr, S_OK);
    }
    std::wstring CallNow(const std::wstring& command) {
        UniqueVariant text = Text(command.c_str());
        return Call(control.Get(), 3, {&text})->Text();
    }

    Apartment apartment;
    LoadedOcx ocx;
    SinkLog log;
    EventSink sink{"page", log};
    ComPtr<IDispatch> control = CreateControl(ocx);
};

TEST_F(OcxAsyncCalls, ThousandsInALoopKeepTheirOrderOnOneWorkerAndFlatMemory) {
    const int reader = Attach("155B 4612 65 echo");
    Connect(control.Get(), &sink);
    ASSERT_NE(Open(), 0);
    const size_t threadsBefore = ThreadsOfThisProcess();
    size_t memoryAfterFirst = 0;
    constexpr size_t kCalls = 5000, kRounds = 3;
    for (size_t round = 0; round < kRounds; ++round) {
        for (size_t n = 0; n < kCalls; ++n) CallAsync(Numbered(n));
        EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 1) << "one worker for the control, not one per call";
        ASSERT_TRUE(PumpUntil([&] { return log.Count() >= kCalls * (round + 1); }, 120000));
        if (round == 0) memoryAfterFirst = PagefileBytes();
    }
    const size_t growth = PagefileBytes() - std::min(PagefileBytes(), memoryAfterFirst);
    EXPECT_LT(growth, 4u << 20) << "memory grew by " << growth << " bytes over " << kRounds - 1 << " more rounds";

    // The page made each loop without pumping, so the first kBound calls of
    // each were sent and answered, and the rest answered "" in their turn.
    const auto calls = log.Calls();
    ASSERT_EQ(calls.size(), kCalls * kRounds);
    for (size_t i = 0; i < calls.size(); ++i) {
        const size_t n = i % kCalls;
        ASSERT_EQ(calls[i].text, n < kBound ? Numbered(n) : L"") << "event " << i;
        ASSERT_EQ(calls[i].thread, ::GetCurrentThreadId());
    }
    const auto received = Received(reader);
    ASSERT_EQ(received.size(), kBound * kRounds);
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i].size(), 4u);
        ASSERT_EQ((received[i][2] << 8) | received[i][3], static_cast<int>(i % kBound)) << "command " << i;
    }
}

TEST_F(OcxAsyncCalls, ReleasingWithAFullQueueIsPromptAndFiresNothing) {
    // A reader that never answers holds the first call for ever, so how
    // many reached it does not depend on how soon the release comes.
    const int reader = Attach("155B 4612 65 silent");
    Connect(control.Get(), &sink);
    ASSERT_NE(Open(), 0);
    for (size_t n = 0; n < kBound + 100; ++n) CallAsync(Numbered(n));
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 1, 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(control.Reset(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(log.Count(), 0u) << "no event after destruction began";
    EXPECT_EQ(VeldorinSim_ReceivedCount(reader), 1) << "the queued calls were dropped, not sent";
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxAsyncCalls, AnUnaskedMessageFromTheReaderDoesNotShiftTheAnswers) {
    // The reader follows every answer with "UNASKED". Were it read as the
    // next command's answer, every later answer would be one behind.
    Attach("155B 4612 65 unsolicited echo");
    Connect(control.Get(), &sink);
    ASSERT_NE(Open(), 0);
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(CallNow(Numbered(n)), Numbered(n));
        ::Sleep(300);  // the unasked message arrives
    }
    for (size_t n = 0; n < 3; ++n) {
        CallAsync(Numbered(10 + n));
        ASSERT_TRUE(PumpUntil([&] { return log.Count() == n + 1; }));
        ::Sleep(300);
    }
    const auto calls = log.Calls();
    for (size_t n = 0; n < 3; ++n) EXPECT_EQ(calls[n].text, Numbered(10 + n));
}

}  // namespace
}  // namespace veldorinctl::test
