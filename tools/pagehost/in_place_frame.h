// The page window as an in-place frame: it offers no menus, toolbars or
// border space; a control only needs it to exist and to answer.
#pragma once

#include <oleidl.h>

#include "tools/pagehost/com_object.h"

namespace pagehost {

ComPtr<IOleInPlaceFrame> MakeInPlaceFrame(HWND window);

}  // namespace pagehost
