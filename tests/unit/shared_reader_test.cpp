// The simulated reader that several handles share, held to the semantics of
// a HID device opened several times: every input report to every handle,
// a bounded queue per handle, a flush that empties the caller's alone, and
// a message of two writers recorded as a violation.
#include <gtest/gtest.h>

#include "device/hid_framing.h"
#include "sim/responders.h"
#include "sim/shared_reader.h"

namespace {

constexpr uint16_t kReportLen = 9;  // 7 payload bytes: short messages take several reports

Report Read(SharedReader& reader, SharedReader::Handle handle) {
    Report report;
    const auto input = reader.Read(handle, report, std::chrono::steady_clock::now() + std::chrono::milliseconds(2000));
    EXPECT_EQ(input, SharedReader::Input::Report);
    return report;
}

void Write(SharedReader& reader, SharedReader::Handle handle, const Report& report) {
    EXPECT_TRUE(reader.Write(handle, report.data(), report.size()));
}

void WriteMessage(SharedReader& reader, SharedReader::Handle handle, const Bytes& message) {
    for (const Report& report : FrameMessage(message, kReportLen)) Write(reader, handle, report);
}

TEST(SharedReader, EveryHandleGetsEveryAnswerAndOnlyWhatCameAfterItOpened) {
    SharedReader reader(kReportLen, sim::Echo());
    const auto first = reader.Open();
    const auto second = reader.Open();
    WriteMessage(reader, first, {1, 2, 3});
    const std::vector<Report> answer = FrameMessage({1, 2, 3}, kReportLen);
    for (const Report& report : answer) {
        EXPECT_EQ(Read(reader, first), report);
        EXPECT_EQ(Read(reader, second), report) << "the handle that did not ask gets it too";
    }
    const auto late = reader.Open();
    Report report;
    EXPECT_EQ(reader.Read(late, report, std::chrono::steady_clock::now()), SharedReader::Input::TimedOut);
    EXPECT_EQ(reader.Received(), std::vector<Bytes>{Bytes({1, 2, 3})});
    EXPECT_TRUE(reader.Violations().empty());
}

TEST(SharedReader, AFullQueueDropsItsOldestReports) {
    SharedReader reader(kReportLen, sim::AnswerOfLength(7 * 9));  // 9 reports (none of them empty)
    const auto handle = reader.Open();
    EXPECT_FALSE(reader.SetInputBuffers(handle, 1));
    EXPECT_FALSE(reader.SetInputBuffers(handle, 513));
    ASSERT_TRUE(reader.SetInputBuffers(handle, 3));
    WriteMessage(reader, handle, {7});
    ASSERT_TRUE(reader.WaitForMessages(1, 2000));
    const std::vector<Report> answer = FrameMessage(sim::PatternBytes(63), kReportLen);
    // The reader sends after it took the command in; wait until it has.
    for (int i = 0; i < 200 && reader.DroppedReports() < answer.size() - 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(reader.DroppedReports(), answer.size() - 3);
    for (size_t i = answer.size() - 3; i < answer.size(); ++i) EXPECT_EQ(Read(reader, handle), answer[i]);
}

TEST(SharedReader, FlushEmptiesTheCallersQueueAlone) {
    SharedReader reader(kReportLen, sim::Echo());
    const auto asking = reader.Open();
    const auto other = reader.Open();
    WriteMessage(reader, asking, {5});
    ASSERT_TRUE(reader.WaitForMessages(1, 2000));
    const Report first = Read(reader, other);  // the answer has arrived
    reader.Flush(asking);
    Report report;
    EXPECT_EQ(reader.Read(asking, report, std::nullopt), SharedReader::Input::Flushed);
    EXPECT_EQ(reader.Read(asking, report, std::chrono::steady_clock::now()), SharedReader::Input::TimedOut)
        << "nothing left";
    EXPECT_EQ(first, FrameMessage({5}, kReportLen)[0]);
    EXPECT_EQ(Read(reader, other), FrameMessage({5}, kReportLen)[1]) << "the other handle keeps its queue";
}

TEST(SharedReader, AMessageOfTwoWritersIsAViolation) {
    SharedReader reader(kReportLen, sim::Silent());
    const auto a = reader.Open();
    const auto b = reader.Open();
    const std::vector<Report> ofA = FrameMessage(Bytes(20, 0xA), kReportLen);  // first, middle, last
    const std::vector<Report> ofB = FrameMessage(Bytes(20, 0xB), kReportLen);
    Write(reader, a, ofA[0]);
    Write(reader, b, ofB[0]);  // starts over: a's message is cut off, not mixed
    Write(reader, a, ofA[1]);  // but this continues b's
    Write(reader, b, ofB[2]);
    ASSERT_TRUE(reader.WaitForMessages(1, 2000));
    ASSERT_EQ(reader.Violations().size(), 1u);
    EXPECT_EQ(reader.Violations()[0], "message 1 mixes the reports of handles 1 2");

    WriteMessage(reader, a, {1});
    ASSERT_TRUE(reader.WaitForMessages(2, 2000));
    EXPECT_EQ(reader.Violations().size(), 1u) << "a whole message of one handle is fine";
}

TEST(SharedReader, CancelAndUnplugEndReads) {
    SharedReader reader(kReportLen, sim::UnplugOnCommand());
    const auto handle = reader.Open();
    const auto other = reader.Open();
    reader.Cancel(handle);
    Report report;
    EXPECT_EQ(reader.Read(handle, report, std::nullopt), SharedReader::Input::Closed);
    EXPECT_FALSE(reader.Write(handle, FrameMessage({1}, kReportLen)[0].data(), kReportLen));
    WriteMessage(reader, other, {1});
    EXPECT_EQ(reader.Read(other, report, std::nullopt), SharedReader::Input::Closed) << "unplugged by the command";
}

}  // namespace
