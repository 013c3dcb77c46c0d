// The control's trace under the machine policy, read back from its file:
// nothing when it is off, the lines of each level (and no bytes below 3),
// a refused page with its reason and without its URL, a folder that cannot
// be written (the control works on), the cap with one earlier file, and the
// async worker writing while the page's thread does.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "codec/base64.h"
#include "resources/dispids.h"
#include "tests/vectors/certificate_vectors.h"
#include "tests/win/browser_site.h"
#include "tests/win/ocx_client.h"
#include "tests/win/scoped_machine_policy.h"
#include "tests/win/simulated_readers.h"
#include "tests/win/temporary_folder.h"
#include "trace/win32/process_trace.h"
#include "win32/utf8_text.h"

namespace veldorinctl::test {
namespace {

// A line's start: the stamp, then the event's name. A line that does not
// start so was torn. (Matched on the start alone: std::regex is slow on the
// long lines of level 3.)
const std::regex kLineStart(
    "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z pid=(\\d+) tid=(\\d+) control=\\d+ [a-zA-Z0-9-]+( |$)");

struct TracedEvent {
    std::string tid;
    std::string text;  // the event and its fields
};

std::string Hex(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) text += {kDigits[byte >> 4], kDigits[byte & 0x0F]};
    return text;
}

std::wstring Base64Of(const std::vector<uint8_t>& bytes) {
    const std::string text = Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return std::wstring(text.begin(), text.end());
}

// `length` bytes that start with the number `n`.
std::vector<uint8_t> Command(uint16_t n, size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    bytes[0] = static_cast<uint8_t>(n >> 8);
    bytes[1] = static_cast<uint8_t>(n);
    return bytes;
}

class OcxTrace : public SimulatedReaders {
protected:
    void TearDown() override {
        control.Reset();
        SimulatedReaders::TearDown();
    }

    void Create(DWORD level) {
        ASSERT_TRUE(policy.SetTraceLevel(level));
        ASSERT_TRUE(policy.SetTraceFolder(folder.Path()));
        control = CreateControl(ocx);
    }

    long DevOpen() { return Call(control.Get(), DISPID_DEVOPEN)->result->lVal; }
    std::wstring DevCall(const std::wstring& command) {
        UniqueVariant argument = Text(command.c_str());
        return Call(control.Get(), DISPID_DEVCALL, {&argument})->Text();
    }
    void DevCallAsync(const std::wstring& command) {
        UniqueVariant argument = Text(command.c_str());
        ASSERT_EQ(Call(control.Get(), DISPID_DEVCALLASYNC, {&argument})->hr, S_OK);
    }
    std::wstring GetX509Sn() {
        const std::string& text = CertificateVectors().front().text;
        const std::wstring wide(text.begin(), text.end());
        UniqueVariant argument = Text(wide.c_str());
        return Call(control.Get(), DISPID_GETX509SN, {&argument})->Text();
    }
    HRESULT SetSite(IOleClientSite* site) {
        ComPtr<IOleObject> object;
        EXPECT_HRESULT_SUCCEEDED(control.As(&object));
        return object->SetClientSite(site);
    }

    std::wstring TraceFile(const wchar_t* suffix = L".log") const {
        return folder.Path() + L"\\VELDORINCTL-" + std::to_wstring(::GetCurrentProcessId()) + suffix;
    }

    // The events of the trace file, after checking that every line is whole.
    std::vector<TracedEvent> Events(const std::wstring& file) {
        std::ifstream in(WideToUtf8(file), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << "the file ends with a whole line";
        std::vector<TracedEvent> events;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            const std::string head = line.substr(0, 120);
            std::smatch match;
            if (!std::regex_search(head, match, kLineStart) || match.position(0) != 0) {
                ADD_FAILURE() << "not a whole line: " << line.substr(0, 200);
                continue;
            }
            EXPECT_EQ(match[1], std::to_string(::GetCurrentProcessId()));
            const size_t eventStart = line.find(' ', line.find(" control=") + 1) + 1;
            events.push_back({match[2], line.substr(eventStart)});
        }
        return events;
    }
    std::vector<TracedEvent> Events() { return Events(TraceFile()); }

