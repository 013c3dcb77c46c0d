// Registration for the current user alone.
#pragma once

#include <windows.h>

#include "win32/unique_reg_key.h"

// While it lives, HKEY_CLASSES_ROOT of this process stands for
// HKEY_CURRENT_USER\Software\Classes (RegOverridePredefKey): every entry
// written or removed through HKEY_CLASSES_ROOT, by the module itself and by
// the platform on its behalf (type library, component categories), is the
// user's, and the machine's registration is neither read nor touched. The
// override is process-wide, as registration by regsvr32 or an installer is.
class ScopedUserClassesRoot {
public:
    ScopedUserClassesRoot();
    ~ScopedUserClassesRoot();
    ScopedUserClassesRoot(const ScopedUserClassesRoot&) = delete;
    ScopedUserClassesRoot& operator=(const ScopedUserClassesRoot&) = delete;

    // Whether HKEY_CLASSES_ROOT now stands for the user's classes.
    bool active() const { return active_; }

private:
    UniqueRegKey userClasses_;
    bool active_ = false;
};
