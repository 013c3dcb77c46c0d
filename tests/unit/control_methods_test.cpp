// The control's methods against simulated readers: the script-visible results
// of every method, and the threads-and-lifetime guarantees.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "codec/base64.h"
#include "device/download_ca.h"
#include "fake_readers.h"
#include "sim/responders.h"
#include "tests/vectors/certificate_vectors.h"

namespace {

using namespace std::chrono_literals;

constexpr uint16_t kFirstVid = 0x155B, kFirstPid = 0x4612;
constexpr uint16_t kSecondVid = 0x6A8A, kSecondPid = 0x0801;

std::string Text(const Bytes& bytes) {
    return Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

class ControlMethodsTest : public testing::Test {
protected:
    ControlMethods& Control() {
        if (!control_) control_ = std::make_unique<ControlMethods>(readers_.Opener(), answers_.Wake());
        return *control_;
    }
    void Destroy() { control_.reset(); }

    ReaderSimulator& Reader() { return *readers_.Last(); }

    FakeReaders readers_;
    DeliveredAnswers answers_;
    std::unique_ptr<ControlMethods> control_;  // last: goes before its readers
};

TEST_F(ControlMethodsTest, DevOpenTriesTheIdentitiesInOrder) {
    EXPECT_EQ(Control().DevOpen(), 0) << "nothing attached";
    EXPECT_EQ(readers_.Asked(),
              (std::vector<std::pair<uint16_t, uint16_t>>{{kFirstVid, kFirstPid}, {kSecondVid, kSecondPid}}));

    readers_.Attach(kSecondVid, kSecondPid, sim::Fixed({2}));
    EXPECT_NE(Control().DevOpen(), 0) << "the second identity alone";
    EXPECT_EQ(Control().DevCall("AA=="), "Ag==");

    readers_.Attach(kFirstVid, kFirstPid, sim::Fixed({1}));
    EXPECT_NE(Control().DevOpen(), 0);
    EXPECT_EQ(Control().DevCall("AA=="), "AQ==") << "the first identity wins";
}

TEST_F(ControlMethodsTest, HandlesAreDistinctNonzeroAndOnlyTheCurrentOneCloses) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    const int32_t first = Control().DevOpen();
    const int32_t second = Control().DevOpen();  // replaces (and closes) the first
    EXPECT_NE(first, 0);
    EXPECT_NE(second, 0);
    EXPECT_NE(first, second);

    for (int32_t other : {0, first, second + 1, -1}) Control().DevClose(other);
    EXPECT_EQ(Control().DevCall("AQID"), "AQID") << "a wrong or stale handle closes nothing";

    Control().DevClose(second);
    EXPECT_EQ(Control().DevCall("AQID"), "");
    Control().DevClose(second);  // closing twice is harmless
    EXPECT_NE(Control().DevOpen(), 0) << "opens again after a close";
    EXPECT_EQ(Control().DevCall("AQID"), "AQID");
}

TEST_F(ControlMethodsTest, DevOpenClosesThePreviousConnection) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    ReaderSimulator* previous = readers_.Last();
    Control().DevOpen();
    EXPECT_FALSE(previous->WaitForMessages(1, 2000)) << "the old connection is gone";
}

TEST_F(ControlMethodsTest, DevCallReturnsTheAnswerAsBase64) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    for (uint32_t length : {1u, 2u, 3u, 63u, 64u, 4096u}) {
        const std::string text = Text(sim::PatternBytes(length));
        EXPECT_EQ(Control().DevCall(text.c_str()), text) << length;
    }
    EXPECT_EQ(Reader().Received().back().size(), 4096u) << "a 4096-byte command is sent whole";
}

TEST_F(ControlMethodsTest, DevCallAnswersOfEveryLength) {
    for (uint32_t length : {0u, 3u, 100u, 4096u}) {
        readers_.Attach(kFirstVid, kFirstPid, sim::AnswerOfLength(length));
        Control().DevOpen();
        const std::string answer = Control().DevCall("AA==");
        EXPECT_EQ(answer, Text(sim::PatternBytes(length)));
        EXPECT_EQ(answer.size(), 4 * ((length + 2) / 3));
    }
}