    // The events that start with `start`, as text.
    std::vector<std::string> Starting(const std::string& start) {
        std::vector<std::string> found;
        for (const TracedEvent& event : Events())
            if (event.text.starts_with(start)) found.push_back(event.text);
        return found;
    }

    std::string Whole() {
        std::string all;
        for (const TracedEvent& event : Events()) all += event.text + "\n";
        return all;
    }

    ScopedMachinePolicy policy;
    TemporaryFolder folder;
    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IDispatch> control;
};

TEST_F(OcxTrace, OffOrABadLevelWritesNoFile) {
    Attach("155B 4612 65 echo");
    for (const DWORD level : {0ul, 4ul, 0xFFFFFFFFul}) {
        Create(level);
        EXPECT_NE(DevOpen(), 0);
        EXPECT_EQ(DevCall(L"AQID"), L"AQID");
        control.Reset();
    }
    ASSERT_TRUE(policy.SetTraceFolder(folder.Path()));  // no TraceLevel at all
    control = CreateControl(ocx);
    EXPECT_NE(DevOpen(), 0);
    control.Reset();
    EXPECT_TRUE(folder.Files().empty());
    const std::wstring defaultFile =
        Utf8ToWide(DefaultTraceFolder()) + L"\\VELDORINCTL-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    EXPECT_EQ(::GetFileAttributesW(defaultFile.c_str()), INVALID_FILE_ATTRIBUTES) << "nor in the default folder";
}

TEST_F(OcxTrace, LevelOneWritesOnlyFailuresWithTheInterfacesThatExplainThem) {
    const int unopenable = Attach("155B 4612 65 unopenable");
    const int reader = Attach("6A8A 0801 33 echo");
    Create(1);
    EXPECT_NE(DevOpen(), 0);
    EXPECT_EQ(DevCall(L"AQID"), L"AQID");
    EXPECT_EQ(DevCall(L""), L"");
    VeldorinSim_Unplug(reader);
    EXPECT_EQ(DevOpen(), 0);
    control.Reset();

    const std::vector<TracedEvent> events = Events();
    ASSERT_EQ(events.size(), 4u) << Whole();
    EXPECT_TRUE(
        std::regex_match(events[0].text.substr(0, 40), std::regex("DevCall handle=[1-9][0-9]* out=0 in=0 ms=.*")))
        << events[0].text;
    EXPECT_TRUE(events[0].text.ends_with("failure=\"no command: not Base64, no bytes, or more than 4096 bytes\""));
    EXPECT_TRUE(std::regex_match(events[1].text, std::regex("DevOpen handle=0 ms=[0-9]+ failure=\"no reader: .*\"")))
        << events[1].text;
    const std::string path = PathOf(unopenable);
    for (size_t i : {2u, 3u}) {
        EXPECT_NE(events[i].text.find(" open-error=2 verdict=\"cannot be opened\""), std::string::npos)
            << events[i].text;
        EXPECT_NE(events[i].text.find("pipe"), std::string::npos) << "the interface's path";
    }
    EXPECT_TRUE(events[2].text.starts_with("hid-interface sought=155B:4612 ")) << events[2].text;
    EXPECT_TRUE(events[3].text.starts_with("hid-interface sought=6A8A:0801 ")) << events[3].text;
}

TEST_F(OcxTrace, LevelTwoWritesEveryCallAndNoBytes) {
    Attach("1234 5678 65 echo");
    Attach("155B 4612 65 echo");
    Create(2);
    const std::vector<uint8_t> command = Command(0xC0DE, 16);
    const long handle = DevOpen();
    ASSERT_NE(handle, 0);
    EXPECT_EQ(DevCall(Base64Of(command)), Base64Of(command));
    UniqueVariant closed = Long(handle);
    Call(control.Get(), DISPID_DEVCLOSE, {&closed});
    control.Reset();

    const std::string h = std::to_string(handle);
    const std::string all = Whole();
    for (const std::string& expected :
         {std::string("created\n"), std::string("policy value=AllowedSites state=\"absent: no lock\"\n"),
          std::string("policy value=TraceLevel number=2\n"),
          "policy value=TraceFolder folder=\"" +
              std::regex_replace(WideToUtf8(folder.Path()), std::regex("\\\\"), "\\\\") + "\"\n",
          std::string("hid-interface sought=155B:4612 "),
          std::string("vid=1234 pid=5678 usage-page=FF00 usage=0001 "
                      "input=65 output=65 verdict=\"another device\"\n"),
          std::string("vid=155B pid=4612 usage-page=FF00 usage=0001 input=65 output=65 verdict=taken\n"),
          "DevOpen handle=" + h + " ms=", "DevClose handle=" + h + " closed=yes\n",
          std::string("destroyed origin=none\n")})
        EXPECT_NE(all.find(expected), std::string::npos) << expected << "\nin\n" << all;
    EXPECT_TRUE(std::regex_search(all, std::regex("\nDevCall handle=" + h + " out=16 in=16 last=" +
                                                  Hex({command[14], command[15]}) + " ms=[0-9]+\n")))
        << all;
    EXPECT_EQ(all.find(Hex(command)), std::string::npos) << "no bytes below level 3";
    std::set<std::string> controls;
    for (const TracedEvent& event : Events()) controls.insert(event.tid);
    EXPECT_EQ(controls.size(), 1u) << "every line from the page's thread";
}

TEST_F(OcxTrace, LevelThreeAddsTheBytes) {
    Attach("155B 4612 65 fixed 6F009000");
    Create(3);
    const std::vector<uint8_t> command = Command(0xBEEF, 16);
    ASSERT_NE(DevOpen(), 0);
    DevCall(Base64Of(command));
    const std::vector<std::string> calls = Starting("DevCall ");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].ends_with(" command=" + Hex(command) + " answer=6F009000")) << calls[0];
    EXPECT_NE(calls[0].find(" in=4 last=9000 "), std::string::npos) << calls[0];
}

