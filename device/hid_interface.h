// What discovery learns of one HID interface, and why it takes the
// interface as the reader or passes it over: for the trace and readerprobe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/reader_identity.h"

struct HidInterfaceSeen {
    std::string path;
    bool opened = false;      // for reading and writing
    uint32_t openError = 0;   // the system's error code when not opened
    bool identified = false;  // its vendor and product were read
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    bool described = false;  // its capabilities were read
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t inputReportLength = 0;  // report identifier included
    uint16_t outputReportLength = 0;
    uint16_t featureReportLength = 0;
};

enum class HidInterfaceVerdict {
    Taken,
    NotOpened,               // openError tells why
    NoAttributes,            // its vendor and product could not be read
    OtherIdentity,           // not the identity sought
    NoCapabilities,          // its report lengths could not be read
    ReportLengthOutOfRange,  // an input report length the framing cannot carry
};

// Whether the interface is a reader of `identity`, or why not.
HidInterfaceVerdict JudgeHidInterface(const HidInterfaceSeen& seen, ReaderIdentity identity);

// "taken", "not opened", "another device", ...
const char* HidInterfaceVerdictText(HidInterfaceVerdict verdict);

// A 16-bit identifier as four upper-case hex digits ("155B"), and an
// identity as vendor:product ("155B:4612"), as the trace and readerprobe
// write them.
std::string Hex4(uint16_t value);
std::string IdentityText(ReaderIdentity identity);

// Told of every interface discovery looks at, in enumeration order.
using HidInterfaceObserver = std::function<void(const HidInterfaceSeen&, HidInterfaceVerdict)>;
