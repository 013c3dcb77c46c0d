#include "control/win32/about_box.h"

#include <windows.h>

#include "framework/module_state.h"
#include "resources/resource.h"

namespace {

// OK, Esc and the close box end the dialog; it has no other behaviour.
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowAboutBox() {
    // No parent of our own: the window active on this thread (the
    // container's, if any) owns the dialog.
    (void)::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDD_ABOUTBOX_VELDORINCTL), ::GetActiveWindow(),
                            &AboutProc, 0);
}
