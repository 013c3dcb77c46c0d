// The simulated readers' configuration file named in the environment, as the
// fake DLLs load it (the parser itself is tested natively).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "device/win32/hid_discovery.h"
#include "tests/win/simulated_readers.h"

namespace {

using ConfigFile = SimulatedReaders;

TEST_F(ConfigFile, ResetBringsBackTheReadersOfTheFileInTheEnvironment) {
    // readers.conf beside this test, named by a Unix path: an unopenable
    // 155B:4612, a reader of another identity, a 33-byte 6A8A:0801.
    ASSERT_EQ(VeldorinSim_Reset(), 3);
    EXPECT_EQ(OpenHidDevice(0x155B, 0x4612), nullptr);
    HidDevicePtr device = OpenHidDevice(0x6A8A, 0x0801);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->nReportLen, 33);
}

TEST_F(ConfigFile, AFileWithAWrongLineChangesNothing) {
    const int reader = Attach("155B 4612 65 echo");
    char path[MAX_PATH];
    ASSERT_NE(::GetTempFileNameA(".", "sim", 0, path), 0u);
    {
        std::ofstream file(path);
        file << "6A8A 0801 33 echo\n6A8A 0801 33 echo twice\n";
    }
    EXPECT_EQ(VeldorinSim_LoadConfig(path), -2);
    ::DeleteFileA(path);
    EXPECT_EQ(VeldorinSim_Present(reader), 1);
    EXPECT_EQ(VeldorinSim_LoadConfig("no such file.conf"), -1);
    EXPECT_EQ(VeldorinSim_Present(reader), 1);
}

}  // namespace
