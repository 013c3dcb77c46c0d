// An EXCEPINFO that a callee fills (IDispatch::Invoke, IActiveScriptError,
// IActiveScriptParse): the caller owns the three strings in it, and they are
// freed here, once, whatever the call's outcome.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

class UniqueExcepInfo {
public:
    UniqueExcepInfo() = default;
    ~UniqueExcepInfo() { reset(); }
    UniqueExcepInfo(const UniqueExcepInfo&) = delete;
    UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;

    EXCEPINFO* get() { return &info_; }
    const EXCEPINFO* operator->() const { return &info_; }
    EXCEPINFO* operator->() { return &info_; }

    // For out-parameters: frees what is held and hands out a cleared record.
    EXCEPINFO* put() {
        reset();
        return &info_;
    }

    // The description, or the empty text when there is none.
    const wchar_t* Description() const { return info_.bstrDescription ? info_.bstrDescription : L""; }

    void reset() {
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
        info_ = EXCEPINFO{};
    }

private:
    EXCEPINFO info_{};
};
