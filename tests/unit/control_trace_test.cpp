// What the control's methods trace, at each level, against simulated
// readers: every call at level 2, only failures and refusals at level 1,
// the bytes themselves only at level 3; and what the trace says of the
// policy, the page's verdict and the HID interfaces looked at.
#include <gtest/gtest.h>

#include <regex>

#include "codec/base64.h"
#include "control/setup_trace.h"
#include "device/download_ca.h"
#include "fake_readers.h"
#include "recording_sink.h"
#include "sim/responders.h"
#include "tests/vectors/certificate_vectors.h"
#include "trace/trace_sink.h"

namespace {

using namespace std::chrono_literals;

// A 16-byte command whose hex text shows wherever the bytes are written.
constexpr char kCommand[] = "q83vEjRWeJCrze8SNFZ4kA==";  // ABCDEF1234567890ABCDEF1234567890
constexpr char kCommandHex[] = "ABCDEF1234567890ABCDEF1234567890";

class ControlTraceTest : public testing::Test {
protected:
    ControlMethods& Control(TraceLevel level) {
        sink_ = std::make_unique<RecordingSink>(level);
        control_ = std::make_unique<ControlMethods>(readers_.Opener(), answers_.Wake());
        control_->SetTrace(sink_.get());
        return *control_;
    }

    FakeReaders readers_;
    DeliveredAnswers answers_;
    std::unique_ptr<RecordingSink> sink_;
    std::unique_ptr<ControlMethods> control_;  // last: goes before its readers and its sink
};

TEST_F(ControlTraceTest, LevelTwoTracesEveryCallWithoutItsBytes) {
    readers_.Attach(0x155B, 0x4612, sim::Echo(), 33);
    ControlMethods& control = Control(TraceLevel::Calls);
    const int32_t handle = control.DevOpen();
    ASSERT_NE(handle, 0);
    EXPECT_EQ(control.DevCall(kCommand), kCommand) << "the trace changes no result";
    control.DevClose(handle);

    const std::string h = std::to_string(handle);
    EXPECT_TRUE(
        std::regex_match(sink_->Only("DevOpen"),
                         std::regex("DevOpen handle=" + h + " ms=[0-9]+ reader=155B:4612 report-length=33 path=fake")));
    EXPECT_TRUE(std::regex_match(sink_->Only("DevCall"),
                                 std::regex("DevCall handle=" + h + " out=16 in=16 last=7890 ms=[0-9]+")))
        << sink_->Only("DevCall");
    EXPECT_EQ(sink_->Only("DevClose"), "DevClose handle=" + h + " closed=yes");
    for (const std::string& line : sink_->Lines())
        EXPECT_EQ(line.find(kCommandHex), std::string::npos) << "bytes below level 3: " << line;
}

TEST_F(ControlTraceTest, LevelThreeAddsTheBytes) {
    readers_.Attach(0x155B, 0x4612, sim::Fixed({0x6F, 0x00, 0x90, 0x00}));
    ControlMethods& control = Control(TraceLevel::Bytes);
    ASSERT_NE(control.DevOpen(), 0);
    control.DevCall(kCommand);
    EXPECT_TRUE(std::regex_search(sink_->Only("DevCall"), std::regex(std::string(" out=16 in=4 last=9000 ms=[0-9]+ "
                                                                                 "command=") +
                                                                     kCommandHex + " answer=6F009000$")))
        << sink_->Only("DevCall");
}

TEST_F(ControlTraceTest, LevelOneTracesOnlyFailuresAndSaysWhy) {
    readers_.Attach(0x155B, 0x4612, sim::Silent());
    ControlMethods& control = Control(TraceLevel::Errors);
    EXPECT_EQ(control.DevCall(kCommand), "");
    const int32_t handle = control.DevOpen();
    ASSERT_NE(handle, 0);
    control.DevClose(handle + 1);
    control.SetExchangeTimeout(100ms);
    ASSERT_NE(control.DevOpen(), 0);
    EXPECT_EQ(control.DevCall(""), "");
    EXPECT_EQ(control.DevCall(kCommand), "");

    const std::vector<std::string> lines = sink_->Lines();
    ASSERT_EQ(lines.size(), 3u) << "the two DevOpen and DevClose went well";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("DevCall handle=0 out=16 in=0 ms=[0-9]+ "
                                                      "failure=\"no reader open\"")))
        << lines[0];
    EXPECT_TRUE(lines[1].ends_with("failure=\"no command: not Base64, no bytes, or more than 4096 bytes\""))
        << lines[1];
    EXPECT_TRUE(lines[2].ends_with("failure=\"timed out (ExchangeTimeoutSeconds)\"")) << lines[2];
    EXPECT_EQ(lines[2].find(kCommandHex), std::string::npos);
}

