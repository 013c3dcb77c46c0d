// What the OCX tests need to act as a container: the OCX loaded by path
// with its exports, COM on the test's thread, a control created through the
// class factory, calls through IDispatch, and event sinks that record what
// reaches them and really count their references.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/unique_bstr.h"
#include "win32/unique_variant.h"
#include "resources/guids.h"
#include "win32/unique_excepinfo.h"

namespace veldorinctl::test {

using Microsoft::WRL::ComPtr;

// A file in the folder of the test program (where the build puts the OCX).
std::wstring BesideTestProgram(const wchar_t* name);

// The OCX, loaded by path for the test's life.
class LoadedOcx {
public:
    LoadedOcx();
    ~LoadedOcx();
    LoadedOcx(const LoadedOcx&) = delete;
    LoadedOcx& operator=(const LoadedOcx&) = delete;

    HMODULE Module() const { return module_; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    ComPtr<IClassFactory> ControlFactory() const;

private:
    template <typename Function>
    Function Export(const char* name) const;
    HMODULE module_ = nullptr;
};

// A single-threaded apartment on the test's thread.
class Apartment {
public:
    Apartment() { EXPECT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    ~Apartment() { ::CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

// A new control from the OCX's factory, initialised as new unless asked not to.
ComPtr<IDispatch> CreateControl(const LoadedOcx& ocx, bool initialise = true);

// Arguments, in the order a script writes them.
UniqueVariant Long(long value);
UniqueVariant Text(const wchar_t* text);  // null: a null BSTR
UniqueVariant Null();                     // VT_NULL

// One IDispatch::Invoke as a method call with positional arguments.
struct Outcome {
    HRESULT hr = E_FAIL;
    UniqueVariant result;
    UniqueExcepInfo exception;
    UINT argError = ~0u;
    std::wstring Text() const;  // the result as a string ("" for a null BSTR)
    bool IsNullString() const { return result->vt == VT_BSTR && result->bstrVal == nullptr; }
};
std::unique_ptr<Outcome> Call(IDispatch* control, DISPID dispid, std::vector<UniqueVariant*> arguments = {});

DISPID IdOf(IDispatch* control, const wchar_t* name, LCID lcid = 0);

// Pumps this thread's messages until `done` or the time is up.
template <typename Condition>
bool PumpUntil(Condition done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (done()) break;
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

// What a sink received.
struct SinkCall {
    std::string sink;
    DISPID dispid;
    std::wstring text;
    bool textWasNull;
    UINT argumentCount;
    WORD flags;
    bool resultRequested;
    DWORD thread;
};

// The calls of every sink of a test, in order. Sinks should only ever be
// called on the control's thread; the lock keeps a test that catches them
// elsewhere well-defined.
class SinkLog {
public:
    void Add(SinkCall call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<SinkCall> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<SinkCall> calls_;
};

// An event sink on the stack of a test. Its references are counted for real
// and the test checks that the control gives back every one it took.
class EventSink : public IDispatch {
public:
    EventSink(std::string name, SinkLog& log) : name_(std::move(name)), log_(log) {}
    virtual ~EventSink() = default;

    ULONG References() const { return references_; }
    // What Invoke returns (it records the call either way).
    void FailWith(HRESULT hr) { result_ = hr; }
    // Whether QueryInterface answers the event dispinterface's id (a sink
    // that offers only IDispatch must be accepted too).
    void AnswerEventInterface(bool answer) { answerEventInterface_ = answer; }
    // Whether it answers IDispatch at all.
    void AnswerDispatch(bool answer) { answerDispatch_ = answer; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return --references_; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT*) override;

private:
    std::string name_;
    SinkLog& log_;
    std::atomic<ULONG> references_{1};  // the test's own
    HRESULT result_ = S_OK;
    bool answerEventInterface_ = true;
    bool answerDispatch_ = true;
};

// Connects `sink` to the control's event connection point; the cookie.
DWORD Connect(IDispatch* control, IUnknown* sink);
void Disconnect(IDispatch* control, DWORD cookie);

}  // namespace veldorinctl::test
