// The registry entries of VELDORINCTL.OCX, written once.
//
// DllRegisterServer and DllInstall write these entries under the classes
// root (HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER\Software\Classes for one
// user), replacing kModulePathPlaceholder by the module's full path; the
// installer's registry rows are generated from the same table at build time.
// The type library and its interfaces are registered by the platform from
// the library inside the module, and the two component categories through
// the platform's categories manager; kControlCategories names what that
// writes. Portable: the table compiles natively too.
#pragma once

#include "framework/registry_entry.h"
#include "resources/guids.h"
#include "resources/resource.h"

#define VELDORINCTL_REGISTRY_TEXT_(token) #token
#define VELDORINCTL_REGISTRY_TEXT(token) VELDORINCTL_REGISTRY_TEXT_(token)
#define VELDORINCTL_REGISTRY_GUID(token) "{" VELDORINCTL_REGISTRY_TEXT(token) "}"
#define VELDORINCTL_CONTROL_KEY "CLSID\\" VELDORINCTL_REGISTRY_GUID(VELDORINCTL_CLSID_TEXT)
#define VELDORINCTL_PROPPAGE_KEY "CLSID\\" VELDORINCTL_REGISTRY_GUID(VELDORINCTL_PROPPAGE_CLSID_TEXT)
#define VELDORINCTL_CONTROL_PROGID "VELDORINCTL.VELDORINCTLCtrl.1"

namespace veldorinctl::registration {

inline constexpr char kControlClassKey[] = VELDORINCTL_CONTROL_KEY;
inline constexpr char kPropPageClassKey[] = VELDORINCTL_PROPPAGE_KEY;
inline constexpr char kControlProgId[] = VELDORINCTL_CONTROL_PROGID;
// OLEMISC_SETCLIENTSITEFIRST, ACTIVATEWHENVISIBLE, INSIDEOUT, CANTLINKINSIDE
// and RECOMPOSEONRESIZE, in decimal.
inline constexpr char kControlMiscStatus[] = "131473";
inline constexpr char kTypeLibVersion[] =
    VELDORINCTL_REGISTRY_TEXT(VELDORINCTL_TYPELIB_MAJOR) "." VELDORINCTL_REGISTRY_TEXT(VELDORINCTL_TYPELIB_MINOR);

// The control's class key and its ProgID key. The class's server path comes
// last, after its threading model: a class interrupted half-way has no
// server, rather than a server without its threading model.
inline constexpr RegistryEntry kControlEntries[] = {
    {VELDORINCTL_CONTROL_KEY, "", VELDORINCTL_CONTROL_TYPE_NAME},
    {VELDORINCTL_CONTROL_KEY "\\ProgID", "", VELDORINCTL_CONTROL_PROGID},
    {VELDORINCTL_CONTROL_KEY "\\ToolboxBitmap32", "",
     VELDORINCTL_MODULE_PATH ", " VELDORINCTL_REGISTRY_TEXT(IDB_VELDORINCTL)},
    {VELDORINCTL_CONTROL_KEY "\\MiscStatus", "", "0"},
    {VELDORINCTL_CONTROL_KEY "\\MiscStatus\\1", "", kControlMiscStatus},
    {VELDORINCTL_CONTROL_KEY "\\Control", "", ""},
    {VELDORINCTL_CONTROL_KEY "\\TypeLib", "", VELDORINCTL_REGISTRY_GUID(VELDORINCTL_LIBID_TEXT)},
    {VELDORINCTL_CONTROL_KEY "\\Version", "", kTypeLibVersion},
    {VELDORINCTL_CONTROL_KEY "\\InprocServer32", "ThreadingModel", "Apartment"},
    {VELDORINCTL_CONTROL_KEY "\\InprocServer32", "", VELDORINCTL_MODULE_PATH},
    {VELDORINCTL_CONTROL_PROGID, "", VELDORINCTL_CONTROL_TYPE_NAME},
    {VELDORINCTL_CONTROL_PROGID "\\CLSID", "", VELDORINCTL_REGISTRY_GUID(VELDORINCTL_CLSID_TEXT)},
};

// The property page's class key: no threading model, no ProgID.
inline constexpr RegistryEntry kPropPageEntries[] = {
    {VELDORINCTL_PROPPAGE_KEY, "", VELDORINCTL_PROPPAGE_TYPE_NAME},
    {VELDORINCTL_PROPPAGE_KEY "\\InprocServer32", "", VELDORINCTL_MODULE_PATH},
};

// The component categories the control is entered in. Defining one writes
// "Component Categories\{id}" with the description as value "409"; entering
// the control writes the key "Implemented Categories\{id}" under its class
// key. The definitions outlast unregistration.
struct ComponentCategory {
    const char* id;  // registry form without braces
    const char* description;
};
inline constexpr char kSafeForScriptingId[] = "7DD95801-9882-11CF-9FA9-00AA006C42C4";
inline constexpr char kSafeForInitializingId[] = "7DD95802-9882-11CF-9FA9-00AA006C42C4";
inline constexpr ComponentCategory kControlCategories[] = {
    {kSafeForScriptingId, "Controls that are safely scriptable"},
    {kSafeForInitializingId, "Controls safely initializable from persistent data"},
};

}  // namespace veldorinctl::registration
