// Finding and opening a reader among the HID interfaces present.
#pragma once

#include <cstdint>
#include <memory>

#include "device/hid_device.h"

// The first present HID interface, in enumeration order, that can be opened
// for reading and writing, whose identifiers match and whose input report
// length the framing can carry. `reportLen` is 0 unless one is found.
std::unique_ptr<HidInterfaceDetail> FindHidDevicePath(uint16_t vendorId, uint16_t productId, uint16_t& reportLen);

// The reader of that identity, open for report I/O, or null.
HidDevicePtr OpenHidDevice(uint16_t vendorId, uint16_t productId);
