// The framework's dispatch and event firing, on a control made for the test:
// exceptions inside handlers, 8-bit text in and out, positional DISPIDs
// across a class chain, and which events fire.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "framework/exceptions.h"
#include "framework/ole_control.h"
#include "framework/text_conversion.h"
#include "tests/win/ocx_client.h"

namespace veldorinctl::test {
namespace {

constexpr IID kProbeDispatchIid = {0x6E0C52B1, 0x3D0A, 0x4C55, {0x8E, 0x21, 0x40, 0x11, 0x7C, 0x9B, 0x5A, 0x01}};
constexpr IID kProbeEventsIid = {0x6E0C52B1, 0x3D0A, 0x4C55, {0x8E, 0x21, 0x40, 0x11, 0x7C, 0x9B, 0x5A, 0x02}};
constexpr CLSID kProbeClsid = {0x6E0C52B1, 0x3D0A, 0x4C55, {0x8E, 0x21, 0x40, 0x11, 0x7C, 0x9B, 0x5A, 0x03}};

class ProbeControl final : public COleControl {
public:
    ProbeControl() { InitializeIIDs(&kProbeDispatchIid, &kProbeEventsIid); }

    long Add(long a, long b) { return a + b; }
    UniqueBstr Describe(const char* text) { return AnsiTextToBstr(text ? std::string("text:") + text : "null"); }
    void RunOutOfMemory() { AfxThrowMemoryException(); }
    void Fail() { throw std::runtime_error("fails"); }
    long InBase() { return 7; }

    void Fire(DISPID dispid, std::initializer_list<EventArgument> arguments) { FireEvent(dispid, arguments); }

    STDMETHODIMP GetClassID(CLSID* clsid) override {
        *clsid = kProbeClsid;
        return S_OK;
    }

protected:
    const DispatchMap& GetDispatchMap() const override { return dispatchMap; }
    const EventMap& GetEventMap() const override { return eventMap; }

private:
    static const DispatchMap baseMap;
    static const DispatchMap dispatchMap;
    static const EventMap eventMap;
};

constexpr DispatchEntry kBaseEntries[] = {DispFunction<&ProbeControl::InBase>(L"InBase")};
constexpr DispatchEntry kProbeEntries[] = {
    DispFunction<&ProbeControl::Add>(L"Add"),
    DispFunction<&ProbeControl::Describe>(L"Describe"),
    DispFunction<&ProbeControl::RunOutOfMemory>(L"RunOutOfMemory", 100),
    DispFunction<&ProbeControl::Fail>(L"Fail", 101),
};
constexpr VARTYPE kTextEvent[] = {VTS_BSTR};
constexpr VARTYPE kNumberEvent[] = {VTS_I4};
constexpr EventEntry kProbeEvents[] = {
    {L"Text", std::nullopt, kTextEvent, false},
    {L"Number", 20, kNumberEvent, false},
};

const DispatchMap ProbeControl::baseMap{&COleControl::dispatchMap, kBaseEntries};
const DispatchMap ProbeControl::dispatchMap{&ProbeControl::baseMap, kProbeEntries};
const EventMap ProbeControl::eventMap{kProbeEvents};

struct FrameworkDispatch : ::testing::Test {
    void SetUp() override {
        probe = MakeComObject<ProbeControl>();
        ASSERT_HRESULT_SUCCEEDED(probe.As(&dispatch));
        ComPtr<IPersistStreamInit> persist;
        ASSERT_HRESULT_SUCCEEDED(probe.As(&persist));
        ASSERT_EQ(persist->InitNew(), S_OK);
    }

