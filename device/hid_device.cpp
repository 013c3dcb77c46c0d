#include "device/hid_device.h"

HidDevicePtr MakeHidDevice(std::string devicePath, std::unique_ptr<ReportLink> link, uint16_t reportLen) {
    if (!link || !IsReaderReportLength(reportLen)) return nullptr;
    HidDevicePtr device(new HidDevice());
    device->pDetail = std::make_unique<HidInterfaceDetail>(HidInterfaceDetail{std::move(devicePath)});
    device->hDevice = std::move(link);
    device->nReportLen = reportLen;
    return device;
}

void CloseHidDevice(HidDevice* device) {
    if (!device) return;
    device->hDevice.reset();
    device->pDetail.reset();
    delete device;
}
