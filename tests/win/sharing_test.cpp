// One reader shared by pages in several processes, as HID shares a device
// (the shared reader server, sharedreader.exe): every page gets only its own
// answers and the reader never receives a message mixed from two pages,
// whether the pages call at the same time, a page dies in the middle of an
// exchange, a time limit or a close leaves an answer on its way, or one page
// loads a CA certificate while another calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/win32/shared_reader_protocol.h"
#include "tests/win/child_process.h"
#include "tests/win/ocx_client.h"
#include "tests/win/scoped_machine_policy.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

using namespace std::chrono_literals;

// A page process's bound: what a few hundred calls take under load, and
// under the x86 emulation.
constexpr DWORD kPageBoundMs = 90000;

class SharedReaderPages : public SimulatedReaders {
protected:
    // Serves one reader of `behaviour` to every process as this test's
    // reader, and lets the pages of this test find it.
    void Share(const std::string& behaviour) {
        name_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::GetCurrentProcessId());
        server_ = std::make_unique<ChildProcess>(
            L"sharedreader.exe",
            std::vector<std::string>{name_, "155B 4612 65 " + behaviour, std::to_string(::GetCurrentProcessId())});
        ASSERT_TRUE(server_->Started());
        ASSERT_TRUE(Eventually([&] { return server_->Output().find("ready") != std::string::npos; }, 20000));
        const std::string line = "155B 4612 65 shared " + name_;
        reader_ = Attach(line.c_str());
        // The pages' fakes list the same reader.
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        config_ = std::wstring(folder) + L"shared-" + std::wstring(name_.begin(), name_.end()) + L".conf";
        std::ofstream(std::filesystem::path(config_)) << line << "\n";
        ::SetEnvironmentVariableW(L"VELDORINCTL_SIM_CONFIG", config_.c_str());
    }

    void TearDown() override {
        server_.reset();
        if (!config_.empty()) ::DeleteFileW(config_.c_str());
        SimulatedReaders::TearDown();
    }

    std::unique_ptr<ChildProcess> Page(std::vector<std::string> steps) {
        auto page = std::make_unique<ChildProcess>(L"page_process.exe", steps);
        EXPECT_TRUE(page->Started());
        return page;
    }

    // Waits for the page; true when it ended with every check held.
    static bool Passes(ChildProcess& page, DWORD timeoutMs = kPageBoundMs) {
        const auto code = page.Wait(timeoutMs);
        EXPECT_TRUE(code.has_value()) << "the page did not finish in time:\n" << page.Output();
        EXPECT_EQ(code.value_or(1), 0u) << page.Output();
        return code == 0u;
    }

    std::string Violations() {
        char text[64 * 1024] = {};
        EXPECT_GE(VeldorinSim_Violations(reader_, text, sizeof text), 0);
        return text;
    }

    // Three pages make 200 exchanges each at once (`step`: "calls" or
    // "async"), every answer checked by its page; the reader gets every
    // message whole.
    void ThreePagesExchangeAtOnce(const char* step) {
        Share("echo");
        std::vector<std::unique_ptr<ChildProcess>> pages;
        for (const char* tag : {"first", "second", "third"}) pages.push_back(Page({"open", step, "200", tag}));
        for (auto& page : pages) EXPECT_TRUE(Passes(*page));
        EXPECT_EQ(VeldorinSim_ReceivedCount(reader_), 600);
        EXPECT_EQ(Violations(), "");
    }

    std::string name_;
    int reader_ = 0;
    std::wstring config_;
    std::unique_ptr<ChildProcess> server_;
};

TEST_F(SharedReaderPages, ThreePagesCallingAtOnceGetTheirOwnAnswers) {
    ThreePagesExchangeAtOnce("calls");
}

TEST_F(SharedReaderPages, ThreePagesCallingAsynchronouslyGetTheirOwnAnswers) {
    ThreePagesExchangeAtOnce("async");
}

TEST_F(SharedReaderPages, APageKilledInTheMiddleOfAnExchangeShiftsNoAnswer) {
    // The first command waits for a cardholder; the rest are answered at once.
    Share("delay 5000 echo then echo");
    // The other pages are up and have the reader open before the dying page
    // sends: how long a process takes to start (seconds, under emulation on
    // a loaded machine) must not eat into the cardholder's time.
    SessionEvent firstOpen(name_ + "-first"), secondOpen(name_ + "-second"), go(name_ + "-go");
    auto first = Page({"open", "signal", name_ + "-first", "await", name_ + "-go", "calls", "100", "first"});
    auto second = Page({"open", "signal", name_ + "-second", "await", name_ + "-go", "calls", "100", "second"});
    ASSERT_TRUE(firstOpen.Wait(30000) && secondOpen.Wait(30000));
    auto dying = Page({"open", "call", "AQIDBA=="});
    ASSERT_TRUE(Eventually([&] { return VeldorinSim_ReceivedCount(reader_) >= 1; }, 30000))
        << "the dying page's command reached the reader";
    go.Set();
    ::Sleep(200);  // both wait for the lock the dying page holds
    ASSERT_FALSE(dying->Wait(0)) << "still waiting for its answer:\n" << dying->Output();
    dying->Kill();
    EXPECT_TRUE(Passes(*first, 60000));
    EXPECT_TRUE(Passes(*second, 60000));
    EXPECT_EQ(VeldorinSim_ReceivedCount(reader_), 201);
    EXPECT_EQ(Violations(), "");
}

