// Finding and opening a reader among the HID interfaces present.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/hid_device.h"
#include "device/hid_interface.h"

// What the interface at `path` tells of itself: whether it opens for
// reading and writing (else the system's error code), its identity and its
// capabilities.
HidInterfaceSeen InspectHidInterface(std::string path);

// Every present HID interface, inspected, in enumeration order.
void EnumerateHidInterfaces(const std::function<void(const HidInterfaceSeen&)>& visit);

// The first present HID interface, in enumeration order, that can be opened
// for reading and writing, whose identifiers match and whose input report
// length the framing can carry. `reportLen` is 0 unless one is found.
// `observer`, when given, is told of every interface looked at, and why it
// was taken or passed over.
std::unique_ptr<HidInterfaceDetail> FindHidDevicePath(uint16_t vendorId, uint16_t productId, uint16_t& reportLen,
                                                      const HidInterfaceObserver& observer = nullptr);

// The reader of that identity, open for report I/O, or null.
HidDevicePtr OpenHidDevice(uint16_t vendorId, uint16_t productId, const HidInterfaceObserver& observer = nullptr);
