#include "framework/user_classes_root.h"

ScopedUserClassesRoot::ScopedUserClassesRoot() {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, userClasses_.put(), nullptr) != ERROR_SUCCESS) {
        userClasses_.reset();
        return;
    }
    active_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses_.get()) == ERROR_SUCCESS;
}

ScopedUserClassesRoot::~ScopedUserClassesRoot() {
    if (active_) ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}
