// host.sim: the simulated readers' control API (tools/fakehid/veldorinsim.h)
// for pages, when veldorinsim.dll lies beside pagehost.exe:
//   attach(line) → id (0: not a reader)   unplug(id) → true/false
//   present(id)                            clear()
//   receivedCount(id)                      lastReceived(id) → Base64 or null
//   received(id, index) → Base64 or null   waitForReceived(id, count, ms) → bool
//   connections(id)                        openHandles()
//   waitForOpenHandles(count, ms) → bool
#pragma once

#include <oaidl.h>

#include "tools/pagehost/com_object.h"

namespace pagehost {

// Null when veldorinsim.dll is not beside pagehost.exe.
ComPtr<IDispatch> LoadSimObject();

}  // namespace pagehost
