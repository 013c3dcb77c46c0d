#include "tools/pagehost/sim_object.h"

#include <string>
#include <vector>

#include "codec/base64.h"
#include "tools/pagehost/automation.h"
#include "tools/pagehost/named_dispatch.h"
#include "win32/module_file_name.h"

namespace pagehost {
namespace {

// The functions of veldorinsim.dll that pages use, looked up by name.
struct SimApi {
    int (*attach)(const char*) = nullptr;
    int (*unplug)(int) = nullptr;
    int (*present)(int) = nullptr;
    void (*clear)() = nullptr;
    int (*receivedCount)(int) = nullptr;
    int (*received)(int, int, unsigned char*, int) = nullptr;
    int (*waitForReceived)(int, int, int) = nullptr;
    int (*connections)(int) = nullptr;
    int (*openHandles)() = nullptr;
    int (*waitForOpenHandles)(int, int) = nullptr;
    int (*violations)(int, char*, int) = nullptr;
};

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool ResolveAll(HMODULE module, SimApi& api) {
    return Resolve(module, "VeldorinSim_Attach", api.attach) && Resolve(module, "VeldorinSim_Unplug", api.unplug) &&
           Resolve(module, "VeldorinSim_Present", api.present) && Resolve(module, "VeldorinSim_Clear", api.clear) &&
           Resolve(module, "VeldorinSim_ReceivedCount", api.receivedCount) &&
           Resolve(module, "VeldorinSim_Received", api.received) &&
           Resolve(module, "VeldorinSim_WaitForReceived", api.waitForReceived) &&
           Resolve(module, "VeldorinSim_Connections", api.connections) &&
           Resolve(module, "VeldorinSim_OpenHandles", api.openHandles) &&
           Resolve(module, "VeldorinSim_WaitForOpenHandles", api.waitForOpenHandles) &&
           Resolve(module, "VeldorinSim_Violations", api.violations);
}

std::wstring BesidePagehost(const wchar_t* file) {
    const std::wstring path = ModuleFileName<wchar_t>(nullptr);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + file;
}

HRESULT ReturnBool(VARIANT* result, bool value) {
    if (!result) return S_OK;
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

class SimObject final : public NamedDispatch {
public:
    explicit SimObject(const SimApi& api)
        : NamedDispatch({L"attach", L"unplug", L"present", L"clear", L"receivedCount", L"lastReceived", L"received",
                         L"waitForReceived", L"connections", L"openHandles", L"waitForOpenHandles", L"violations"}),
          api_(api) {}

private:
    enum Member {
        kAttach,
        kUnplug,
        kPresent,
        kClear,
        kReceivedCount,
        kLastReceived,
        kReceived,
        kWaitForReceived,
        kConnections,
        kOpenHandles,
        kWaitForOpenHandles,
        kViolations
    };

    HRESULT Call(size_t member, WORD, const Arguments& args, VARIANT* result, EXCEPINFO*) override {
        auto number = [&](unsigned index) { return ArgumentNumber(args[index], 0); };
        switch (member) {
            case kAttach:
                return ReturnNumber(result, api_.attach(Narrow(ArgumentText(args[0])).c_str()));
            case kUnplug:
                return ReturnBool(result, api_.unplug(number(0)) != 0);
            case kPresent:
                return ReturnBool(result, api_.present(number(0)) != 0);
            case kClear:
                api_.clear();
                return S_OK;
            case kReceivedCount:
                return ReturnNumber(result, api_.receivedCount(number(0)));
            case kLastReceived:
                return ReturnMessage(result, number(0), api_.receivedCount(number(0)) - 1);
            case kReceived:
                return ReturnMessage(result, number(0), number(1));
            case kWaitForReceived:
                return ReturnBool(result, api_.waitForReceived(number(0), number(1), number(2)) != 0);
            case kConnections:
                return ReturnNumber(result, api_.connections(number(0)));
            case kOpenHandles:
                return ReturnNumber(result, api_.openHandles());
            case kWaitForOpenHandles:
                return ReturnBool(result, api_.waitForOpenHandles(number(0), number(1)) != 0);
            case kViolations:
                return ReturnViolations(result, number(0));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    // Message `index` as Base64 text, or null when there is none.
    HRESULT ReturnMessage(VARIANT* result, int reader, int index) {
        if (!result) return S_OK;
        std::vector<unsigned char> message(65536);
        const int length =
            index < 0 ? -1 : api_.received(reader, index, message.data(), static_cast<int>(message.size()));
        if (length < 0) {
            result->vt = VT_NULL;
            return S_OK;
        }
        return ReturnText(result, Widen(Base64().Encode(message.data(), static_cast<uint32_t>(length))));
    }

    // The shared reader's mixed messages, one a line ("" when none), or null
    // for an unknown reader.
    HRESULT ReturnViolations(VARIANT* result, int reader) {
        if (!result) return S_OK;
        std::string text(64 * 1024, '\0');
        const int length = api_.violations(reader, text.data(), static_cast<int>(text.size()));
        if (length < 0) {
            result->vt = VT_NULL;
            return S_OK;
        }
        text.resize(static_cast<size_t>(length));
        return ReturnText(result, Widen(text));
    }

    SimApi api_;
};

}  // namespace

ComPtr<IDispatch> LoadSimObject() {
    // Only from pagehost's own folder: a copy elsewhere on the path is not
    // the one the fake setupapi.dll and hid.dll beside pagehost talk to.
    const HMODULE module = LoadLibraryW(BesidePagehost(L"veldorinsim.dll").c_str());
    SimApi api;
    if (!module || !ResolveAll(module, api)) return nullptr;
    return MakeCom<SimObject>(api);
}

}  // namespace pagehost
