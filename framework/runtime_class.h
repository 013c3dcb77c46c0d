// What the framework knows of a creatable class at run time: its name, its
// base, and a creation function that class factories call.
#pragma once

#include <new>

class CCmdTarget;

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    // A new object holding its creation reference, or null when it cannot
    // be made (no memory, or its construction failed).
    CCmdTarget* (*m_pfnCreateObject)();

    CCmdTarget* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

// The creation function of a class whose default constructor makes an object.
template <class Object>
CCmdTarget* CreateObjectOf() noexcept {
    try {
        return new Object();
    } catch (...) {
        return nullptr;
    }
}
