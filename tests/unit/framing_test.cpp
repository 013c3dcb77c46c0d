// The report framing against an in-memory link: exactly which reports a
// message becomes, and what the reader side of a message may throw at us.
#include <gtest/gtest.h>

#include <vector>

#include "device/hid_framing.h"
#include "sim/memory_report_link.h"
#include "sim/responders.h"

namespace {

struct LinkedDevice {
    MemoryReportLink* link;
    HidDevicePtr device;
};

LinkedDevice MakeDevice(uint16_t reportLen, std::vector<Report> toRead = {}) {
    auto link = std::make_unique<MemoryReportLink>(std::move(toRead));
    MemoryReportLink* raw = link.get();
    HidDevicePtr device = MakeHidDevice("memory", std::move(link), reportLen);
    return {raw, std::move(device)};
}

std::vector<uint8_t> ControlBytes(const std::vector<Report>& reports) {
    std::vector<uint8_t> controls;
    for (const Report& r : reports) controls.push_back(r[1]);
    return controls;
}

struct FramingCase {
    uint16_t reportLen;
    uint32_t length;
    std::vector<uint8_t> controls;
};

class WriteHidMessageTest : public testing::TestWithParam<FramingCase> {};

TEST_P(WriteHidMessageTest, SendsTheExpectedReports) {
    const FramingCase& c = GetParam();
    auto [link, device] = MakeDevice(c.reportLen);
    const Bytes message = sim::PatternBytes(c.length);
    ASSERT_TRUE(WriteHidMessage(*device, message.data(), c.length));
    EXPECT_EQ(ControlBytes(link->Written()), c.controls);

    Bytes payload;
    for (const Report& r : link->Written()) {
        ASSERT_EQ(r.size(), c.reportLen);
        EXPECT_EQ(r[0], 0) << "report id";
        const size_t count = r[1] & 0x3F;
        payload.insert(payload.end(), r.begin() + 2, r.begin() + 2 + count);
        for (size_t i = 2 + count; i < r.size(); ++i) EXPECT_EQ(r[i], 0) << "unused payload is cleared";
    }
    EXPECT_EQ(payload, message);
}

INSTANTIATE_TEST_SUITE_P(ReportLengths, WriteHidMessageTest,
                         testing::Values(FramingCase{65, 1, {0x01, 0x80}}, FramingCase{65, 63, {0x3F, 0x80}},
                                         FramingCase{65, 64, {0x3F, 0x81}}, FramingCase{65, 126, {0x3F, 0xBF}},
                                         FramingCase{65, 127, {0x3F, 0x7F, 0x81}},
                                         FramingCase{65, 134, {0x3F, 0x7F, 0x88}}, FramingCase{9, 1, {0x01, 0x80}},
                                         FramingCase{9, 7, {0x07, 0x80}}, FramingCase{9, 8, {0x07, 0x81}},
                                         FramingCase{9, 15, {0x07, 0x47, 0x81}}, FramingCase{3, 3, {0x01, 0x41, 0x81}}),
                         [](const testing::TestParamInfo<FramingCase>& info) {
                             return "L" + std::to_string(info.param.reportLen) + "_" +
                                    std::to_string(info.param.length) + "bytes";
                         });

TEST(WriteHidMessage, EmptyMessageSendsNothing) {
    auto [link, device] = MakeDevice(65);
    const uint8_t byte = 0;
    EXPECT_FALSE(WriteHidMessage(*device, &byte, 0));
    EXPECT_TRUE(link->Written().empty());
}

TEST(WriteHidMessage, StopsAtTheFirstFailedReport) {
    auto [link, device] = MakeDevice(65);
    link->FailWritesAfter(1);
    const Bytes message = sim::PatternBytes(200);
    EXPECT_FALSE(WriteHidMessage(*device, message.data(), 200));
    EXPECT_EQ(link->Written().size(), 1u);
}

TEST(ReadHidMessage, CollectsAShortAnswer) {
    auto [link, device] = MakeDevice(65, FrameMessage({0x90, 0x00}, 65));
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 99;
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(buffer[0], 0x90);
    EXPECT_EQ(buffer[1], 0x00);
}

TEST(ReadHidMessage, ReassemblesLongAnswersAtSmallReportLengths) {
    for (uint16_t reportLen : {3, 9, 64, 65}) {
        for (uint32_t length : {1u, 62u, 63u, 64u, 127u, 1000u, 4096u}) {
            const Bytes answer = sim::PatternBytes(length);
            auto [link, device] = MakeDevice(reportLen, FrameMessage(answer, reportLen));
            std::vector<uint8_t> buffer(4096);
            uint32_t count = 0;
            EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 4096, count));
            buffer.resize(count);
            EXPECT_EQ(buffer, answer) << reportLen << "/" << length;
        }
    }
}

TEST(ReadHidMessage, SkipsReportsThatCannotStartAMessage) {
    std::vector<Report> reports = {MakeReport(65, 0x42, {1, 2}), MakeReport(65, 0x81, {3}), MakeReport(65, 0xC1, {4})};
    for (const Report& r : FrameMessage({7, 8, 9}, 65)) reports.push_back(r);
    auto [link, device] = MakeDevice(65, reports);
    std::vector<uint8_t> buffer(16);
    uint32_t count = 0;
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 16, count));
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(buffer[0], 7);
}

