// The simulated reader's transport: the reader's end of a named pipe as a
// report link, and a reader that serves every client on a connection of its
// own. The client side here is plain CreateFile/ReadFile/WriteFile, as a
// HID host would use it.
#include "sim/win32/pipe_report_link.h"

#include <gtest/gtest.h>

#include <future>

#include "sim/responders.h"
#include "sim/win32/pipe_reader.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kReportLen = 8;

std::string UniquePipePath() {
    static int next = 0;
    return "\\\\.\\pipe\\pipe-link-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++next);
}

UniqueFileHandle OpenClient(const std::string& path) {
    return UniqueFileHandle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// Bytes the client got from one ReadFile of up to `capacity` bytes.
Bytes ClientRead(HANDLE client, size_t capacity) {
    Bytes buffer(capacity);
    DWORD got = 0;
    if (!::ReadFile(client, buffer.data(), static_cast<DWORD>(capacity), &got, nullptr)) return {};
    buffer.resize(got);
    return buffer;
}

bool ClientWrite(HANDLE client, const Bytes& bytes) {
    DWORD put = 0;
    return ::WriteFile(client, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

// One connected pair: the reader's end and a synchronous client.
struct Connected {
    std::string path = UniquePipePath();
    std::unique_ptr<PipeReportLink> reader = PipeReportLink::Listen(path);
    UniqueFileHandle client = OpenClient(path);

    bool Ok() { return reader && client && reader->FinishConnect(); }
};

TEST(PipeReportLink, EveryReadGetsOneReportEvenWhenItAsksForMore) {
    Connected pipe;
    ASSERT_TRUE(pipe.Ok());
    auto writer = std::async(std::launch::async, [&] {
        bool all = true;
        for (uint8_t n = 1; n <= 3; ++n) {
            const Report report(kReportLen, n);
            all = pipe.reader->WriteReport(report.data(), report.size()) && all;
        }
        return all;
    });
    // Give the reader time to queue up everything it would.
    std::this_thread::sleep_for(100ms);
    for (uint8_t n = 1; n <= 3; ++n) EXPECT_EQ(ClientRead(pipe.client.get(), 4 * kReportLen), Report(kReportLen, n));
    EXPECT_TRUE(writer.get());
}

TEST(PipeReportLink, TheClientsReportsArriveOneByOne) {
    Connected pipe;
    ASSERT_TRUE(pipe.Ok());
    ASSERT_TRUE(ClientWrite(pipe.client.get(), Report(kReportLen, 0x11)));
    ASSERT_TRUE(ClientWrite(pipe.client.get(), Report(kReportLen, 0x22)));
    Report report(kReportLen);
    ASSERT_TRUE(pipe.reader->ReadReport(report.data(), report.size()));
    EXPECT_EQ(report, Report(kReportLen, 0x11));
    ASSERT_TRUE(pipe.reader->ReadReport(report.data(), report.size()));
    EXPECT_EQ(report, Report(kReportLen, 0x22));
}

TEST(PipeReportLink, AMessageOfAnotherLengthIsNoReportAndEndsTheConnection) {
    for (size_t wrong : {kReportLen - 1, kReportLen + 1}) {
        Connected pipe;
        ASSERT_TRUE(pipe.Ok());
        ASSERT_TRUE(ClientWrite(pipe.client.get(), Bytes(wrong, 0x33)));
        Report report(kReportLen);
        EXPECT_FALSE(pipe.reader->ReadReport(report.data(), report.size())) << wrong << " bytes";
        EXPECT_TRUE(pipe.reader->Ended());
        EXPECT_FALSE(ClientWrite(pipe.client.get(), Report(kReportLen, 0x44))) << "the client was not cut off";
    }
}

TEST(PipeReportLink, AClientThatLeavesFailsAWriteWaitingForIt) {
    Connected pipe;
    ASSERT_TRUE(pipe.Ok());
    auto writer = std::async(std::launch::async, [&] {
        const Report report(kReportLen, 0x55);
        return pipe.reader->WriteReport(report.data(), report.size());
    });
    ASSERT_EQ(writer.wait_for(100ms), std::future_status::timeout) << "written before anyone read it";
    pipe.client.reset();
    ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(writer.get());
    EXPECT_TRUE(pipe.reader->Ended());
}

TEST(PipeReportLink, CancelEndsAWaitingReadOnBothEnds) {
    Connected pipe;
    ASSERT_TRUE(pipe.Ok());
    auto reading = std::async(std::launch::async, [&] {
        Report report(kReportLen);
        return pipe.reader->ReadReport(report.data(), report.size());
    });
    ASSERT_EQ(reading.wait_for(100ms), std::future_status::timeout);
    pipe.reader->Cancel();
    ASSERT_EQ(reading.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(reading.get());
    EXPECT_TRUE(ClientRead(pipe.client.get(), kReportLen).empty()) << "the client still reads";
}

TEST(PipeReader, ClientsOpeningAtOnceAreAllServed) {
    const std::string path = UniquePipePath();
    PipeReader reader(path, kReportLen, sim::Echo);
    ASSERT_TRUE(reader.Listening());
    for (int round = 0; round < 5; ++round) {
        // Each opens right after the one before, before the reader's thread
        // had a chance to notice it.
        std::vector<UniqueFileHandle> clients;
        for (int n = 0; n < 4; ++n) {
            clients.push_back(OpenClient(path));
            ASSERT_TRUE(clients.back()) << "round " << round << ", client " << n << ": error " << ::GetLastError();
        }
        EXPECT_TRUE(reader.CatchUp(10000));
        EXPECT_EQ(reader.Connections(), 4u * (round + 1));
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (reader.OpenConnections() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(reader.OpenConnections(), 0u);
}

TEST(PipeReader, UnplugCutsClientsOffAndNothingCanOpenItAfterwards) {
    const std::string path = UniquePipePath();
    PipeReader reader(path, kReportLen, sim::Silent);
    UniqueFileHandle client = OpenClient(path);
    ASSERT_TRUE(client);
    reader.Unplug();
    EXPECT_FALSE(reader.Present());
    EXPECT_TRUE(ClientRead(client.get(), kReportLen).empty());
    EXPECT_FALSE(OpenClient(path));
}

}  // namespace
