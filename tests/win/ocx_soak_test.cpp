// Soak: many calls on one control and many controls made and released, with
// the reader handles, device information sets and committed memory held
// flat. It takes most of a minute under Wine, so it has a label of its own
// (soak) and is not part of the test command; the README says how to run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "resources/dispids.h"
#include "tests/win/ocx_client.h"
#include "tests/win/process_memory.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

constexpr int kCalls = 10000;
constexpr int kControls = 1000;
// Past the warm-up, growth beyond this is a leak: one leaked answer per call
// would be 10 000 strings, one leaked control per cycle 1 000 objects.
constexpr size_t kAllowedGrowth = 2u << 20;

class OcxSoak : public SimulatedReaders {
protected:
    void SetUp() override {
        SimulatedReaders::SetUp();
        Attach("155B 4612 65 echo");
    }

    static long Open(IDispatch* control) {
        const auto opened = Call(control, DISPID_DEVOPEN);
        EXPECT_EQ(opened->hr, S_OK);
        return opened->result->lVal;
    }

    // One command answered by the echoing reader, checked.
    static void CallOnce(IDispatch* control, UniqueVariant& command) {
        const auto answer = Call(control, DISPID_DEVCALL, {&command});
        ASSERT_EQ(answer->hr, S_OK);
        ASSERT_EQ(answer->Text(), command->bstrVal);
    }

    static double Seconds(std::chrono::steady_clock::time_point since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

    Apartment apartment;
    LoadedOcx ocx;
};

TEST_F(OcxSoak, TenThousandDevCallsHoldMemoryAndHandlesFlat) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    ASSERT_NE(Open(control.Get()), 0);
    UniqueVariant command = Text(L"AKQEAA4xUEFZLlNZUy5EREYwMQA=");
    for (int i = 0; i < 200; ++i) CallOnce(control.Get(), command);  // warm-up

    const size_t before = CommittedBytes();
    const int handlesBefore = VeldorinSim_OpenHandles();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls && !HasFatalFailure(); ++i) CallOnce(control.Get(), command);
    const size_t after = CommittedBytes();
    std::printf("soak: %d DevCall in %.1f s; committed %zu -> %zu bytes; reader handles %d -> %d\n", kCalls,
                Seconds(started), before, after, handlesBefore, VeldorinSim_OpenHandles());

    EXPECT_EQ(VeldorinSim_OpenHandles(), handlesBefore);
    EXPECT_LT(after, before + kAllowedGrowth);
}

TEST_F(OcxSoak, ThousandControlsCreatedUsedAndReleased) {
    UniqueVariant command = Text(L"AAEC");
    auto cycle = [&] {
        ComPtr<IDispatch> control = CreateControl(ocx);
        ASSERT_NE(Open(control.Get()), 0);
        CallOnce(control.Get(), command);
        // Released with its reader open: destruction closes it.
    };
    for (int i = 0; i < 50; ++i) cycle();  // warm-up

    const size_t before = CommittedBytes();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kControls && !HasFatalFailure(); ++i) {
        cycle();
        ASSERT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000)) << "cycle " << i << " left a reader open";
    }
    const size_t after = CommittedBytes();
    std::printf("soak: %d controls made and released in %.1f s; committed %zu -> %zu bytes\n", kControls,
                Seconds(started), before, after);

    EXPECT_EQ(VeldorinSim_OpenDeviceInfoSets(), 0);
    EXPECT_LT(after, before + kAllowedGrowth);
}

}  // namespace
}  // namespace veldorinctl::test