TEST(ReadHidMessage, FailedReadKeepsWhatArrived) {
    // First and middle report, then the reader is gone.
    Bytes answer = sim::PatternBytes(200);
    std::vector<Report> reports = FrameMessage(answer, 65);
    reports.resize(2);
    auto [link, device] = MakeDevice(65, reports);
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 0;
    EXPECT_FALSE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 126u);

    auto [silentLink, silent] = MakeDevice(65);
    EXPECT_FALSE(ReadHidMessage(*silent, buffer.data(), 4096, count));
    EXPECT_EQ(count, 0u);
}

TEST(ReadHidMessage, RefusesAnAnswerLongerThanTheBufferButReadsItToTheEnd) {
    const Bytes answer = sim::PatternBytes(10000);
    std::vector<Report> reports = FrameMessage(answer, 65);
    const size_t answerReports = reports.size();
    for (const Report& r : FrameMessage({0x90, 0x00}, 65)) reports.push_back(r);
    auto [link, device] = MakeDevice(65, reports);

    std::vector<uint8_t> buffer(4096 + 64, 0xCC);
    uint32_t count = 0;
    EXPECT_FALSE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(link->ReportsRead(), answerReports) << "read on to the last report";
    for (size_t i = 4096; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xCC);

    // The next exchange gets its own answer, not the rest of the long one.
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(buffer[0], 0x90);
}

TEST(ReadHidMessage, AnswerOfExactlyTheCapacityFits) {
    auto [link, device] = MakeDevice(65, FrameMessage(sim::PatternBytes(2048), 65));
    std::vector<uint8_t> buffer(2048);
    uint32_t count = 0;
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 2048, count));
    EXPECT_EQ(count, 2048u);
}

TEST(ReadHidMessage, DistrustsCountsLargerThanTheReport) {
    // Report length 9 carries 7 payload bytes; the count claims 63.
    std::vector<Report> reports = {MakeReport(9, 0x3F, sim::PatternBytes(7)), MakeReport(9, 0x80)};
    for (const Report& r : FrameMessage({1, 2}, 9)) reports.push_back(r);
    auto [link, device] = MakeDevice(9, reports);
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 0;
    EXPECT_FALSE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 4096, count)) << "still in step";
    EXPECT_EQ(count, 2u);
}

TEST(ReadHidMessage, ShortReportsLeaveNoGapOfStaleBytes) {
    // A first report of 2 bytes followed by a last report of 3: five bytes,
    // one after another, not 3 bytes at offset 63.
    std::vector<Report> reports = {MakeReport(65, 0x02, {1, 2}), MakeReport(65, 0x83, {3, 4, 5})};
    auto [link, device] = MakeDevice(65, reports);
    std::vector<uint8_t> buffer(4096, 0xCC);
    uint32_t count = 0;
    EXPECT_TRUE(ReadHidMessage(*device, buffer.data(), 4096, count));
    buffer.resize(count);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(ReadHidMessage, GivesUpOnAReaderThatNeverEndsAMessage) {
    std::vector<Report> reports = {MakeReport(65, 0x3F, sim::PatternBytes(63))};
    reports.insert(reports.end(), 5000, MakeReport(65, 0x7F, sim::PatternBytes(63)));
    auto [link, device] = MakeDevice(65, reports);
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 0;
    EXPECT_FALSE(ReadHidMessage(*device, buffer.data(), 4096, count));
    EXPECT_EQ(count, 0u);
    EXPECT_LT(link->ReportsRead(), 5000u);

    std::vector<Report> stray(5000, MakeReport(65, 0x81, {1}));
    auto [strayLink, strayDevice] = MakeDevice(65, stray);
    EXPECT_FALSE(ReadHidMessage(*strayDevice, buffer.data(), 4096, count));
    EXPECT_LT(strayLink->ReportsRead(), 5000u);
}

TEST(HidDevice, RefusesReportLengthsTheFramingCannotCarry) {
    for (uint16_t bad : {0, 1, 2, 66, 131, 65535})
        EXPECT_EQ(MakeHidDevice("x", std::make_unique<MemoryReportLink>(), bad), nullptr) << bad;
    for (uint16_t good : {3, 65}) EXPECT_NE(MakeHidDevice("x", std::make_unique<MemoryReportLink>(), good), nullptr);
}

}  // namespace

namespace {

// A link that notes, when it is destroyed, whether the record still held its
// interface detail: closing must end the link first and free the detail after.
class ClosingOrderLink : public ReportLink {
public:
    ClosingOrderLink(const HidDevice** device, bool* detailAtClose) : device_(device), detailAtClose_(detailAtClose) {}
    ~ClosingOrderLink() override { *detailAtClose_ = (*device_)->pDetail != nullptr; }
    bool WriteReport(const uint8_t*, size_t) override { return true; }
    bool ReadReport(uint8_t*, size_t) override { return false; }
    void Cancel() override {}

private:
    const HidDevice** device_;
    bool* detailAtClose_;
};

}  // namespace

TEST(CloseHidDevice, ClosesTheLinkBeforeFreeingTheDetail) {
    const HidDevice* device = nullptr;
    bool detailAtClose = false;
    HidDevicePtr opened = MakeHidDevice("memory", std::make_unique<ClosingOrderLink>(&device, &detailAtClose), 65);
    ASSERT_TRUE(opened);
    device = opened.get();
    CloseHidDevice(opened.release());
    EXPECT_TRUE(detailAtClose);
}
