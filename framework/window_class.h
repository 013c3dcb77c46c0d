// A window class of the module, registered while any window of it may live:
// a DLL's classes are not unregistered for it when it unloads, and a class
// left behind would point at code that is gone.
#pragma once

#include <windows.h>

#include <mutex>
#include <utility>

class ModuleWindowClass {
public:
    // A hold on the class; the last one to go unregisters it. Empty when the
    // class could not be registered (GetLastError tells why).
    class Use {
    public:
        Use() = default;
        explicit Use(ModuleWindowClass* windowClass) : windowClass_(windowClass) {}
        ~Use() { reset(); }
        Use(Use&& other) noexcept : windowClass_(std::exchange(other.windowClass_, nullptr)) {}
        Use& operator=(Use&& other) noexcept {
            if (this != &other) {
                reset();
                windowClass_ = std::exchange(other.windowClass_, nullptr);
            }
            return *this;
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        explicit operator bool() const { return windowClass_ != nullptr; }
        void reset() {
            if (windowClass_) std::exchange(windowClass_, nullptr)->Release();
        }

    private:
        ModuleWindowClass* windowClass_ = nullptr;
    };

    // `cursor`: a system cursor's id (IDC_ARROW), or null for none.
    ModuleWindowClass(const wchar_t* name, UINT style = 0, const wchar_t* cursor = nullptr)
        : name_(name), style_(style), cursor_(cursor) {}
    ModuleWindowClass(const ModuleWindowClass&) = delete;
    ModuleWindowClass& operator=(const ModuleWindowClass&) = delete;

    const wchar_t* Name() const { return name_; }

    // Registers the class, with `procedure`, unless it is registered already.
    Use Acquire(WNDPROC procedure);

private:
    void Release();

    const wchar_t* const name_;
    const UINT style_;
    const wchar_t* const cursor_;
    std::mutex mutex_;
    unsigned users_ = 0;
};
