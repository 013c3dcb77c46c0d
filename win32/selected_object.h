// A GDI object selected into a device context for a scope: the object it
// replaced is selected back when the scope ends, so the caller's object can
// then be deleted and the context is left as it was found.
#pragma once

#include <windows.h>

class SelectedObject {
public:
    // Selects nothing when `object` is null.
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    const HDC dc_;
    const HGDIOBJ previous_;
};