TEST_F(ControlTraceTest, ARefusedPageTracesEachRefusedCall) {
    readers_.Attach(0x155B, 0x4612, sim::Echo());
    ControlMethods& control = Control(TraceLevel::Errors);
    control.AllowReaders(false);
    EXPECT_EQ(control.DevOpen(), 0);
    EXPECT_EQ(control.DevCall(kCommand), "");
    EXPECT_EQ(control.LoadCA(1, "AQID"), kCaSendFailed);
    control.DevClose(1);
    control.DevCallAsync(kCommand);
    ASSERT_TRUE(answers_.WaitFor(control, 1));

    const char* refused = "refused: the site lock refused the page";
    for (const char* method : {"DevOpen", "DevCall ", "LoadCA", "DevClose", "DevCallAsync call=1 handle=0"})
        EXPECT_NE(sink_->Only(method).find(refused), std::string::npos) << method;
    EXPECT_EQ(readers_.Opens(), 0u);
}

TEST_F(ControlTraceTest, AsyncCallsTellTheirNumberTheQueueAndACancellation) {
    readers_.Attach(0x155B, 0x4612, sim::Silent());
    ControlMethods& control = Control(TraceLevel::Calls);
    const int32_t handle = control.DevOpen();
    control.DevCallAsync(kCommand);
    control.DevCallAsync(kCommand);
    ASSERT_TRUE(readers_.Last()->WaitForMessages(1, 5000));
    control.DevClose(handle);  // cancels the first, which the silent reader holds
    ASSERT_TRUE(answers_.WaitFor(control, 2));

    EXPECT_EQ(sink_->Only("DevCallAsync call=1 queued"), "DevCallAsync call=1 queued=1");
    EXPECT_EQ(sink_->Only("DevCallAsync call=2 queued"), "DevCallAsync call=2 queued=2");
    for (const char* call : {"DevCallAsync call=1 handle", "DevCallAsync call=2 handle"})
        EXPECT_TRUE(sink_->Only(call).ends_with("failure=\"cancelled: its connection was closed\""))
            << sink_->Only(call);
}

TEST_F(ControlTraceTest, LoadCATellsSizeBlocksAndResult) {
    auto ca = sim::CaReader::Make({});
    readers_.Attach(0x155B, 0x4612, ca->AsResponder());
    ControlMethods& control = Control(TraceLevel::Calls);
    ASSERT_NE(control.DevOpen(), 0);
    const Bytes certificate = sim::PatternBytes(300);
    const std::string text = Base64().Encode(certificate.data(), 300);
    EXPECT_EQ(control.LoadCA(1, text.c_str()), kCaLoaded);
    EXPECT_EQ(control.LoadCA(3, text.c_str()), kCaBadVariant);
    EXPECT_TRUE(std::regex_match(sink_->Only("LoadCA variant=1"),
                                 std::regex("LoadCA variant=1 bytes=300 blocks=3 result=0 ms=[0-9]+")));
    EXPECT_TRUE(sink_->Only("LoadCA variant=3").ends_with("result=160 ms=0 failure=\"the variant is neither 1 nor 2\""))
        << sink_->Only("LoadCA variant=3");
}

TEST_F(ControlTraceTest, CertificateMethodsTellTheTextSizeAndWhetherItParsed) {
    ControlMethods& control = Control(TraceLevel::Calls);
    const std::string text = CertificateVectors().front().text;
    ASSERT_TRUE(control.GetX509Sn(text.c_str()));
    EXPECT_FALSE(control.GetX509ValidDate("AQID"));
    EXPECT_EQ(sink_->Only("GetX509Sn"), "GetX509Sn chars=" + std::to_string(text.size()) + " result=text");
    EXPECT_EQ(sink_->Only("GetX509ValidDate"),
              "GetX509ValidDate chars=4 result=null failure=\"not one certificate of at most 4096 bytes in Base64\"");
}

