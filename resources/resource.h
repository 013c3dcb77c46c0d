// Identifiers of the module's resources, shared by VELDORINCTL.rc and the C++
// code that loads them (user type names, page caption, about box, verb name).
#ifndef VELDORINCTL_RESOURCES_RESOURCE_H
#define VELDORINCTL_RESOURCES_RESOURCE_H

// Strings. The two type names are also the classes' names in the registry.
#define VELDORINCTL_CONTROL_TYPE_NAME "VELDORINCTL Control"
#define VELDORINCTL_PROPPAGE_TYPE_NAME "VELDORINCTL Property Page"
#define IDS_VELDORINCTL 1
#define IDS_VELDORINCTL_PPG 2
#define IDS_VELDORINCTL_PPG_CAPTION 200
// Display name of the control's properties verb. The framework looks the verb
// name up under this id; without it the container's menu would show the
// framework's fallback, "<unknown verb>".
#define IDS_VELDORINCTL_VERB_PROPERTIES 0xFE41

// Dialogs.
#define IDD_ABOUTBOX_VELDORINCTL 1
#define IDD_PROPPAGE_VELDORINCTL 200

// Icon of the about box and toolbox bitmap of the registry entries.
#define IDI_ABOUTDLL 1
#define IDB_VELDORINCTL 1

// The compiled type library, resource type "TYPELIB"; registration loads it
// from the module file itself.
#define IDR_VELDORINCTL_TYPELIB 1

// A DLL's manifest goes under the isolation-aware id, so the loader applies it
// to the module and not to the host process.
#define IDR_VELDORINCTL_MANIFEST 2

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // VELDORINCTL_RESOURCES_RESOURCE_H
