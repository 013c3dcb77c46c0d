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

// Gives `visit` the path of each present HID interface, in enumeration
// order, until it returns false.
template <typename Visit>
void ForEachHidInterfacePath(Visit visit) {
    GUID hidClass{};
    ::HidD_GetHidGuid(&hidClass);
    UniqueDevInfo set(::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidClass, index, &interfaceData);
         ++index) {
        std::string path = InterfacePath(set.get(), interfaceData);
        if (!path.empty() && !visit(std::move(path))) return;
    }
}

}  // namespace

HidInterfaceSeen InspectHidInterface(std::string path) {
    HidInterfaceSeen seen;
    seen.path = std::move(path);
    UniqueFileHandle file = OpenHidInterface(seen.path.c_str());
    if (!file) {
        seen.openError = ::GetLastError();
        return seen;
    }
    seen.opened = true;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!::HidD_GetAttributes(file.get(), &attributes)) return seen;
    seen.identified = true;
    seen.vendorId = attributes.VendorID;
    seen.productId = attributes.ProductID;
    seen.versionNumber = attributes.VersionNumber;
    UniquePreparsedData preparsed;
    HIDP_CAPS caps{};
    if (!::HidD_GetPreparsedData(file.get(), preparsed.put()) ||
        ::HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS)
        return seen;
    seen.described = true;
    seen.usagePage = caps.UsagePage;
    seen.usage = caps.Usage;
    seen.inputReportLength = caps.InputReportByteLength;
    seen.outputReportLength = caps.OutputReportByteLength;
    seen.featureReportLength = caps.FeatureReportByteLength;
    return seen;
}

void EnumerateHidInterfaces(const std::function<void(const HidInterfaceSeen&)>& visit) {
    ForEachHidInterfacePath([&](std::string path) {
        visit(InspectHidInterface(std::move(path)));
        return true;
    });
}

std::unique_ptr<HidInterfaceDetail> FindHidDevicePath(uint16_t vendorId, uint16_t productId, uint16_t& reportLen,
                                                      const HidInterfaceObserver& observer) {
    reportLen = 0;
    std::unique_ptr<HidInterfaceDetail> found;
    ForEachHidInterfacePath([&](std::string path) {
        HidInterfaceSeen seen = InspectHidInterface(std::move(path));
        const HidInterfaceVerdict verdict = JudgeHidInterface(seen, {vendorId, productId});
        if (observer) observer(seen, verdict);
        if (verdict != HidInterfaceVerdict::Taken) return true;
        reportLen = seen.inputReportLength;
        found = std::make_unique<HidInterfaceDetail>(HidInterfaceDetail{std::move(seen.path)});
        return false;
    });
    return found;
}

HidDevicePtr OpenHidDevice(uint16_t vendorId, uint16_t productId, const HidInterfaceObserver& observer) {
    uint16_t reportLen = 0;
    std::unique_ptr<HidInterfaceDetail> detail = FindHidDevicePath(vendorId, productId, reportLen, observer);
    if (!detail) return nullptr;
    UniqueFileHandle file = OpenHidInterface(detail->DevicePath.c_str());
    if (!file) return nullptr;
    // A failure here only means a smaller queue; the reader still works.
    ::HidD_SetNumInputBuffers(file.get(), kInputBuffers);
    return MakeHidDevice(std::move(detail->DevicePath), std::make_unique<FileReportLink>(std::move(file)), reportLen);
}
