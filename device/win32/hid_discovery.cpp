#include "device/win32/hid_discovery.h"

#include <windows.h>

// MinGW's HID headers declare the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <vector>

#include "device/win32/file_report_link.h"
#include "device/win32/unique_dev_info.h"
#include "win32/unique_resource.h"

namespace {

// Reports the driver keeps queued for us between reads.
constexpr ULONG kInputBuffers = 512;

struct PreparsedDataTraits {
    using Type = PHIDP_PREPARSED_DATA;
    static Type Invalid() { return nullptr; }
    static void Close(Type data) { ::HidD_FreePreparsedData(data); }
};
using UniquePreparsedData = UniqueResource<PreparsedDataTraits>;

// The interface's path, or an empty string when its detail cannot be read.
std::string InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return {};
    // The detail record is a header followed by the path; keep it in a block
    // aligned for the header.
    std::vector<DWORD> block((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr, nullptr)) return {};
    return detail->DevicePath;
}

// The input report length of the reader at `path`, or 0 when it is not one
// of the identity asked for (or cannot be examined).
uint16_t ReaderReportLength(const std::string& path, uint16_t vendorId, uint16_t productId) {
    UniqueFileHandle file = OpenHidInterface(path.c_str());
    if (!file) return 0;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!::HidD_GetAttributes(file.get(), &attributes) || attributes.VendorID != vendorId ||
        attributes.ProductID != productId)
        return 0;
    UniquePreparsedData preparsed;
    if (!::HidD_GetPreparsedData(file.get(), preparsed.put())) return 0;
    HIDP_CAPS caps{};
    if (::HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) return 0;
    return IsReaderReportLength(caps.InputReportByteLength) ? caps.InputReportByteLength : 0;
}

}  // namespace

std::unique_ptr<HidInterfaceDetail> FindHidDevicePath(uint16_t vendorId, uint16_t productId, uint16_t& reportLen) {
    reportLen = 0;
    GUID hidClass{};
    ::HidD_GetHidGuid(&hidClass);
    UniqueDevInfo set(::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return nullptr;

    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidClass, index, &interfaceData);
         ++index) {
        std::string path = InterfacePath(set.get(), interfaceData);
        if (path.empty()) continue;
        const uint16_t length = ReaderReportLength(path, vendorId, productId);
        if (length == 0) continue;
        reportLen = length;
        return std::make_unique<HidInterfaceDetail>(HidInterfaceDetail{std::move(path)});
    }
    return nullptr;
}

HidDevicePtr OpenHidDevice(uint16_t vendorId, uint16_t productId) {
    uint16_t reportLen = 0;
    std::unique_ptr<HidInterfaceDetail> detail = FindHidDevicePath(vendorId, productId, reportLen);
    if (!detail) return nullptr;
    UniqueFileHandle file = OpenHidInterface(detail->DevicePath.c_str());
    if (!file) return nullptr;
    // A failure here only means a smaller queue; the reader still works.
    ::HidD_SetNumInputBuffers(file.get(), kInputBuffers);
    return MakeHidDevice(std::move(detail->DevicePath), std::make_unique<FileReportLink>(std::move(file)), reportLen);
}
