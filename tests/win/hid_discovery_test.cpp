// Finding and opening a reader with the real SetupAPI and hid.dll code,
// against simulated readers presented by the fake DLLs.
#include "device/win32/hid_discovery.h"

#include <windows.h>

#include "tests/win/simulated_readers.h"

namespace {

using Discovery = SimulatedReaders;

struct Found {
    std::string path;  // empty: nothing found
    uint16_t reportLen;
};

Found Find(uint16_t vendorId, uint16_t productId) {
    uint16_t reportLen = 0xBEEF;  // must be reset whatever happens
    auto detail = FindHidDevicePath(vendorId, productId, reportLen);
    return {detail ? detail->DevicePath : std::string(), reportLen};
}

TEST_F(Discovery, TheFirstMatchingInterfaceInEnumerationOrderWins) {
    Attach("1234 5678 65 echo");
    const int first = Attach("155B 4612 65 echo");
    Attach("155B 4612 33 echo");

    const Found found = Find(0x155B, 0x4612);
    EXPECT_EQ(found.path, PathOf(first));
    EXPECT_EQ(found.reportLen, 65);
}

TEST_F(Discovery, SkipsInterfacesThatCannotBeOpenedOrAreAnotherDevice) {
    Attach("155B 4612 65 unopenable");
    Attach("155B 4613 65 echo");
    Attach("155C 4612 65 echo");
    Attach("6A8A 0801 65 echo");
    const int reader = Attach("155B 4612 33 echo");

    const Found found = Find(0x155B, 0x4612);
    EXPECT_EQ(found.path, PathOf(reader));
    EXPECT_EQ(found.reportLen, 33) << "the length comes from the reader's capabilities";
}

TEST_F(Discovery, AReportLengthTheFramingCannotCarryIsNoReader) {
    for (const char* line : {"155B 4612 0 echo", "155B 4612 2 echo", "155B 4612 66 echo", "155B 4612 131 echo"})
        Attach(line);
    EXPECT_EQ(Find(0x155B, 0x4612).path, "");

    const int smallest = Attach("155B 4612 3 echo");
    const Found found = Find(0x155B, 0x4612);
    EXPECT_EQ(found.path, PathOf(smallest));
    EXPECT_EQ(found.reportLen, 3);
}

TEST_F(Discovery, FindsEitherReaderIdentity) {
    const int second = Attach("6A8A 0801 65 echo");
    EXPECT_EQ(Find(0x155B, 0x4612).path, "");
    EXPECT_EQ(Find(0x6A8A, 0x0801).path, PathOf(second));

    const int first = Attach("155B 4612 65 echo");
    EXPECT_EQ(Find(0x155B, 0x4612).path, PathOf(first));
}

TEST_F(Discovery, NothingFoundLeavesTheReportLengthZero) {
    const Found found = Find(0x155B, 0x4612);
    EXPECT_EQ(found.path, "");
    EXPECT_EQ(found.reportLen, 0);
}

TEST_F(Discovery, AnUnpluggedReaderIsNotFound) {
    const int reader = Attach("155B 4612 65 echo");
    ASSERT_EQ(VeldorinSim_Unplug(reader), 1);
    EXPECT_EQ(Find(0x155B, 0x4612).path, "");
    EXPECT_EQ(OpenHidDevice(0x155B, 0x4612), nullptr);

    const int again = Attach("155B 4612 65 echo");
    EXPECT_EQ(Find(0x155B, 0x4612).path, PathOf(again));
}

TEST_F(Discovery, DiscoveryGivesBackWhatItTook) {
    Attach("155B 4612 65 echo");
    EXPECT_NE(Find(0x155B, 0x4612).path, "");
    EXPECT_EQ(Find(0x6A8A, 0x0801).path, "");
    // The fixture's TearDown checks sets, preparsed data and handles; here
    // it is checked right after discovery, before anything else ran.
    EXPECT_EQ(VeldorinSim_OpenDeviceInfoSets(), 0);
    EXPECT_EQ(VeldorinSim_OpenPreparsedData(), 0);
    EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000));
}

TEST_F(Discovery, OpeningKeepsOneHandleUntilClosed) {
    const int reader = Attach("155B 4612 17 echo");

    HidDevicePtr device = OpenHidDevice(0x155B, 0x4612);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->pDetail->DevicePath, PathOf(reader));
    EXPECT_EQ(device->nReportLen, 17);
    EXPECT_EQ(VeldorinSim_InputBuffers(reader), 512);
    // Discovery opened the interface once, to look at it; the device is the
    // second opening, and the only one left.
    EXPECT_TRUE(Eventually([&] { return VeldorinSim_Connections(reader) == 2; }))
        << VeldorinSim_Connections(reader) << " openings";
    EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(1, 5000));

    CloseHidDevice(device.release());
    EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000));
}

TEST_F(Discovery, TheObserverHearsOfEveryInterfaceLookedAtAndWhy) {
    const int unopenable = Attach("155B 4612 65 unopenable");
    const int other = Attach("1234 5678 65 echo");
    const int wrongLength = Attach("155B 4612 66 echo");
    const int reader = Attach("155B 4612 33 echo");
    Attach("155B 4612 65 echo");  // after the one taken: never looked at

    std::vector<std::pair<HidInterfaceSeen, HidInterfaceVerdict>> told;
    uint16_t reportLen = 0;
    const auto found = FindHidDevicePath(
        0x155B, 0x4612, reportLen,
        [&](const HidInterfaceSeen& seen, HidInterfaceVerdict verdict) { told.emplace_back(seen, verdict); });
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->DevicePath, PathOf(reader));
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[0].first.path, PathOf(unopenable));
    EXPECT_EQ(told[0].second, HidInterfaceVerdict::NotOpened);
    EXPECT_FALSE(told[0].first.opened);
    EXPECT_EQ(told[0].first.openError, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND)) << "the system's error code";
    EXPECT_EQ(told[1].first.path, PathOf(other));
    EXPECT_EQ(told[1].second, HidInterfaceVerdict::OtherIdentity);
    EXPECT_EQ(told[1].first.vendorId, 0x1234);
    EXPECT_EQ(told[2].first.path, PathOf(wrongLength));
    EXPECT_EQ(told[2].second, HidInterfaceVerdict::ReportLengthOutOfRange);
    EXPECT_EQ(told[2].first.inputReportLength, 66);
    EXPECT_EQ(told[3].second, HidInterfaceVerdict::Taken);
    const HidInterfaceSeen& taken = told[3].first;
    EXPECT_TRUE(taken.opened && taken.identified && taken.described);
    EXPECT_EQ(taken.usagePage, 0xFF00);
    EXPECT_EQ(taken.inputReportLength, 33);
    EXPECT_EQ(taken.outputReportLength, 33);
}

TEST_F(Discovery, EnumerationInspectsEveryInterfaceAndGivesEverythingBack) {
    Attach("155B 4612 65 unopenable");
    Attach("6A8A 0801 33 echo");
    Attach("1234 5678 3 echo");
    std::vector<HidInterfaceSeen> seen;
    EnumerateHidInterfaces([&](const HidInterfaceSeen& one) { seen.push_back(one); });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[0].opened);
    EXPECT_EQ(seen[1].vendorId, 0x6A8A);
    EXPECT_EQ(seen[1].productId, 0x0801);
    EXPECT_EQ(seen[2].inputReportLength, 3);
    EXPECT_EQ(VeldorinSim_OpenPreparsedData(), 0);
    EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000)) << "each interface is closed after it was looked at";
}

}  // namespace
