// A library that includes a header of a library it does not link: the build
// must refuse it (tests/layers/CMakeLists.txt builds this in a library that
// links only codec, and expects the header not to be found).
#include "codec/base64.h"
#include "device/hid_device.h"

int UnlinkedHeaderProbe() {
    return static_cast<int>(sizeof(HidDevice));
}
