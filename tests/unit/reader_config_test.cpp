// The simulated readers' configuration: the line format, what each
// behaviour answers, and a whole file read up to its first wrong line.
#include "sim/reader_config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/sim_framing.h"

namespace {

constexpr uint16_t kLen = 65;

// The reply of a fresh connection's behaviour to each command in turn.
std::vector<SimReply> Replies(const ReaderSpec& description, const std::vector<Bytes>& commands) {
    const Responder responder = description.behaviour().responder;
    std::vector<SimReply> replies;
    for (const Bytes& command : commands) replies.push_back(responder(command, kLen));
    return replies;
}

ReaderSpec Reader(const char* line) {
    ParsedLine parsed = ParseReaderLine(line);
    EXPECT_EQ(parsed.error, "") << line;
    return parsed.reader.value_or(ReaderSpec{});
}

TEST(ReaderConfig, ReadsIdentityReportLengthAndBehaviour) {
    const ReaderSpec description = Reader("  155b 0x4612\t65 echo   # the usual reader");
    EXPECT_EQ(description.vendorId, 0x155B);
    EXPECT_EQ(description.productId, 0x4612);
    EXPECT_EQ(description.reportLen, 65);
    EXPECT_TRUE(description.openable);
    EXPECT_EQ(Replies(description, {{1, 2, 3}})[0].reports, FrameMessage({1, 2, 3}, kLen));

    const ReaderSpec unopenable = Reader("6A8A 0801 0 unopenable");
    EXPECT_FALSE(unopenable.openable);
    EXPECT_EQ(unopenable.reportLen, 0);

    const ReaderSpec shared = Reader("155B 4612 65 shared terminal-1");
    EXPECT_EQ(shared.sharedName, "terminal-1");
    EXPECT_FALSE(shared.behaviour) << "the shared reader server decides how it answers";
}

TEST(ReaderConfig, BlankLinesAndCommentsAreNoReaders) {
    for (const char* line : {"", "   \t", "# 155B 4612 65 echo", "  # note"}) {
        const ParsedLine parsed = ParseReaderLine(line);
        EXPECT_FALSE(parsed.reader) << line;
        EXPECT_EQ(parsed.error, "") << line;
    }
}

TEST(ReaderConfig, AWrongLineSaysWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"155B", "missing product id"},
        {"155B 4612 65", "missing behaviour"},
        {"1155B 4612 65 echo", "bad vendor id '1155B'"},
        {"155B 46G2 65 echo", "bad product id '46G2'"},
        {"155B 4612 65536 echo", "bad report length '65536'"},
        {"155B 4612 -3 echo", "bad report length '-3'"},
        {"155B 4612 65 echo loudly", "unexpected 'loudly'"},
        {"155B 4612 65 dance", "unknown behaviour 'dance'"},
        {"155B 4612 65 fixed 900", "bad hex bytes '900'"},
        {"155B 4612 65 fixed 9X00", "bad hex bytes '9X00'"},
        {"155B 4612 65 length 99999999", "bad answer length"},
        {"155B 4612 65 ca 3", "bad CA variant '3'"},
        {"155B 4612 65 ca 0", "bad CA variant"},
        {"155B 4612 65 stray 2", "missing behaviour"},
        {"155B 4612 65 echo then", "missing behaviour"},
        {"155B 4612 65 delay 600000 echo", "bad delay"},
        {"155B 4612 65 shared", "missing shared reader's name"},
        {"155B 4612 65 shared a\\b", "bad shared reader's name"},
    };
    for (const auto& [line, error] : cases) {
        const ParsedLine parsed = ParseReaderLine(line);
        EXPECT_FALSE(parsed.reader) << line;
        EXPECT_NE(parsed.error.find(error), std::string::npos) << line << " -> " << parsed.error;
    }
}

TEST(ReaderConfig, BehavioursAnswerAsNamed) {
    EXPECT_EQ(Replies(Reader("1 1 65 fixed 9000"), {{7}})[0].reports, FrameMessage({0x90, 0x00}, kLen));
    EXPECT_EQ(Replies(Reader("1 1 65 length 70"), {{7}})[0].reports, FrameMessage(sim::PatternBytes(70), kLen));
    EXPECT_TRUE(Replies(Reader("1 1 65 silent"), {{7}})[0].reports.empty());

    const SimReply unplugging = Replies(Reader("1 1 65 unplug-after 1 length 200"), {{7}})[0];
    EXPECT_EQ(unplugging.reports.size(), 1u);
    EXPECT_EQ(unplugging.then, SimReply::Then::Unplug);

    const SimReply paused = Replies(Reader("1 1 65 pause-after 1 300 length 200"), {{7}})[0];
    EXPECT_EQ(paused.reports, FrameMessage(sim::PatternBytes(200), kLen));
    EXPECT_EQ(paused.pauseAfter, 1u);
    EXPECT_EQ(paused.pauseMs, 300u);

    const SimReply stray = Replies(Reader("1 1 65 stray 2 fixed 9000"), {{7}})[0];
    ASSERT_EQ(stray.reports.size(), 4u);
    EXPECT_NE(stray.reports[0][1] & 0xC0, 0) << "a stray report must not start a message";
    EXPECT_NE(stray.reports[1][1] & 0xC0, 0);

    const Bytes block{0x18, 0xC6, 0x00, 0xFD, 0x01, 0xAB, 0x00};
    EXPECT_EQ(Replies(Reader("1 1 65 ca 2 refuse 0"), {block})[0].reports, FrameMessage({0x6A, 0x80}, kLen));
    EXPECT_EQ(Replies(Reader("1 1 65 ca 2"), {block})[0].reports, FrameMessage({0x90, 0x00}, kLen));
    EXPECT_EQ(Replies(Reader("1 1 65 ca 2"), {{7}})[0].reports, FrameMessage({0x6D, 0x00}, kLen));
    EXPECT_EQ(Replies(Reader("1 1 65 ca 2 echo-others"), {{7}, block})[0].reports, FrameMessage({7}, kLen));
}

TEST(ReaderConfig, ThenAnswersInTurnAndEveryConnectionStartsAfresh) {
    const ReaderSpec description = Reader("1 1 65 fixed 01 then fixed 02 then echo");
    const std::vector<Bytes> commands{{9}, {9}, {9}, {8}};
    const std::vector<Report> expected[] = {FrameMessage({1}, kLen), FrameMessage({2}, kLen), FrameMessage({9}, kLen),
                                            FrameMessage({8}, kLen)};
    for (int connection = 0; connection < 2; ++connection) {
        const std::vector<SimReply> replies = Replies(description, commands);
        for (size_t i = 0; i < commands.size(); ++i)
            EXPECT_EQ(replies[i].reports, expected[i]) << "connection " << connection << ", command " << i;
    }
}

TEST(ReaderConfig, AFileIsReadUpToItsFirstWrongLine) {
    std::istringstream good("# readers\n155B 4612 65 echo\n\n6A8A 0801 33 silent\n");
    const ParsedConfig config = ParseReaderConfig(good);
    EXPECT_EQ(config.errorLine, 0u);
    ASSERT_EQ(config.readers.size(), 2u);
    EXPECT_EQ(config.readers[1].productId, 0x0801);

    std::istringstream bad("155B 4612 65 echo\n# fine\n155B 4612 65 ecko\n6A8A 0801 33 silent\n");
    const ParsedConfig refused = ParseReaderConfig(bad);
    EXPECT_EQ(refused.errorLine, 3u);
    EXPECT_NE(refused.error.find("ecko"), std::string::npos);
    EXPECT_TRUE(refused.readers.empty());
}

}  // namespace
