// The page's `host` object: echo(text), exit(code), wait(ms), threadId(),
// pageThreadId, foreignThreadEvents and sim (the simulated readers, or null
// when veldorinsim.dll is not beside pagehost).
#pragma once

#include <oaidl.h>

#include "tools/pagehost/com_object.h"
#include "tools/pagehost/page_session.h"

namespace pagehost {

// `sim` may be null.
ComPtr<IDispatch> MakeHostObject(PageSession& session, ComPtr<IDispatch> sim);

// The error code with which host.exit() stops the running script; the
// script site knows it is no script error.
constexpr HRESULT kPageExiting = E_ABORT;

}  // namespace pagehost