TEST_F(ControlMethodsTest, DevCallSendsNothingForEmptyNullOrUndecodableText) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    EXPECT_EQ(Control().DevCall(""), "");
    EXPECT_EQ(Control().DevCall(nullptr), "");
    EXPECT_EQ(Control().DevCall("=AAAA"), "");
    EXPECT_EQ(Control().DevCall("AQID AQID"), "AQID") << "decoding stops at the blank";
    EXPECT_EQ(Reader().ReceivedCount(), 1u);
}

TEST_F(ControlMethodsTest, DevCallRefusesCommandsLongerThanTheBuffer) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    const std::string longest = Text(sim::PatternBytes(4096));
    EXPECT_EQ(Control().DevCall(longest.c_str()), longest);
    const std::string tooLong = Text(sim::PatternBytes(4097));
    EXPECT_EQ(Control().DevCall(tooLong.c_str()), "");
    EXPECT_EQ(Control().DevCall(std::string(100000, 'A').c_str()), "");
    EXPECT_EQ(Reader().ReceivedCount(), 1u) << "refused commands are not sent, not even cut";
}

TEST_F(ControlMethodsTest, DevCallRefusesAnAnswerLongerThanTheBufferAndStaysUsable) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Sequence({sim::AnswerOfLength(4097), sim::Echo()}));
    Control().DevOpen();
    EXPECT_EQ(Control().DevCall("AA=="), "");
    EXPECT_EQ(Control().DevCall("AQID"), "AQID");
}

TEST_F(ControlMethodsTest, DevCallWithoutAReaderOrAfterUnplugIsEmpty) {
    EXPECT_EQ(Control().DevCall("AQID"), "") << "never opened";
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    Reader().Unplug();
    EXPECT_EQ(Control().DevCall("AQID"), "");
}

TEST_F(ControlMethodsTest, AnUnaskedMessageFromTheReaderDoesNotShiftTheAnswers) {
    // The reader follows every answer with a message nobody asked for. Were
    // it read as the next command's answer, each answer would be one behind.
    readers_.Attach(kFirstVid, kFirstPid, sim::ThenUnsolicited(sim::Echo(), {0xEE, 0xEE}));
    Control().DevOpen();
    for (const char* command : {"AQID", "BAUG", "BwgJ"}) {
        EXPECT_EQ(Control().DevCall(command), command);
        std::this_thread::sleep_for(50ms);  // the unasked message arrives
    }
}

TEST_F(ControlMethodsTest, DevCallKeepsWhatArrivedBeforeTheReaderVanished) {
    readers_.Attach(kFirstVid, kFirstPid, sim::UnplugAfterReports(sim::AnswerOfLength(200), 2));
    Control().DevOpen();
    EXPECT_EQ(Control().DevCall("AA=="), Text(sim::PatternBytes(126)));
}

TEST_F(ControlMethodsTest, DevCallAsyncDeliversWhatDevCallReturns) {
    readers_.Attach(kFirstVid, kFirstPid, sim::AnswerOfLength(3));
    Control().DevOpen();
    const std::string expected = Control().DevCall("AQID");
    EXPECT_EQ(expected.size(), 4u);
    Control().DevCallAsync("AQID");
    ASSERT_TRUE(answers_.WaitFor(Control(), 1));
    EXPECT_EQ(answers_.All(), std::vector<std::string>{expected});
}

TEST_F(ControlMethodsTest, DevCallAsyncReturnsBeforeTheReaderAnswers) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    Control().DevOpen();
    auto call = std::async(std::launch::async, [&] { Control().DevCallAsync("AQID"); });
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    ASSERT_TRUE(Reader().WaitForMessages(1, 5000));
    EXPECT_FALSE(answers_.WaitFor(Control(), 1, 100));
    Reader().SetResponder(sim::Echo());  // too late for the pending one
}