TEST_F(OcxTrace, ARefusedPageTracesItsReasonAndNeverItsUrl) {
    Attach("155B 4612 65 echo");
    ASSERT_TRUE(policy.SetAllowedSites({L"https://allowed.example/app", L"https://other.example/"}));
    Create(1);
    BrowserSite evil(L"https://evil.example/secret/page.html?token=abc#frag");
    ASSERT_HRESULT_SUCCEEDED(SetSite(&evil));
    EXPECT_EQ(DevOpen(), 0);
    ASSERT_HRESULT_SUCCEEDED(SetSite(nullptr));
    BrowserSite listed(L"https://other.example/terminal/");
    ASSERT_HRESULT_SUCCEEDED(SetSite(&listed));
    EXPECT_NE(DevOpen(), 0) << "an entry with the path / allows its origin";
    ASSERT_HRESULT_SUCCEEDED(SetSite(nullptr));
    control.Reset();

    const std::string all = Whole();
    for (const char* expected :
         {"policy value=AllowedSites dropped=https://allowed.example/app reason=\"has a path other than /\"\n",
          "page origin=https://evil.example:443 verdict=refused rule=\"refused: no entry allows this origin\"\n",
          "DevOpen handle=0 ms=0 failure=\"refused: the site lock refused the page\"\n",
          "page origin=none verdict=refused rule=\"refused: the container tells no page URL\"\n"})
        EXPECT_NE(all.find(expected), std::string::npos) << expected << "\nin\n" << all;
    EXPECT_EQ(all.find("allowed by the entry"), std::string::npos) << "an allowed page is level 2";
    for (const char* secret : {"secret", "token", "frag", "terminal/"})
        EXPECT_EQ(all.find(secret), std::string::npos) << "never a full URL: " << secret;
}

