// The <param name value> pairs of an <object> as the property bag from
// which the control initialises itself (IPersistPropertyBag::Load).
#pragma once

#include <ocidl.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/pagehost/com_object.h"

namespace pagehost {

using Params = std::vector<std::pair<std::string, std::string>>;

// Names compare without regard to case, as in HTML; Write is refused (a
// page is read-only).
ComPtr<IPropertyBag> MakeParamBag(const Params& params);

}  // namespace pagehost