TEST_F(ControlMethodsTest, DevCallAsyncAnswersEmptyTextWhenNothingCanBeSent) {
    Control().DevCallAsync("AQID");  // no reader: the call is never sent on one opened later
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    Control().DevCallAsync("");
    Control().DevCallAsync(nullptr);
    Control().DevCallAsync(std::string(4096, 'A').c_str());  // does not fit the request
    ASSERT_TRUE(answers_.WaitFor(Control(), 4));
    EXPECT_EQ(answers_.All(), std::vector<std::string>(4, ""));
    EXPECT_EQ(Reader().ReceivedCount(), 0u);
}

TEST_F(ControlMethodsTest, DevCallAsyncSendsTheLongestTextThatFits) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    const std::string text = Text(sim::PatternBytes(3071)).substr(0, 4095);  // 4095 characters
    Control().DevCallAsync(text.c_str());
    ASSERT_TRUE(answers_.WaitFor(Control(), 1));
    EXPECT_EQ(Reader().Received().at(0).size(), 3071u);
}

TEST_F(ControlMethodsTest, OverlappingExchangesNeverInterleave) {
    // Long commands from many workers and the control's thread at once: with
    // overlapping exchanges the reader would see reports of different
    // messages mixed, and answers would go to the wrong caller.
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    Control().DevOpen();
    std::vector<std::string> commands;
    for (uint8_t i = 0; i < 8; ++i) {
        Bytes bytes = sim::PatternBytes(3000);
        bytes[0] = i;
        commands.push_back(Text(bytes));
    }
    for (const std::string& command : commands) Control().DevCallAsync(command.c_str());
    for (const std::string& command : commands) EXPECT_EQ(Control().DevCall(command.c_str()), command);
    ASSERT_TRUE(answers_.WaitFor(Control(), commands.size()));
    EXPECT_EQ(answers_.All(), commands);
    EXPECT_EQ(Reader().ReceivedCount(), 2 * commands.size());
}

TEST_F(ControlMethodsTest, DevCloseEndsAPendingCallOnASilentReader) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    const int32_t handle = Control().DevOpen();
    Control().DevCallAsync("AQID");
    ASSERT_TRUE(Reader().WaitForMessages(1, 5000));
    auto close = std::async(std::launch::async, [&] { Control().DevClose(handle); });
    ASSERT_EQ(close.wait_for(5s), std::future_status::ready) << "DevClose must not wait for the reader";
    ASSERT_TRUE(answers_.WaitFor(Control(), 1));
    EXPECT_EQ(answers_.All(), std::vector<std::string>{""});
}

TEST_F(ControlMethodsTest, DevOpenEndsAPendingCallOnTheConnectionItReplaces) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    Control().DevOpen();
    Control().DevCallAsync("AQID");
    ASSERT_TRUE(Reader().WaitForMessages(1, 5000));
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    auto open = std::async(std::launch::async, [&] { return Control().DevOpen(); });
    ASSERT_EQ(open.wait_for(5s), std::future_status::ready);
    EXPECT_NE(open.get(), 0);
    EXPECT_EQ(Control().DevCall("AQID"), "AQID");
}

TEST_F(ControlMethodsTest, DestructionWithCallsInFlightReturnsPromptlyAndDeliversNothing) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    Control().DevOpen();
    for (int i = 0; i < 4; ++i) Control().DevCallAsync("AQID");
    ASSERT_TRUE(Reader().WaitForMessages(1, 5000));
    auto destroy = std::async(std::launch::async, [&] { Destroy(); });
    ASSERT_EQ(destroy.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(answers_.All().empty()) << "no answer after destruction began";
}

