// readerprobe: looks for a card reader as the control does (the first
// identity, then the second) and tells what it found. Exit status 0 when a
// reader could be opened, 1 when none.
#include <cstdint>
#include <cstdio>

#include "device/win32/hid_discovery.h"

namespace {

struct Identity {
    uint16_t vendorId;
    uint16_t productId;
};

constexpr Identity kReaderIdentities[] = {{0x155B, 0x4612}, {0x6A8A, 0x0801}};

}  // namespace

int main() {
    for (const Identity& identity : kReaderIdentities) {
        HidDevicePtr reader = OpenHidDevice(identity.vendorId, identity.productId);
        if (!reader) continue;
        std::printf("reader %04X:%04X at %s, reports of %u bytes\n", identity.vendorId, identity.productId,
                    reader->pDetail->DevicePath.c_str(), static_cast<unsigned>(reader->nReportLen));
        CloseHidDevice(reader.release());
        return 0;
    }
    std::printf("no reader\n");
    return 1;
}