TEST(SetupTraceTest, ThePolicyAsReadWithEachDroppedEntryAtLevelOne) {
    PolicyValues values;
    values.key = PolicyValues::Key::Read;
    values.byName["AllowedSites"] =
        PolicyValue{PolicyValue::Kind::MultiString, {"https://terminal.example.com/", "https://a.example/app"}, 0};
    values.byName["ExchangeTimeoutSeconds"] = PolicyValue{PolicyValue::Kind::Other, {}, 0};
    values.byName["TraceLevel"] = PolicyValue{PolicyValue::Kind::Number, {}, 2};
    const LeveledEvents events =
        PolicyEvents(MachinePolicyFrom(values), "C:\\Users\\u\\AppData\\LocalLow\\VELDORINCTL");
    std::vector<std::string> errors, calls;
    for (const auto& [level, event] : events) (level == TraceLevel::Errors ? errors : calls).push_back(event.Text());
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "policy value=AllowedSites dropped=https://a.example/app reason=\"has a path other than /\"",
                          "policy value=ExchangeTimeoutSeconds state=\"not a REG_DWORD\" failure=\"no time limit\""}));
    EXPECT_EQ(calls,
              (std::vector<std::string>{
                  "policy value=AllowedSites kept=https://terminal.example.com/", "policy value=TraceLevel number=2",
                  "policy value=TraceFolder folder=\"C:\\\\Users\\\\u\\\\AppData\\\\LocalLow\\\\VELDORINCTL\""}))
        << "a backslash is escaped, so that the line reads back";

    PolicyValues everyEntryDropped;
    everyEntryDropped.key = PolicyValues::Key::Read;
    everyEntryDropped.byName["AllowedSites"] = PolicyValue{PolicyValue::Kind::MultiString, {"terminal.example"}, 0};
    const LeveledEvents refused = PolicyEvents(MachinePolicyFrom(everyEntryDropped), "");
    EXPECT_TRUE(std::any_of(refused.begin(), refused.end(), [](const auto& leveled) {
        return leveled.first == TraceLevel::Errors &&
               leveled.second.Text() ==
                   "policy value=AllowedSites state=\"no usable entry\" failure=\"every page is refused\"";
    }));
}

TEST(SetupTraceTest, TheVerdictNamesTheOriginAndTheRuleNeverTheUrl) {
    const SiteLock lock(PolicyValue{PolicyValue::Kind::MultiString, {"https://*.example.com"}, 0});
    const SiteVerdict allowed = lock.Judge("https://a.example.com:8443/secret/path?token=1");
    EXPECT_EQ(VerdictTraceLevel(allowed), TraceLevel::Errors) << "port 8443 is not listed";
    EXPECT_EQ(VerdictEvent(allowed).Text(),
              "page origin=https://a.example.com:8443 verdict=refused rule=\"refused: no entry allows this origin\"");
    const SiteVerdict listed = lock.Judge("https://a.example.com/secret/path?token=1");
    EXPECT_EQ(VerdictTraceLevel(listed), TraceLevel::Calls);
    EXPECT_EQ(VerdictEvent(listed).Text(),
              "page origin=https://a.example.com:443 verdict=allowed "
              "rule=\"allowed by the entry https://*.example.com\"");
    EXPECT_EQ(VerdictEvent(lock.Judge(std::nullopt)).Text(),
              "page origin=none verdict=refused rule=\"refused: the container tells no page URL\"");
}

TEST(SetupTraceTest, EachInterfaceWithWhatWasLearntOfIt) {
    HidInterfaceSeen keyboard{"\\\\?\\hid#vid_046d&pid_c31c#1"};
    keyboard.openError = 5;
    EXPECT_EQ(HidInterfaceEvent(keyboard, JudgeHidInterface(keyboard, {0x155B, 0x4612}), {0x155B, 0x4612}).Text(),
              "hid-interface sought=155B:4612 path=\"\\\\\\\\?\\\\hid#vid_046d&pid_c31c#1\" open-error=5 "
              "verdict=\"cannot be opened\"");

    HidInterfaceSeen reader{"p", true, 0, true, 0x155B, 0x4612, 1, true, 0xFF00, 1, 66, 66, 0};
    EXPECT_EQ(JudgeHidInterface(reader, {0x155B, 0x4612}), HidInterfaceVerdict::ReportLengthOutOfRange);
    EXPECT_EQ(JudgeHidInterface(reader, {0x6A8A, 0x0801}), HidInterfaceVerdict::OtherIdentity);
    EXPECT_EQ(HidInterfaceEvent(reader, HidInterfaceVerdict::ReportLengthOutOfRange, {0x155B, 0x4612}).Text(),
              "hid-interface sought=155B:4612 path=p vid=155B pid=4612 usage-page=FF00 usage=0001 input=66 output=66 "
              "verdict=\"report length out of range (3 to 65)\"");
    reader.inputReportLength = 65;
    EXPECT_EQ(JudgeHidInterface(reader, {0x155B, 0x4612}), HidInterfaceVerdict::Taken);
    reader.described = false;
    EXPECT_EQ(JudgeHidInterface(reader, {0x155B, 0x4612}), HidInterfaceVerdict::NoCapabilities);
    reader.identified = false;
    EXPECT_EQ(JudgeHidInterface(reader, {0x155B, 0x4612}), HidInterfaceVerdict::NoAttributes);
}

}  // namespace