TEST_F(ControlMethodsTest, LoadCAResultCodes) {
    const std::string certificate = Text(sim::PatternBytes(300));
    for (int32_t flag : {0, 3, -1}) EXPECT_EQ(Control().LoadCA(flag, certificate.c_str()), kCaBadVariant);
    EXPECT_EQ(Control().LoadCA(1, certificate.c_str()), kCaSendFailed) << "no reader";

    auto ca = sim::CaReader::Make({});
    readers_.Attach(kFirstVid, kFirstPid, ca->AsResponder());
    Control().DevOpen();
    for (int32_t flag : {0, 3, -1}) EXPECT_EQ(Control().LoadCA(flag, certificate.c_str()), kCaBadVariant);
    EXPECT_EQ(Control().LoadCA(1, ""), kCaSendFailed);
    EXPECT_EQ(Control().LoadCA(1, nullptr), kCaSendFailed);
    EXPECT_EQ(Control().LoadCA(1, "!!"), kCaSendFailed);
    EXPECT_EQ(Control().LoadCA(1, Text(sim::PatternBytes(4097)).c_str()), kCaSendFailed);
    // Text the lenient decoder would cut short: 64-column lines (as openssl
    // writes them), a trailing line break, a wrong pad, anything after it.
    std::string lines = Text(sim::PatternBytes(215));
    for (size_t at = 64; at < lines.size(); at += 65) lines.insert(at, "\n");
    for (const std::string& text :
         {lines, certificate + "\n", certificate + "=", " " + certificate, certificate + "==AAAA", certificate + "!"})
        EXPECT_EQ(Control().LoadCA(1, text.c_str()), kCaSendFailed) << text;
    // A zero inside: the text is taken whole, and the part before the zero
    // (a whole encoding of 150 bytes) is not loaded as if it were all.
    const std::string withZero = certificate.substr(0, 200) + std::string(1, '\0') + certificate.substr(200);
    EXPECT_EQ(Control().LoadCA(1, std::string_view(withZero)), kCaSendFailed);
    EXPECT_EQ(Reader().ReceivedCount(), 0u) << "refusals send nothing";

    EXPECT_EQ(Control().LoadCA(1, certificate.c_str()), kCaLoaded);
    EXPECT_EQ(ca->Certificate(), sim::PatternBytes(300));
    EXPECT_EQ(Control().LoadCA(1, Text(sim::PatternBytes(4096)).c_str()), kCaLoaded);
    EXPECT_TRUE(ca->Problems().empty());
}

TEST_F(ControlMethodsTest, LoadCAPassesTheReadersVerdictOn) {
    const std::string certificate = Text(sim::PatternBytes(300));
    struct Case {
        sim::CaReader::Options options;
        int32_t expected;
    };
    for (const Case& c : {Case{{.refuseBlock = 2}, kCaRefused}, Case{{.refuseBlock = 0}, kCaBadAnswer},
                          Case{{.wrongLengthBlock = 1}, kCaBadAnswer}}) {
        auto ca = sim::CaReader::Make(c.options);
        readers_.Attach(kFirstVid, kFirstPid, ca->AsResponder());
        Control().DevOpen();
        EXPECT_EQ(Control().LoadCA(1, certificate.c_str()), c.expected);
    }
    readers_.Attach(kFirstVid, kFirstPid, sim::UnplugOnCommand());
    Control().DevOpen();
    EXPECT_EQ(Control().LoadCA(2, certificate.c_str()), kCaReceiveFailed);
    EXPECT_EQ(Control().LoadCA(2, certificate.c_str()), kCaSendFailed);
}

}  // namespace

namespace {

TEST_F(ControlMethodsTest, CertificateMethodsGiveTheVectorsTextsWithOrWithoutAReader) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    auto check = [&](const char* when) {
        for (const CertificateVector& vector : CertificateVectors()) {
            EXPECT_EQ(Control().GetX509ValidDate(vector.text.c_str()), vector.validity) << vector.name << when;
            EXPECT_EQ(Control().GetX509Sn(vector.text.c_str()), vector.serial) << vector.name << when;
        }
    };
    check(" before DevOpen");
    const int32_t handle = Control().DevOpen();
    check(" with a reader open");
    Control().DevClose(handle);
    check(" after DevClose");
    EXPECT_EQ(Control().GetX509ValidDate(nullptr), std::nullopt);
    EXPECT_EQ(Control().GetX509Sn(nullptr), std::nullopt);
    EXPECT_EQ(readers_.Last()->ReceivedCount(), 0u) << "certificates never go to the reader";
}

}  // namespace

