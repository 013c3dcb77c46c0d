// The control's connection points and DevCallAsyncBack: enumerators, advise
// rules, and delivery on the control's own thread, once per sink, in
// connection order, only when that thread pumps messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "framework/thread_wakeup.h"
#include "resources/dispids.h"
#include "tests/win/ocx_client.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

struct OcxEvents : SimulatedReaders {
    void TearDown() override {
        control.Reset();
        SimulatedReaders::TearDown();
    }

    ComPtr<IConnectionPoint> EventPoint() {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        EXPECT_HRESULT_SUCCEEDED(control.As(&container));
        EXPECT_HRESULT_SUCCEEDED(container->FindConnectionPoint(DIID__DVELDORINCTLEvents, &point));
        return point;
    }

    // Waits, without dispatching anything, until a message has been posted
    // to this thread: the worker's wake-up of the control's thread.
    static bool PostedMessageWaiting(int timeoutMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!(HIWORD(::GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            ::Sleep(2);
        }
        return true;
    }

    long Open() {
        auto opened = Call(control.Get(), DISPID_DEVOPEN);
        EXPECT_NE(opened->result->lVal, 0);
        return opened->result->lVal;
    }

    void CallAsync(const wchar_t* command) {
        UniqueVariant text = Text(command);
        EXPECT_EQ(Call(control.Get(), DISPID_DEVCALLASYNC, {&text})->hr, S_OK);
    }

    Apartment apartment;
    LoadedOcx ocx;
    // The sinks outlive the control, which holds them until it goes.
    SinkLog log;
    EventSink a{"a", log}, b{"b", log}, c{"c", log};
    ComPtr<IDispatch> control = CreateControl(ocx);
};

TEST_F(OcxEvents, ConnectionPointEnumeratorWalksBothPoints) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(control.As(&container));
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);

    IConnectionPoint* got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(points->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    IID iids[2] = {};
    for (int i = 0; i < 2; ++i) {
        EXPECT_HRESULT_SUCCEEDED(got[i]->GetConnectionInterface(&iids[i]));
        got[i]->Release();
    }
    EXPECT_EQ(iids[0], DIID__DVELDORINCTLEvents);
    EXPECT_EQ(iids[1], IID_IPropertyNotifySink);
    EXPECT_EQ(points->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(1), S_OK);
    ComPtr<IEnumConnectionPoints> clone;
    ASSERT_EQ(points->Clone(&clone), S_OK);
    EXPECT_EQ(points->Skip(2), S_FALSE) << "only one was left";
    ComPtr<IConnectionPoint> second;
    ASSERT_EQ(clone->Next(1, &second, nullptr), S_OK) << "the clone starts where the original was";
    IID iid{};
    EXPECT_HRESULT_SUCCEEDED(second->GetConnectionInterface(&iid));
    EXPECT_EQ(iid, IID_IPropertyNotifySink);
    EXPECT_EQ(points->Next(2, got, nullptr), E_POINTER) << "a count is needed when asking for more than one";

    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(container->FindConnectionPoint(DIID__DVELDORINCTL, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);

    // The points hold the control: it lives until the last of them goes.
    second.Reset();
    clone.Reset();
    points.Reset();
    container.Reset();
    EXPECT_EQ(control.Reset(), 0u);
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxEvents, ConnectionEnumeratorListsSinksInOrder) {
    const DWORD cookies[] = {Connect(control.Get(), &a), Connect(control.Get(), &b), Connect(control.Get(), &c)};
    ASSERT_TRUE(cookies[0] && cookies[1] && cookies[2]);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(EventPoint()->EnumConnections(&connections), S_OK);

    CONNECTDATA got[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(connections->Next(2, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(got[0].pUnk, static_cast<IDispatch*>(&a));
    EXPECT_EQ(got[0].dwCookie, cookies[0]);
    EXPECT_EQ(got[1].pUnk, static_cast<IDispatch*>(&b));
    EXPECT_EQ(got[1].dwCookie, cookies[1]);
    EXPECT_EQ(a.References(), 4u) << "the point's, the snapshot's and the one handed out";
    got[0].pUnk->Release();
    got[1].pUnk->Release();

    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
    EXPECT_EQ(connections->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0].dwCookie, cookies[2]);
    got[0].pUnk->Release();
    EXPECT_EQ(clone->Skip(5), S_FALSE);
    EXPECT_EQ(clone->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(clone->Reset(), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].dwCookie, cookies[0]);
    got[0].pUnk->Release();

    // The enumeration is a snapshot: a sink that leaves stays in it.
    Disconnect(control.Get(), cookies[1]);
    EXPECT_EQ(b.References(), 2u) << "held only by the enumerators' snapshot";
    clone.Reset();
    connections.Reset();
    EXPECT_EQ(b.References(), 1u);
    Disconnect(control.Get(), cookies[0]);
    Disconnect(control.Get(), cookies[2]);
    EXPECT_EQ(a.References(), 1u);
    EXPECT_EQ(c.References(), 1u);
}

TEST_F(OcxEvents, AdviseTakesEventOrDispatchSinksOnly) {
    ComPtr<IConnectionPoint> point = EventPoint();
    EventSink dispatchOnly("dispatch-only", log);
    dispatchOnly.AnswerEventInterface(false);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(&dispatchOnly, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(dispatchOnly.References(), 1u);

    EventSink neither("neither", log);
    neither.AnswerEventInterface(false);
    neither.AnswerDispatch(false);
    cookie = 77;
    EXPECT_EQ(point->Advise(&neither, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(neither.References(), 1u);

    // The property notification point wants IPropertyNotifySink itself.
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> notify;
    ASSERT_HRESULT_SUCCEEDED(control.As(&container));
    ASSERT_HRESULT_SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, &notify));
    EXPECT_EQ(notify->Advise(&dispatchOnly, &cookie), CONNECT_E_CANNOTCONNECT);

    ComPtr<IConnectionPointContainer> owner;
    ASSERT_EQ(point->GetConnectionPointContainer(&owner), S_OK);
    EXPECT_EQ(owner.Get(), container.Get());
}

TEST_F(OcxEvents, ClassInfoNamesTheEventInterface) {
    ComPtr<IProvideClassInfo2> info;
    ASSERT_HRESULT_SUCCEEDED(control.As(&info));
    GUID guid{};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID__DVELDORINCTLEvents);
    EXPECT_EQ(info->GetGUID(2, &guid), E_INVALIDARG);
    EXPECT_EQ(guid, GUID_NULL);
}

TEST_F(OcxEvents, AnswerArrivesOnTheControlThreadOnlyWhenItPumps) {
    const int reader = Attach("155B 4612 65 echo");
    Connect(control.Get(), &a);
    Connect(control.Get(), &b);
    Open();

    CallAsync(L"AQID");
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 1, 5000));
    ASSERT_TRUE(PostedMessageWaiting()) << "the worker handed the answer over";
    EXPECT_EQ(Received(reader), (std::vector<Bytes>{{1, 2, 3}}));
    ::Sleep(50);
    EXPECT_EQ(log.Count(), 0u) << "no sink is called from the worker, nor before the thread pumps";

    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 2; }));
    PumpUntil([] { return false; }, 100);  // nothing more follows
    const auto calls = log.Calls();
    ASSERT_EQ(calls.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(calls[i].sink, i == 0 ? "a" : "b");
        EXPECT_EQ(calls[i].dispid, DISPID_DEVCALLASYNCBACK);
        EXPECT_EQ(calls[i].text, L"AQID");
        EXPECT_EQ(calls[i].argumentCount, 1u);
        EXPECT_EQ(calls[i].flags, DISPATCH_METHOD);
        EXPECT_FALSE(calls[i].resultRequested);
        EXPECT_EQ(calls[i].thread, ::GetCurrentThreadId());
    }
}

