// The control as an OLE object a container embeds, without a window:
// drawing into a memory bitmap, what it says about itself, its verbs, its
// property pages, advise sinks, and the module's server locks.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/win/ocx_client.h"
#include "tests/win/ole_fakes.h"

namespace veldorinctl::test {
namespace {

constexpr COLORREF kBackground = RGB(0x12, 0x34, 0x56);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

// A 32-bit memory bitmap filled with a colour that is not white.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        previous_ = ::SelectObject(dc_, bitmap_);
        HBRUSH brush = ::CreateSolidBrush(kBackground);
        const RECT all{0, 0, width, height};
        ::FillRect(dc_, &all, brush);
        ::DeleteObject(brush);
    }
    ~MemoryCanvas() {
        ::SelectObject(dc_, previous_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const {
        ::GdiFlush();
        const DWORD pixel = bits_[y * width_ + x];  // 0x00RRGGBB
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};

struct OcxOleObject : ::testing::Test {
    void SetUp() override {
        control = CreateControl(ocx);
        ASSERT_TRUE(control);
        ASSERT_HRESULT_SUCCEEDED(control.As(&object));
    }

    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IDispatch> control;
    ComPtr<IOleObject> object;
};

TEST_F(OcxOleObject, DrawPaintsTheBoundsWhiteAndNothingOutside) {
    ComPtr<IViewObject2> view;
    ASSERT_HRESULT_SUCCEEDED(control.As(&view));
    const RECTL cases[] = {{0, 0, 80, 60}, {10, 5, 30, 25}, {79, 59, 80, 60}, {0, 20, 80, 21}, {33, 0, 34, 60}};
    for (const RECTL& bounds : cases) {
        SCOPED_TRACE(testing::Message() << bounds.left << "," << bounds.top << "-" << bounds.right << ","
                                        << bounds.bottom);
        MemoryCanvas canvas(80, 60);
        ASSERT_EQ(
            view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds, nullptr, nullptr, 0),
            S_OK);
        int wrong = 0;
        for (int y = 0; y < canvas.Height(); ++y) {
            for (int x = 0; x < canvas.Width(); ++x) {
                const bool inside = x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom;
                if (canvas.At(x, y) != (inside ? kWhite : kBackground)) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(OcxOleObject, DrawRefusesOtherAspectsAndMissingBounds) {
    ComPtr<IViewObject2> view;
    ASSERT_HRESULT_SUCCEEDED(control.As(&view));
    MemoryCanvas canvas(8, 8);
    const RECTL bounds{0, 0, 8, 8};
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), nullptr, nullptr, nullptr, 0),
              E_INVALIDARG);
    EXPECT_EQ(canvas.At(3, 3), kBackground) << "nothing drawn";

    SIZEL viewExtent{}, objectExtent{};
    EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &viewExtent), S_OK);
    EXPECT_EQ(object->GetExtent(DVASPECT_CONTENT, &objectExtent), S_OK);
    EXPECT_EQ(viewExtent.cx, objectExtent.cx);
    EXPECT_EQ(viewExtent.cy, objectExtent.cy);
}

TEST_F(OcxOleObject, SaysWhatItIs) {
    DWORD status = 0;
    EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 0x20191u);
    LPOLESTR type = nullptr;
    ASSERT_EQ(object->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
    EXPECT_STREQ(type, L"VELDORINCTL Control");
    ::CoTaskMemFree(type);
    CLSID clsid{};
    EXPECT_EQ(object->GetUserClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VELDORINCTL);
    ComPtr<IOleControl> oleControl;
    ASSERT_HRESULT_SUCCEEDED(control.As(&oleControl));
    CONTROLINFO info{};
    EXPECT_EQ(oleControl->GetControlInfo(&info), S_OK);
    EXPECT_EQ(info.cAccel, 0);
}

TEST_F(OcxOleObject, EnumeratesThePropertiesVerbOnly) {
    ComPtr<IEnumOLEVERB> verbs;
    ASSERT_EQ(object->EnumVerbs(verbs.GetAddressOf()), S_OK);
    OLEVERB verb[2]{};
    ULONG fetched = 99;
    ASSERT_EQ(verbs->Next(2, verb, &fetched), S_FALSE) << "one verb where two were asked for";
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(verb[0].lVerb, 0);
    EXPECT_STREQ(verb[0].lpszVerbName, L"&Properties...");
    EXPECT_EQ(verb[0].grfAttribs, static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU));
    ::CoTaskMemFree(verb[0].lpszVerbName);
    EXPECT_EQ(verbs->Next(1, verb, nullptr), S_FALSE) << "the end";

