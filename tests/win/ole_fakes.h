// Fakes of a container's side for the OLE tests: a property bag that keeps
// what it is given, a client site that records the calls it gets, and an
// advise sink. Each counts its references for real, so a test can check
// that the control gives back every one it took.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <olectl.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace veldorinctl::test {

// On the test's stack: the test holds the first reference.
template <class... Interfaces>
class CountedFake : public Interfaces... {
public:
    virtual ~CountedFake() = default;
    ULONG References() const { return references_; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return --references_; }

private:
    std::atomic<ULONG> references_{1};
};

class FakePropertyBag final : public CountedFake<IPropertyBag> {
public:
    // Values a load will find; Read coerces them to the type asked for.
    void Put(const std::wstring& name, long value);
    void Put(const std::wstring& name, const wchar_t* text);

    // Names in the order they were written.
    const std::vector<std::wstring>& Written() const { return written_; }
    // The value under `name` as an integer, or nullopt-like -1 flag.
    bool Has(const std::wstring& name) const { return values_.count(name) != 0; }
    long LongValue(const std::wstring& name) const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) override;
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override;

private:
    std::map<std::wstring, UniqueVariant> values_;
    std::vector<std::wstring> written_;
};

// What a client site was asked, in order.
class FakeClientSite final : public CountedFake<IOleClientSite, IOleInPlaceSite, IOleControlSite> {
public:
    explicit FakeClientSite(HWND window, RECT position) : window_(window), position_(position) {}

    // What IOleControlSite::ShowPropertyFrame answers.
    void ShowPropertyFrameWith(HRESULT hr) { showPropertyFrame_ = hr; }
    const std::vector<std::string>& Calls() const { return calls_; }
    int Count(const std::string& call) const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return Note("SaveObject", E_NOTIMPL); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return Note("ShowObject", S_OK); }
    STDMETHODIMP OnShowWindow(BOOL) override { return Note("OnShowWindow", S_OK); }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return Note("CanInPlaceActivate", S_OK); }
    STDMETHODIMP OnInPlaceActivate() override { return Note("OnInPlaceActivate", S_OK); }
    STDMETHODIMP OnUIActivate() override { return Note("OnUIActivate", S_OK); }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return Note("OnUIDeactivate", S_OK); }
    STDMETHODIMP OnInPlaceDeactivate() override { return Note("OnInPlaceDeactivate", S_OK); }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** control) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return Note("ShowPropertyFrame", showPropertyFrame_); }

private:
    HRESULT Note(const char* call, HRESULT hr) {
        calls_.emplace_back(call);
        return hr;
    }

    HWND window_;
    RECT position_;
    HRESULT showPropertyFrame_ = E_NOTIMPL;
    std::vector<std::string> calls_;
};

class FakeAdviseSink final : public CountedFake<IAdviseSink> {
public:
    int Closes() const { return closes_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override { ++closes_; }

private:
    int closes_ = 0;
};

}  // namespace veldorinctl::test