    Apartment apartment;
    ComPtr<ProbeControl> probe;
    ComPtr<IDispatch> dispatch;
    SinkLog log;
};

TEST_F(FrameworkDispatch, ExceptionsInHandlersBecomeAutomationExceptions) {
    const std::pair<DISPID, WORD> cases[] = {{100, 0xF10A}, {101, 0xF108}};
    for (const auto& [dispid, code] : cases) {
        auto outcome = Call(dispatch.Get(), dispid);
        EXPECT_EQ(outcome->hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome->exception->wCode, code);
        EXPECT_EQ(outcome->exception->scode, 0);
        EXPECT_EQ(outcome->exception->bstrDescription, nullptr) << "no description text";
        EXPECT_EQ(outcome->exception->bstrSource, nullptr);
        EXPECT_EQ(outcome->result->vt, VT_EMPTY);
    }
    DISPPARAMS none{};
    EXPECT_EQ(dispatch->Invoke(100, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_EXCEPTION)
        << "also when the caller gives no EXCEPINFO";
}

TEST_F(FrameworkDispatch, TextCrossesAsEightBitAndBack) {
    UniqueVariant null = Text(nullptr), empty = Text(L""), text = Text(L"abc");
    EXPECT_EQ(Call(dispatch.Get(), 2, {&null})->Text(), L"null") << "a null BSTR reaches the method as null";
    EXPECT_EQ(Call(dispatch.Get(), 2, {&empty})->Text(), L"text:");
    EXPECT_EQ(Call(dispatch.Get(), 2, {&text})->Text(), L"text:abc");
    UniqueVariant forty = Text(L"40"), two = Long(2);
    auto sum = Call(dispatch.Get(), 1, {&forty, &two});
    EXPECT_EQ(sum->result->vt, VT_I4);
    EXPECT_EQ(sum->result->lVal, 42);

    // No result asked for: the handler's string is freed, not handed out.
    DISPPARAMS params{text.get(), nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
}

// A variant may refer to a variant; a chain that loops (or runs on past any
// real caller's) is refused as a wrong argument instead of being followed
// for ever.
TEST_F(FrameworkDispatch, ReferencesToVariantsAreFollowedOnlySoFar) {
    UniqueVariant forty = Text(L"40"), two = Long(2);
    VARIANT byRef;
    byRef.vt = VT_VARIANT | VT_BYREF;
    byRef.pvarVal = forty.get();
    VARIANT byRefRef;
    byRefRef.vt = VT_VARIANT | VT_BYREF;
    byRefRef.pvarVal = &byRef;
    DISPPARAMS params{nullptr, nullptr, 2, 0};
    VARIANT args[2] = {*two.get(), byRefRef};  // the last argument first
    params.rgvarg = args;
    UniqueVariant result;
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(result->lVal, 42) << "two levels of reference reach the value";

    VARIANT self;
    self.vt = VT_VARIANT | VT_BYREF;
    self.pvarVal = &self;
    VARIANT a, b;  // a refers to b, b to a
    a.vt = b.vt = VT_VARIANT | VT_BYREF;
    a.pvarVal = &b;
    b.pvarVal = &a;
    for (VARIANT* loop : {&self, &a}) {
        for (DISPID dispid : {1, 2}) {  // a number parameter and a text one
            VARIANT loopArgs[2] = {*loop, *two.get()};
            DISPPARAMS loopParams{loopArgs, nullptr, dispid == 1 ? 2u : 1u, 0};
            UINT argError = 99;
            EXPECT_EQ(dispatch->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &loopParams, nullptr, nullptr, &argError),
                      DISP_E_TYPEMISMATCH)
                << "member " << dispid;
            EXPECT_EQ(argError, 0u) << "the looping argument is named";
        }
    }
}

TEST_F(FrameworkDispatch, PositionsCarryTheDepthOfTheirMap) {
    EXPECT_EQ(IdOf(dispatch.Get(), L"inbase"), 0x10001);
    EXPECT_EQ(IdOf(dispatch.Get(), L"Describe"), 2);
    EXPECT_EQ(IdOf(dispatch.Get(), L"RunOutOfMemory"), 100);
    auto outcome = Call(dispatch.Get(), 0x10001);
    EXPECT_EQ(outcome->hr, S_OK);
    EXPECT_EQ(outcome->result->lVal, 7);
    EXPECT_EQ(Call(dispatch.Get(), 0x10002)->hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(dispatch.Get(), 0x20001)->hr, DISP_E_MEMBERNOTFOUND) << "the framework's map is empty";
    EXPECT_EQ(Call(dispatch.Get(), 3)->hr, DISP_E_MEMBERNOTFOUND) << "position 3 has an explicit DISPID";
}

TEST_F(FrameworkDispatch, EventsFireOnlyAsTheirMapEntrySays) {
    EventSink sink("sink", log);
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    ASSERT_HRESULT_SUCCEEDED(probe.As(&container));
    ASSERT_HRESULT_SUCCEEDED(container->FindConnectionPoint(kProbeEventsIid, &point));
    DWORD cookie = 0;
    sink.AnswerEventInterface(false);
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

    probe->Fire(1, {"hello"});
    probe->Fire(20, {5L});
    probe->Fire(1, {5L});        // wrong kind of argument
    probe->Fire(20, {});         // wrong count
    probe->Fire(2, {"nobody"});  // no such event
    probe->DoClick();            // the stock Click is not in the map
    const auto calls = log.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].dispid, 1);
    EXPECT_EQ(calls[0].text, L"hello");
    EXPECT_EQ(calls[1].dispid, 20);
    EXPECT_EQ(calls[1].argumentCount, 1u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST(FrameworkText, ResultsAreNeverNullStrings) {
    UniqueBstr empty = AnsiTextToBstr("");
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_EQ(::SysStringLen(empty.get()), 0u);
    UniqueBstr text = AnsiTextToBstr(std::string_view("a\0b", 3));
    EXPECT_EQ(::SysStringLen(text.get()), 3u) << "every byte of the text is converted";
    EXPECT_FALSE(BstrToAnsiText(nullptr).has_value());
    UniqueBstr blank(::SysAllocString(L""));
    EXPECT_EQ(BstrToAnsiText(blank.get()), std::string());
}

}  // namespace
}  // namespace veldorinctl::test