TEST_F(OcxEvents, FailingSinksDoNotStopTheNext) {
    Attach("155B 4612 65 echo");
    a.FailWith(E_FAIL);
    b.FailWith(DISP_E_EXCEPTION);
    Connect(control.Get(), &a);
    Connect(control.Get(), &b);
    Connect(control.Get(), &c);
    Open();
    CallAsync(L"AQID");
    CallAsync(L"BAUG");
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 6; }));
    // The answers come in call order; each reaches all three sinks before
    // the next answer does.
    const auto calls = log.Calls();
    ASSERT_EQ(calls.size(), 6u);
    const char* order[] = {"a", "b", "c"};
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].sink, order[i % 3]);
        EXPECT_EQ(calls[i].text, i < 3 ? L"AQID" : L"BAUG");
    }
}

TEST_F(OcxEvents, FrozenEventsWaitAndFollowInOrderOnceThawed) {
    const int reader = Attach("155B 4612 65 echo");
    Connect(control.Get(), &a);
    ComPtr<IOleControl> oleControl;
    ASSERT_HRESULT_SUCCEEDED(control.As(&oleControl));
    Open();
    EXPECT_EQ(oleControl->FreezeEvents(TRUE), S_OK);
    EXPECT_EQ(oleControl->FreezeEvents(TRUE), S_OK);  // freezes nest
    for (const wchar_t* command : {L"AQID", L"BAUG", L"BwgJ"}) CallAsync(command);
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 3, 5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(log.Count(), 0u) << "nothing is fired into a frozen container";
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(log.Count(), 0u) << "still frozen once";
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK);
    EXPECT_EQ(log.Count(), 0u) << "thawing fires nothing from inside the container's call";
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 3; }));
    const auto calls = log.Calls();
    ASSERT_EQ(calls.size(), 3u) << "none lost";
    EXPECT_EQ(calls[0].text, L"AQID");
    EXPECT_EQ(calls[1].text, L"BAUG");
    EXPECT_EQ(calls[2].text, L"BwgJ");
    EXPECT_EQ(calls[2].thread, ::GetCurrentThreadId());
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK) << "a thaw too many changes nothing";
    CallAsync(L"AQID");
    EXPECT_TRUE(PumpUntil([&] { return log.Count() == 4; }));
}