namespace {

TEST(ControlMethodsWorker, AWakeUpThatFailsLosesNoAnswer) {
    // The hand-over to the control's thread is where the worker calls out
    // last; an exception escaping a thread function would end the process.
    FakeReaders readers;
    readers.Attach(kFirstVid, kFirstPid, sim::Echo());
    std::atomic<int> attempts{0};
    ControlMethods control(readers.Opener(), [&] {
        ++attempts;
        throw std::bad_alloc();
    });
    control.DevOpen();
    control.DevCallAsync("AQID");
    control.DevCallAsync("BAUG");
    EXPECT_EQ(control.DevCall("AQID"), "AQID") << "runs after both";
    EXPECT_GE(attempts, 1);
    EXPECT_EQ(control.TakeAsyncAnswer(), "AQID") << "the answers still wait, in order";
    EXPECT_EQ(control.TakeAsyncAnswer(), "BAUG");
    EXPECT_EQ(control.TakeAsyncAnswer(), std::nullopt);
}

}  // namespace

namespace {

TEST_F(ControlMethodsTest, ARefusedPageUsesNoReaderButKeepsTheCertificateMethods) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Echo());
    const int32_t handle = Control().DevOpen();
    ASSERT_NE(handle, 0);
    Control().AllowReaders(false);
    EXPECT_EQ(Control().DevCall("AQID"), "") << "the connection open before the verdict is closed too";

    EXPECT_EQ(Control().DevOpen(), 0);
    EXPECT_EQ(readers_.Opens(), 1u) << "no reader is even looked for";
    EXPECT_EQ(readers_.Asked().size(), 1u);
    EXPECT_EQ(Control().DevCall("AQID"), "");
    EXPECT_EQ(Control().LoadCA(1, Text(sim::PatternBytes(300)).c_str()), kCaSendFailed);
    EXPECT_EQ(Control().LoadCA(0, "AQID"), kCaSendFailed) << "refused before the variant is looked at";
    Control().DevCallAsync("AQID");
    ASSERT_TRUE(answers_.WaitFor(Control(), 1));
    EXPECT_EQ(answers_.All(), std::vector<std::string>{""});
    Control().DevClose(handle);
    EXPECT_EQ(Reader().ReceivedCount(), 0u) << "nothing reached the reader";

    const CertificateVector& vector = CertificateVectors().front();
    EXPECT_EQ(Control().GetX509ValidDate(vector.text.c_str()), vector.validity);
    EXPECT_EQ(Control().GetX509Sn(vector.text.c_str()), vector.serial);

    Control().AllowReaders(true);
    EXPECT_NE(Control().DevOpen(), 0) << "a later verdict for an allowed page opens again";
    EXPECT_EQ(Control().DevCall("AQID"), "AQID");
}

TEST_F(ControlMethodsTest, ExchangeTimeoutEndsEveryKindOfExchangeAsAFailedRead) {
    Control().SetExchangeTimeout(200ms);
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    Control().DevOpen();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Control().DevCall("AQID"), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(Control().LoadCA(1, Text(sim::PatternBytes(300)).c_str()), kCaReceiveFailed);
    Control().DevCallAsync("AQID");
    ASSERT_TRUE(answers_.WaitFor(Control(), 1));
    EXPECT_EQ(answers_.All(), std::vector<std::string>{""});

    readers_.Attach(kFirstVid, kFirstPid, sim::RawReports({MakeReport(65, 3, {7, 8, 9})}));
    Control().DevOpen();
    EXPECT_EQ(Control().DevCall("AQID"), Text({7, 8, 9})) << "what arrived in time is the answer";
}

TEST_F(ControlMethodsTest, WithoutATimeoutASilentReaderIsWaitedFor) {
    readers_.Attach(kFirstVid, kFirstPid, sim::Silent());
    Control().DevOpen();
    Control().DevCallAsync("AQID");
    EXPECT_FALSE(answers_.WaitFor(Control(), 1, 500)) << "no limit unless the policy sets one";
}

}  // namespace
