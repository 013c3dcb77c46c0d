#include "device/hid_interface.h"

#include <cstdio>

#include "device/hid_device.h"

HidInterfaceVerdict JudgeHidInterface(const HidInterfaceSeen& seen, ReaderIdentity identity) {
    if (!seen.opened) return HidInterfaceVerdict::NotOpened;
    if (!seen.identified) return HidInterfaceVerdict::NoAttributes;
    if (seen.vendorId != identity.vendorId || seen.productId != identity.productId)
        return HidInterfaceVerdict::OtherIdentity;
    if (!seen.described) return HidInterfaceVerdict::NoCapabilities;
    if (!IsReaderReportLength(seen.inputReportLength)) return HidInterfaceVerdict::ReportLengthOutOfRange;
    return HidInterfaceVerdict::Taken;
}

const char* HidInterfaceVerdictText(HidInterfaceVerdict verdict) {
    switch (verdict) {
        case HidInterfaceVerdict::Taken:
            return "taken";
        case HidInterfaceVerdict::NotOpened:
            return "cannot be opened";
        case HidInterfaceVerdict::NoAttributes:
            return "its vendor and product cannot be read";
        case HidInterfaceVerdict::OtherIdentity:
            return "another device";
        case HidInterfaceVerdict::NoCapabilities:
            return "its report lengths cannot be read";
        case HidInterfaceVerdict::ReportLengthOutOfRange:
            return "report length out of range (3 to 65)";
    }
    return "";
}

std::string Hex4(uint16_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string IdentityText(ReaderIdentity identity) {
    return Hex4(identity.vendorId) + ":" + Hex4(identity.productId);
}
