// How long DevCallAsync's answer takes from the worker to the page's thread,
// under Wine or on Windows: a measurement, not a test.
//
//  1. The hand-off itself: the control's AsyncCallQueue and CThreadWakeup,
//     from the moment the worker has the answer (a call that sends nothing)
//     to the moment the page's thread, woken through its message loop,
//     takes it. One call at a time, so each figure is one delivery.
//  2. The OCX: the time from DevCallAsync to the sink's DevCallAsyncBack
//     against a simulated echoing reader, beside DevCall's round trip on the
//     same reader; the difference is what the asynchronous road adds.
//
//   async_latency [CALLS]     (default 5000; run beside the OCX and fakes)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/microseconds.h"
#include "control/async_call_queue.h"
#include "framework/thread_wakeup.h"
#include "tests/win/ocx_client.h"

namespace {

using namespace veldorinctl::test;

void Report(const char* what, std::vector<double> microseconds) {
    std::sort(microseconds.begin(), microseconds.end());
    const auto at = [&](double share) { return microseconds[static_cast<size_t>(share * (microseconds.size() - 1))]; };
    std::printf("%-44s median %8.1f us   p99 %8.1f us   max %8.1f us   (%zu)\n", what, at(0.5), at(0.99),
                microseconds.back(), microseconds.size());
}

void PumpUntil(const std::atomic<bool>& done) {
    MSG message;
    while (!done && ::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
}

std::vector<double> HandOff(size_t calls) {
    std::atomic<double> answered{0};
    std::atomic<bool> taken{false};
    std::vector<double> latencies;
    std::optional<AsyncCallQueue> queue;
    CThreadWakeup wakeup([&] {
        while (queue->TakeAnswer()) {
            latencies.push_back(Microseconds() - answered);
            taken = true;
        }
    });
    queue.emplace(
        [&](AsyncCallRequest&) {
            answered = Microseconds();
            return std::string("AQID");
        },
        [&] { wakeup.Wake(); });
    for (size_t i = 0; i < calls; ++i) {
        taken = false;
        queue->Add(std::make_unique<AsyncCallRequest>());
        PumpUntil(taken);
    }
    queue->Stop();
    return latencies;
}

// A page's event sink that notes when the answer arrived.
class TimingSink : public IDispatch {
public:
    std::atomic<bool> arrived{false};
    double at = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DVELDORINCTLEvents) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        at = Microseconds();
        arrived = true;
        return S_OK;
    }
};

void ThroughTheOcx(size_t calls) {
    LoadedOcx ocx;
    ComPtr<IDispatch> control = CreateControl(ocx);
    TimingSink sink;
    Connect(control.Get(), &sink);
    if (Call(control.Get(), 1)->result->lVal == 0) {
        std::printf(
            "no reader: run beside the fake DLLs with WINEDLLOVERRIDES=setupapi,hid=n,b and\n"
            "VELDORINCTL_SIM_CONFIG naming an echoing reader (bench/whole_road/echo.conf)\n");
        return;
    }
    UniqueVariant command = Text(L"AQID");
    std::vector<double> roundTrips, eventTrips;
    for (size_t i = 0; i < calls; ++i) {
        const double start = Microseconds();
        Call(control.Get(), 3, {&command});
        roundTrips.push_back(Microseconds() - start);
    }
    for (size_t i = 0; i < calls; ++i) {
        sink.arrived = false;
        const double start = Microseconds();
        Call(control.Get(), 4, {&command});
        PumpUntil(sink.arrived);
        eventTrips.push_back(sink.at - start);
    }
    Report("DevCall, call to answer", roundTrips);
    Report("DevCallAsync, call to DevCallAsyncBack", eventTrips);
    control.Reset();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t calls = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
    Apartment apartment;
    Report("worker's answer to the page's thread", HandOff(calls));
    ThroughTheOcx(calls);
    return 0;
}