// A sink that freezes the container's events while handling one: the
// answers after it must wait for the thaw.
class FreezingSink : public EventSink {
public:
    FreezingSink(SinkLog& log, IOleControl* control) : EventSink("freezing", log), control_(control) {}
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        const HRESULT hr = EventSink::Invoke(dispid, riid, lcid, flags, params, result, exception, argError);
        control_->FreezeEvents(TRUE);
        return hr;
    }

private:
    IOleControl* control_;
};

TEST_F(OcxEvents, AFreezeFromInsideAnEventHoldsTheRest) {
    const int reader = Attach("155B 4612 65 echo");
    ComPtr<IOleControl> oleControl;
    ASSERT_HRESULT_SUCCEEDED(control.As(&oleControl));
    FreezingSink freezing(log, oleControl.Get());
    Connect(control.Get(), &freezing);
    Open();
    EXPECT_EQ(oleControl->FreezeEvents(TRUE), S_OK);
    CallAsync(L"AQID");
    CallAsync(L"BAUG");
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 2, 5000));
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 1; }));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(log.Count(), 1u) << "the second answer waits for the thaw";
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 2; }));
    EXPECT_EQ(log.Calls()[1].text, L"BAUG");
    oleControl.Reset();
    EXPECT_EQ(control.Reset(), 0u);
}

// A sink whose handler pumps messages while it runs, as a script's modal
// dialog (alert) does: the next event must wait until it has returned.
class PumpingSink : public EventSink {
public:
    explicit PumpingSink(SinkLog& log) : EventSink("pumping", log) {}
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        deepest_ = std::max(deepest_, ++depth_);
        const HRESULT hr = EventSink::Invoke(dispid, riid, lcid, flags, params, result, exception, argError);
        PumpUntil([] { return false; }, 300);
        --depth_;
        return hr;
    }
    int Deepest() const { return deepest_; }

private:
    int depth_ = 0;
    int deepest_ = 0;
};

TEST_F(OcxEvents, AnEventWaitsWhileAHandlerPumpsMessages) {
    const int reader = Attach("155B 4612 65 echo");
    PumpingSink pumping(log);
    Connect(control.Get(), &pumping);
    Open();
    for (const wchar_t* command : {L"AQID", L"BAUG", L"BwgJ"}) CallAsync(command);
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 3, 5000));
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 3; }));
    EXPECT_EQ(pumping.Deepest(), 1) << "an event fired inside a running handler";
    const auto calls = log.Calls();
    EXPECT_EQ(calls[0].text, L"AQID");
    EXPECT_EQ(calls[1].text, L"BAUG");
    EXPECT_EQ(calls[2].text, L"BwgJ");
    EXPECT_EQ(control.Reset(), 0u) << "the control goes before its sink";
}