    // A clone starts where the original is; Reset and Skip move it.
    EXPECT_EQ(verbs->Reset(), S_OK);
    ComPtr<IEnumOLEVERB> clone;
    ASSERT_EQ(verbs->Clone(clone.GetAddressOf()), S_OK);
    EXPECT_EQ(verbs->Skip(1), S_OK);
    EXPECT_EQ(verbs->Skip(1), S_FALSE);
    ASSERT_EQ(clone->Next(1, verb, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(verb[0].lVerb, 0);
    ::CoTaskMemFree(verb[0].lpszVerbName);
    EXPECT_EQ(clone.Reset(), 0u);
    EXPECT_EQ(verbs.Reset(), 0u);
}

TEST_F(OcxOleObject, PagesAreTheSameSingleClassEveryTime) {
    ComPtr<ISpecifyPropertyPages> specify;
    ASSERT_HRESULT_SUCCEEDED(control.As(&specify));
    for (int i = 0; i < 3; ++i) {
        CAUUID pages{99, nullptr};
        ASSERT_EQ(specify->GetPages(&pages), S_OK);
        ASSERT_EQ(pages.cElems, 1u);
        EXPECT_EQ(pages.pElems[0], CLSID_VELDORINCTLPropPage);
        ::CoTaskMemFree(pages.pElems);
    }
    // From another control of the module too.
    ComPtr<IDispatch> other = CreateControl(ocx);
    ComPtr<ISpecifyPropertyPages> otherSpecify;
    ASSERT_HRESULT_SUCCEEDED(other.As(&otherSpecify));
    CAUUID pages{};
    ASSERT_EQ(otherSpecify->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 1u);
    EXPECT_EQ(pages.pElems[0], CLSID_VELDORINCTLPropPage);
    ::CoTaskMemFree(pages.pElems);
}

TEST_F(OcxOleObject, AdviseSinksHearCloseAndAreGivenBack) {
    FakeAdviseSink sink;
    DWORD connection = 0;
    ASSERT_EQ(object->Advise(&sink, &connection), S_OK);
    EXPECT_NE(connection, 0u);
    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(sink.Closes(), 1);
    EXPECT_EQ(object->Unadvise(connection), S_OK);
    EXPECT_EQ(sink.References(), 1u);

    FakeAdviseSink view;
    ComPtr<IViewObject2> viewObject;
    ASSERT_HRESULT_SUCCEEDED(control.As(&viewObject));
    ASSERT_EQ(viewObject->SetAdvise(DVASPECT_CONTENT, 0, &view), S_OK);
    DWORD aspects = 0;
    ComPtr<IAdviseSink> held;
    ASSERT_EQ(viewObject->GetAdvise(&aspects, nullptr, held.GetAddressOf()), S_OK);
    EXPECT_EQ(aspects, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(held.Get(), static_cast<IAdviseSink*>(&view));
    held.Reset();
    viewObject.Reset();
    control.Reset();
    EXPECT_EQ(object.Reset(), 0u);
    EXPECT_EQ(view.References(), 1u) << "the control's last release gives the view sink back";
}

TEST_F(OcxOleObject, ClientSiteIsKeptUntilCleared) {
    FakeClientSite site(nullptr, RECT{});
    ASSERT_EQ(object->SetClientSite(&site), S_OK);
    ComPtr<IOleClientSite> got;
    ASSERT_EQ(object->GetClientSite(got.GetAddressOf()), S_OK);
    EXPECT_EQ(got.Get(), static_cast<IOleClientSite*>(&site));
    got.Reset();
    ASSERT_EQ(object->SetClientSite(nullptr), S_OK);
    EXPECT_EQ(site.References(), 1u);
    control.Reset();
    EXPECT_EQ(object.Reset(), 0u) << "the last release frees the control";
}

TEST(OcxServerLocks, AnUnmatchedUnlockDoesNotHideLiveObjects) {
    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IClassFactory> factory = ocx.ControlFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
    ComPtr<IDispatch> control = CreateControl(ocx);
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE) << "a live control keeps the module, unmatched unlocks or not";
    control.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace veldorinctl::test