TEST_F(OcxTrace, AFolderThatCannotBeWrittenCostsOnlyTheTrace) {
    Attach("155B 4612 65 echo");
    const std::wstring blocker = folder.Path() + L"\\blocker";
    std::ofstream(WideToUtf8(blocker)) << "a file where the trace's folder should be";
    ASSERT_TRUE(policy.SetTraceLevel(3));
    ASSERT_TRUE(policy.SetTraceFolder(blocker + L"\\trace"));
    control = CreateControl(ocx);
    ASSERT_NE(DevOpen(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(DevCall(L"AQIDBA=="), L"AQIDBA==");
    EXPECT_FALSE(GetX509Sn().empty());
    control.Reset();
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"blocker"});
}

TEST_F(OcxTrace, TheFileIsCappedAtOneMebibyteWithOneEarlierFileKept) {
    Attach("155B 4612 65 echo");
    Create(3);
    ASSERT_NE(DevOpen(), 0);
    // Each line carries the command and the answer as hex: about 16 KiB.
    const std::wstring command = Base64Of(Command(1, 4096));
    for (int i = 0; i < 80; ++i) ASSERT_EQ(DevCall(command), command);
    control.Reset();

    EXPECT_EQ(folder.Files().size(), 2u);
    for (const wchar_t* suffix : {L".log", L".1.log"}) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW(TraceFile(suffix).c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(data.nFileSizeHigh, 0u);
        EXPECT_LE(data.nFileSizeLow, 1024u * 1024) << "never past the cap";
        EXPECT_GT(data.nFileSizeLow, 0u);
    }
    const std::vector<TracedEvent> earlier = Events(TraceFile(L".1.log"));
    const std::vector<TracedEvent> current = Events();
    EXPECT_GT(earlier.size(), 50u) << "the earlier file was full when it was rolled over";
    EXPECT_EQ(current.back().text, "destroyed origin=none") << "the last line is in the current file";
}

TEST_F(OcxTrace, TheWorkerAndThePageThreadWritingAtOnceGiveWholeLines) {
    Attach("155B 4612 65 echo");
    Create(3);
    SinkLog log;
    EventSink sink("page", log);
    const DWORD cookie = Connect(control.Get(), &sink);
    ASSERT_NE(DevOpen(), 0);
    constexpr uint16_t kCalls = 120;
    for (uint16_t n = 1; n <= kCalls; ++n) DevCallAsync(Base64Of(Command(n, 600)));
    // The page's thread writes a line after another while the worker
    // writes its answers' lines: so many that they meet, and few enough
    // that all of them stay in the current file (about 130 bytes each, and
    // 2.5 KB for each answer's line, against the cap of 1 MiB), however
    // slowly a loaded machine lets the answers come.
    constexpr int kPageLines = 2000;
    int pageLines = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (log.Count() < kCalls && std::chrono::steady_clock::now() < deadline) {
        if (pageLines < kPageLines) {
            EXPECT_FALSE(GetX509Sn().empty());
            ++pageLines;
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    ASSERT_EQ(log.Count(), kCalls);
    Disconnect(control.Get(), cookie);
    control.Reset();

    std::set<std::string> threads;
    size_t answered = 0;
    const std::regex asyncLine("DevCallAsync call=([0-9]+) handle=.* command=([0-9A-F]+) answer=([0-9A-F]+)");
    for (const TracedEvent& event : Events()) {
        threads.insert(event.tid);
        std::smatch match;
        if (!std::regex_match(event.text, match, asyncLine)) continue;
        const std::string expected = Hex(Command(static_cast<uint16_t>(std::stoi(match[1])), 600));
        EXPECT_EQ(match[2], expected) << "call " << match[1];
        EXPECT_EQ(match[3], expected) << "call " << match[1];
        ++answered;
    }
    EXPECT_EQ(answered, kCalls);
    EXPECT_EQ(threads.size(), 2u) << "the page's thread and the worker";
}

}  // namespace
}  // namespace veldorinctl::test