// Pumps this thread's messages but never dispatches the control's wake-up
// message (WM_APP + 1), as a host with messages of its own in that range
// might: it takes them from the queue and drops them.
template <typename Condition>
bool PumpEatingWakeUps(Condition done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE)) {
        }
        while (::PeekMessageW(&message, nullptr, 0, WM_APP, PM_REMOVE) ||
               ::PeekMessageW(&message, nullptr, WM_APP + 2, 0xFFFF, PM_REMOVE))
            ::DispatchMessageW(&message);
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

TEST_F(OcxEvents, AnAnswerStillArrivesWhenTheHostDropsTheWakeUp) {
    Attach("155B 4612 65 echo");
    Connect(control.Get(), &a);
    Open();
    CallAsync(L"AQID");
    ASSERT_TRUE(PumpEatingWakeUps([&] { return log.Count() >= 1; }, 3000)) << "the answer was lost";
    CallAsync(L"BAUG");
    ASSERT_TRUE(PumpEatingWakeUps([&] { return log.Count() >= 2; }, 3000)) << "later answers were lost too";
    EXPECT_EQ(log.Calls()[1].text, L"BAUG");
    PumpUntil([] { return false; }, 100);
    ::Sleep(2 * CThreadWakeup::kWatchIntervalMs);
    EXPECT_EQ(HIWORD(::GetQueueStatus(QS_TIMER)), 0u) << "no timer once nothing is awaited";
}

TEST_F(OcxEvents, EmptyAndNullCommandsAnswerWithEmptyText) {
    Attach("155B 4612 65 echo");
    Connect(control.Get(), &a);
    Open();
    CallAsync(L"");
    CallAsync(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 2; }));
    for (const SinkCall& call : log.Calls()) {
        EXPECT_FALSE(call.textWasNull) << "an empty string, not a null one";
        EXPECT_EQ(call.text, L"");
    }
}

TEST_F(OcxEvents, DestroyingTheControlEndsAWaitingWorker) {
    const int reader = Attach("155B 4612 65 silent");
    Connect(control.Get(), &a);
    Open();
    CallAsync(L"AQID");
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 1, 5000));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(control.Reset(), 0u);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2)) << "the release waited on the silent reader";
    EXPECT_EQ(a.References(), 1u) << "the destroyed control let the sink go";
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(log.Count(), 0u) << "no event after destruction began";
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxEvents, AnswerQueuedAtDestructionIsDropped) {
    Attach("155B 4612 65 echo");
    Connect(control.Get(), &a);
    Open();
    CallAsync(L"AQID");
    ASSERT_TRUE(PostedMessageWaiting());
    EXPECT_EQ(control.Reset(), 0u);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(log.Count(), 0u);
}

// A sink that lets the control go while handling its event: the control must
// stay whole until it has finished firing.
class ReleasingSink : public EventSink {
public:
    ReleasingSink(SinkLog& log, ComPtr<IDispatch> control)
        : EventSink("releasing", log), control_(std::move(control)) {}
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        const HRESULT hr = EventSink::Invoke(dispid, riid, lcid, flags, params, result, exception, argError);
        control_.Reset();
        return hr;
    }

private:
    ComPtr<IDispatch> control_;
};

TEST_F(OcxEvents, SinkMayReleaseTheLastReference) {
    Attach("155B 4612 65 echo");
    ReleasingSink releasing(log, control);
    Connect(control.Get(), &releasing);
    Connect(control.Get(), &a);
    Open();
    CallAsync(L"AQID");
    control.Reset();  // the releasing sink now holds the last reference
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 2; }));
    EXPECT_EQ(log.Calls()[1].sink, "a") << "firing went on to the next sink";
    PumpUntil([&] { return ocx.CanUnloadNow() == S_OK; }, 1000);
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK) << "the control was freed once firing ended";
    EXPECT_EQ(releasing.References(), 1u);
    EXPECT_EQ(a.References(), 1u);
}

TEST_F(OcxEvents, DoClickFiresNoEvent) {
    Connect(control.Get(), &a);
    EXPECT_EQ(Call(control.Get(), DISPID_DOCLICK)->hr, S_OK);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(log.Count(), 0u) << "the stock Click event is off";
}

}  // namespace
}  // namespace veldorinctl::test
