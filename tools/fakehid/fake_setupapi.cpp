// The SetupAPI functions a reader's host uses to list HID interfaces,
// answered from the simulated readers. setupapi.dll forwards to these.
#include <windows.h>

#include <setupapi.h>

#include <cstddef>
#include <cstring>

#include "tools/fakehid/hid_interface_class.h"
#include "win32/entry_barrier.h"
#include "tools/fakehid/reader_registry.h"

namespace {

bool IsHidClass(const GUID* guid) {
    return guid != nullptr && ::IsEqualGUID(*guid, kHidInterfaceClass);
}

// Without DIGCF_PRESENT the system lists interfaces of devices that were
// unplugged too; so does this.
InterfaceList ListInterfaces(const GUID* classGuid, PCSTR enumerator, DWORD flags) {
    InterfaceList list;
    const bool hidInterfaces = (flags & DIGCF_DEVICEINTERFACE) && ((flags & DIGCF_ALLCLASSES) || IsHidClass(classGuid));
    if (!hidInterfaces || enumerator != nullptr) return list;
    for (const auto& reader : ReaderRegistry::Instance().Readers())
        if (!(flags & DIGCF_PRESENT) || reader->Present()) list.paths.push_back(reader->DevicePath());
    return list;
}

// The path of the interface that SetupDiEnumDeviceInterfaces described in
// `data`, or null (last error set).
const std::string* InterfacePath(const InterfaceList* list, const SP_DEVICE_INTERFACE_DATA* data) {
    if (list == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > list->paths.size()) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &list->paths[data->Reserved - 1];
}

}  // namespace

// The size SetupAPI demands in a detail record's cbSize: the record's size
// with the packing of setupapi.h, 8 bytes on x64 but 1 on x86, where the
// record is 5 bytes (a DWORD and the first character of the path).
constexpr DWORD kDetailSizeA = sizeof(void*) == 8 ? 8 : 5;
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == kDetailSizeA,
              "setupapi.h packs its records as SetupAPI does");

extern "C" HDEVINFO WINAPI FakeSetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    return ApiEntry<HDEVINFO>(INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY, [&] {
        return static_cast<HDEVINFO>(
            ReaderRegistry::Instance().InterfaceSets().Add(ListInterfaces(classGuid, enumerator, flags)));
    });
}

extern "C" BOOL WINAPI FakeSetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* classGuid,
                                                       DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    return ApiEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
        const auto list = ReaderRegistry::Instance().InterfaceSets().Find(set);
        if (!list) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
            ::SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (!IsHidClass(classGuid) || index >= list->paths.size()) {
            ::SetLastError(ERROR_NO_MORE_ITEMS);
            return FALSE;
        }
        data->InterfaceClassGuid = kHidInterfaceClass;
        data->Flags = SPINT_ACTIVE;
        data->Reserved = index + 1;  // 0 stays "no interface"
        return TRUE;
    });
}

extern "C" BOOL WINAPI FakeSetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                                            PDWORD requiredSize, PSP_DEVINFO_DATA deviceData) {
    return ApiEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
        const auto list = ReaderRegistry::Instance().InterfaceSets().Find(set);
        const std::string* path = InterfacePath(list.get(), data);
        if (path == nullptr) return FALSE;
        const DWORD needed =
            static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path->size() + 1);
        if (requiredSize != nullptr) *requiredSize = needed;
        if (detail == nullptr) {
            ::SetLastError(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (detail->cbSize != kDetailSizeA) {
            ::SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (size < needed) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        if (deviceData != nullptr) {
            if (deviceData->cbSize != sizeof(SP_DEVINFO_DATA)) {
                ::SetLastError(ERROR_INVALID_USER_BUFFER);
                return FALSE;
            }
            deviceData->ClassGuid = kHidInterfaceClass;
            deviceData->DevInst = static_cast<DWORD>(data->Reserved);
            deviceData->Reserved = 0;
        }
        std::memcpy(detail->DevicePath, path->c_str(), path->size() + 1);
        return TRUE;
    });
}

extern "C" BOOL WINAPI FakeSetupDiDestroyDeviceInfoList(HDEVINFO set) {
    return ApiEntry<BOOL>(FALSE, ERROR_INVALID_HANDLE, [&]() -> BOOL {
        if (ReaderRegistry::Instance().InterfaceSets().Remove(set)) return TRUE;
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    });
}