TEST_F(SharedReaderPages, AnAnswerAfterTheTimeLimitIsNotTheNextCallsInOnePage) {
    ScopedMachinePolicy policy;
    // The late answer comes half a second after the first call gave up,
    // and the second call's own limit leaves it 1.5 s more for its
    // exchange: room enough on a loaded machine.
    ASSERT_TRUE(policy.SetExchangeTimeoutSeconds(2));
    Share("delay 2500 echo then echo");
    auto page = Page({"open", "call", "AAAA", "call", "BBBB"});
    ASSERT_TRUE(page->Wait(30000).has_value());
    EXPECT_NE(page->Output().find("answer \nanswer BBBB\n"), std::string::npos) << page->Output();
}

TEST_F(SharedReaderPages, AnAnswerAfterTheTimeLimitIsNotAnotherPagesAnswer) {
    ScopedMachinePolicy policy;
    ASSERT_TRUE(policy.SetExchangeTimeoutSeconds(2));
    Share("delay 2500 echo then echo");
    SessionEvent laterOpen(name_ + "-later"), timedOut(name_ + "-timed-out"), go(name_ + "-go");
    auto later = Page({"open", "signal", name_ + "-later", "await", name_ + "-go", "call", "BBBB"});
    ASSERT_TRUE(laterOpen.Wait(30000));
    auto early = Page({"open", "call", "AAAA", "signal", name_ + "-timed-out"});
    ASSERT_TRUE(timedOut.Wait(30000));
    go.Set();  // the late answer is still on its way, to every handle
    ASSERT_TRUE(later->Wait(30000).has_value());
    EXPECT_NE(early->Output().find("answer \n"), std::string::npos) << early->Output();
    EXPECT_NE(later->Output().find("answer BBBB\n"), std::string::npos) << later->Output();
}

TEST_F(SharedReaderPages, AClosedCallAnswersEmptyAndItsAnswerShiftsNothing) {
    // The answer's first report after 0.6 s, the rest 3 s later still: the
    // page closes at 1 s, between them, and well before the rest.
    Share("delay 600 pause-after 1 3000 echo then echo");
    const std::string twoReports(136, 'Q');  // 102 bytes: an answer of two reports
    auto page =
        Page({"open", "asynccall", twoReports, "sleep", "1000", "close", "events", "1", "open", "call", "BBBB"});
    ASSERT_TRUE(page->Wait(30000).has_value());
    EXPECT_NE(page->Output().find("event \n"), std::string::npos) << "not the part that arrived:\n" << page->Output();
    EXPECT_NE(page->Output().find("answer BBBB\n"), std::string::npos) << page->Output();
}

TEST_F(SharedReaderPages, ReopeningDuringAnAnswerShiftsNothing) {
    Share("delay 2500 echo then echo");
    auto page = Page({"open", "asynccall", "AAAA", "sleep", "300", "open", "call", "BBBB", "events", "1"});
    ASSERT_TRUE(page->Wait(30000).has_value());
    EXPECT_NE(page->Output().find("answer BBBB\nevent \n"), std::string::npos) << page->Output();
}

TEST_F(SharedReaderPages, LoadCABesideAnotherPagesCallsKeepsEveryAnswerInItsPlace) {
    Share("ca 1 echo-others");
    auto loading = Page({"open", "loadca", "10", "1000"});
    auto calling = Page({"open", "calls", "200", "calling"});
    EXPECT_TRUE(Passes(*loading));
    EXPECT_TRUE(Passes(*calling));
    EXPECT_EQ(Problems(reader_), "") << "the blocks reached the reader in order";
    EXPECT_EQ(Violations(), "");
}

TEST_F(SharedReaderPages, TwoPageContainersShareOneReader) {
    Share("echo");
    const auto narrow = [](const std::wstring& path) { return std::string(path.begin(), path.end()); };
    const std::string page = narrow(BesideTestProgram(L"..\\tests\\pages\\site\\shared_reader.html"));
    const std::string ocx = narrow(BesideTestProgram(L"VELDORINCTL.OCX"));
    std::vector<std::unique_ptr<ChildProcess>> hosts;
    for (int i = 0; i < 2; ++i)
        hosts.push_back(std::make_unique<ChildProcess>(
            L"pagehost.exe", std::vector<std::string>{"--hidden", "--timeout", "80", "--ocx", ocx, page}));
    for (auto& host : hosts) EXPECT_TRUE(Passes(*host));
    EXPECT_EQ(Violations(), "");
}

}  // namespace
}  // namespace veldorinctl::test
