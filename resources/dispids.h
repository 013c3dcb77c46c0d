// The dispatch IDs of the control's own methods and events, written once.
//
// widl reads this header for VELDORINCTL.idl, so the type library takes its
// [id(...)] values from here; the control's dispatch and event maps and the
// tests use the same names. Pages and containers bind by these numbers: they
// never change. AboutBox and DoClick use the system's stock DISPIDs
// (DISPID_ABOUTBOX, DISPID_DOCLICK from olectl.h).
#ifndef VELDORINCTL_RESOURCES_DISPIDS_H
#define VELDORINCTL_RESOURCES_DISPIDS_H

// Methods of the dispatch interface _DVELDORINCTL.
#define DISPID_DEVOPEN 1
#define DISPID_DEVCLOSE 2
#define DISPID_DEVCALL 3
#define DISPID_DEVCALLASYNC 4
#define DISPID_GETX509VALIDDATE 5
#define DISPID_LOADCA 6
#define DISPID_GETX509SN 7

// Events of the event interface _DVELDORINCTLEvents.
#define DISPID_DEVCALLASYNCBACK 1

#endif  // VELDORINCTL_RESOURCES_DISPIDS_H
