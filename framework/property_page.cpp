#include "framework/property_page.h"

#include <cstring>
#include <string>

#include "win32/entry_barrier.h"
#include "win32/selected_object.h"
#include "win32/task_memory.h"
#include "win32/unique_gdi_object.h"
#include "win32/window_dc.h"
#include "framework/module_state.h"
#include "framework/resource_string.h"

using Microsoft::WRL::ComPtr;

namespace {

// The start of a dialog template: the classic one or the extended one.
struct DialogTemplateSize {
    short cx = 0;
    short cy = 0;
};

DialogTemplateSize TemplateSize(HINSTANCE module, UINT id) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const unsigned char*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!bytes || ::SizeofResource(module, found) < 26) return {};
    WORD word[2];
    std::memcpy(word, bytes, sizeof word);
    const bool extended = word[0] == 1 && word[1] == 0xFFFF;  // DLGTEMPLATEEX
    // Offsets of cx and cy in DLGTEMPLATEEX and DLGTEMPLATE.
    const size_t offset = extended ? 22 : 14;
    DialogTemplateSize size;
    std::memcpy(&size.cx, bytes + offset, sizeof size.cx);
    std::memcpy(&size.cy, bytes + offset + 2, sizeof size.cy);
    return size;
}

// The page's size in pixels: its template's dialog units through the base
// units of the template's font, as the dialog manager will lay it out.
SIZE PageSizeInPixels(HINSTANCE module, UINT id) {
    const DialogTemplateSize units = TemplateSize(module, id);
    TEXTMETRICW metrics{};
    SIZE alphabet{};
    {
        const WindowDC screen(nullptr);
        const int height = -::MulDiv(8, ::GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
        const UniqueFont font(::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                                            0, L"MS Sans Serif"));
        const SelectedObject selected(screen.get(), font.get());
        ::GetTextMetricsW(screen.get(), &metrics);
        static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        ::GetTextExtentPoint32W(screen.get(), kLetters, 52, &alphabet);
    }
    const int baseX = alphabet.cx > 0 ? (alphabet.cx / 26 + 1) / 2 : 6;
    const int baseY = metrics.tmHeight > 0 ? metrics.tmHeight : 13;
    return SIZE{::MulDiv(units.cx, baseX, 4), ::MulDiv(units.cy, baseY, 8)};
}

}  // namespace

void DDP_PostProcessing(CDataExchange*) {}

COlePropertyPage::COlePropertyPage(UINT dialogId, UINT captionId) : m_dialogId(dialogId), m_captionId(captionId) {}

COlePropertyPage::~COlePropertyPage() = default;

std::span<const InterfaceEntry> COlePropertyPage::GetInterfaceTable() const {
    static constexpr InterfaceEntry table[] = {InterfaceOf<COlePropertyPage, IPropertyPage>(IID_IPropertyPage)};
    return table;
}

void COlePropertyPage::DoDataExchange(CDataExchange* exchange) {
    DDP_PostProcessing(exchange);
}

INT_PTR CALLBACK COlePropertyPage::DialogProc(HWND, UINT message, WPARAM, LPARAM) {
    // The frame draws the page's background; the page has no behaviour of
    // its own beyond its controls.
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

STDMETHODIMP COlePropertyPage::SetPageSite(IPropertyPageSite* site) {
    return ComEntry([&]() -> HRESULT {
        if (site && m_site) return E_UNEXPECTED;
        m_site = site;
        return S_OK;
    });
}

STDMETHODIMP COlePropertyPage::Activate(HWND parent, LPCRECT area, BOOL) {
    return ComEntry([&]() -> HRESULT {
        if (!area) return E_POINTER;
        if (m_dialog) return E_UNEXPECTED;
        UniqueWindow dialog(
            ::CreateDialogParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_dialogId), parent, &DialogProc, 0));
        if (!dialog) return E_OUTOFMEMORY;
        ::MoveWindow(dialog.get(), area->left, area->top, area->right - area->left, area->bottom - area->top, FALSE);
        m_dialog = std::move(dialog);
        CDataExchange exchange{false};
        DoDataExchange(&exchange);
        return S_OK;
    });
}

STDMETHODIMP COlePropertyPage::Deactivate() {
    return ComEntry([&]() -> HRESULT {
        m_dialog.reset();
        return S_OK;
    });
}

STDMETHODIMP COlePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    return ComEntry([&]() -> HRESULT {
        if (!info) return E_POINTER;
        const ULONG cb = info->cb;
        *info = PROPPAGEINFO{};
        info->cb = cb;
        info->size = PageSizeInPixels(AfxGetInstanceHandle(), m_dialogId);
        info->pszTitle = CopyToTaskMemory(LoadResourceString(AfxGetInstanceHandle(), m_captionId).value_or(L""));
        return info->pszTitle ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP COlePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    return ComEntry([&]() -> HRESULT {
        if (count && !objects) return E_POINTER;
        m_objects.assign(objects, objects + count);
        return S_OK;
    });
}

STDMETHODIMP COlePropertyPage::Show(UINT command) {
    if (!m_dialog) return E_UNEXPECTED;
    ::ShowWindow(m_dialog.get(), static_cast<int>(command));
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Move(LPCRECT area) {
    if (!area) return E_POINTER;
    if (!m_dialog) return E_UNEXPECTED;
    ::MoveWindow(m_dialog.get(), area->left, area->top, area->right - area->left, area->bottom - area->top, TRUE);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::IsPageDirty() {
    return S_FALSE;  // nothing on the page can change
}

STDMETHODIMP COlePropertyPage::Apply() {
    return ComEntry([&]() -> HRESULT {
        CDataExchange exchange{true};
        DoDataExchange(&exchange);
        return S_OK;
    });
}

STDMETHODIMP COlePropertyPage::Help(LPCOLESTR) {
    return E_NOTIMPL;
}

STDMETHODIMP COlePropertyPage::TranslateAccelerator(MSG* message) {
    if (!message) return E_POINTER;
    return m_dialog && ::IsDialogMessageW(m_dialog.get(), message) ? S_OK : S_FALSE;
}
