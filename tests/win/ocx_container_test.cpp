// The control in a container's window on the display: in-place activation
// and its child window that paints white, the about box, and the
// properties verb with its frame and the "General" page. Pictures of the
// about box and the property frame go to the screenshots folder.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/win/ocx_client.h"
#include "tests/win/ole_fakes.h"
#include "tests/win/window_capture.h"

namespace veldorinctl::test {
namespace {

constexpr wchar_t kContainerClass[] = L"OcxTestContainer";
constexpr RECT kControlArea{20, 30, 120, 80};

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// A top-level window with a black background, as the container's.
class ContainerWindow {
public:
    ContainerWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kContainerClass;
        ::RegisterClassExW(&windowClass);
        window_ = ::CreateWindowExW(0, kContainerClass, L"Container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 320,
                                    240, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(window_, nullptr);
        ::UpdateWindow(window_);
    }
    ~ContainerWindow() { ::DestroyWindow(window_); }
    ContainerWindow(const ContainerWindow&) = delete;
    ContainerWindow& operator=(const ContainerWindow&) = delete;
    HWND Get() const { return window_; }

private:
    HWND window_ = nullptr;
};

void PumpFor(int milliseconds) {
    const DWORD until = ::GetTickCount() + milliseconds;
    PumpUntil([&] { return ::GetTickCount() >= until; }, milliseconds + 1000);
}

struct OcxContainer : ::testing::Test {
    void SetUp() override {
        control = CreateControl(ocx);
        ASSERT_TRUE(control);
        ASSERT_HRESULT_SUCCEEDED(control.As(&object));
        ASSERT_EQ(object->SetClientSite(&site), S_OK);
    }

    void TearDown() override {
        if (object) {
            EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
            EXPECT_EQ(object->SetClientSite(nullptr), S_OK);
        }
        object.Reset();
        EXPECT_EQ(control.Reset(), 0u) << "the last release frees the control";
        EXPECT_EQ(site.References(), 1u) << "the control gave the site back";
    }

    HWND ControlWindow() {
        ComPtr<IOleInPlaceObject> inPlace;
        HWND window = nullptr;
        if (SUCCEEDED(control.As(&inPlace))) inPlace->GetWindow(&window);
        return window;
    }

    Apartment apartment;
    LoadedOcx ocx;
    ContainerWindow container;
    FakeClientSite site{container.Get(), kControlArea};
    ComPtr<IDispatch> control;
    ComPtr<IOleObject> object;
};

TEST_F(OcxContainer, InPlaceActivationMakesAChildWindowThatPaintsWhite) {
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    const std::vector<std::string> expected{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindow", "GetWindowContext"};
    ASSERT_GE(site.Calls().size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), site.Calls().begin()));

    HWND window = ControlWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::GetParent(window), container.Get());
    EXPECT_TRUE(::IsWindowVisible(window));
    RECT placed{};
    ::GetWindowRect(window, &placed);
    ::MapWindowPoints(nullptr, container.Get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, kControlArea.left);
    EXPECT_EQ(placed.top, kControlArea.top);
    EXPECT_EQ(placed.right, kControlArea.right);
    EXPECT_EQ(placed.bottom, kControlArea.bottom);

    ::RedrawWindow(container.Get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(300);
    // The control's area and a margin of the container's around it.
    RECT around = kControlArea;
    ::InflateRect(&around, 5, 5);
    ::MapWindowPoints(container.Get(), nullptr, reinterpret_cast<POINT*>(&around), 2);
    const std::vector<DWORD> pixels = CapturePixels(around);
    const int width = around.right - around.left;
    int wrong = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int x = static_cast<int>(i % width) - 5;
        const int y = static_cast<int>(i / width) - 5;
        const bool inside = x >= 0 && y >= 0 && x < kControlArea.right - kControlArea.left &&
                            y < kControlArea.bottom - kControlArea.top;
        if (pixels[i] != (inside ? 0xFFFFFFu : 0u)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "white inside the control's window, the container's black around it";
    SaveScreenshot(container.Get(), L"in_place_control.bmp");

    const RECT moved{40, 40, 90, 60};
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_HRESULT_SUCCEEDED(control.As(&inPlace));
    EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 50);
    EXPECT_EQ(client.bottom, 20);

    EXPECT_EQ(object->DoVerb(OLEIVERB_HIDE, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(site.Count("OnUIActivate"), 1);
    EXPECT_EQ(site.Count("OnInPlaceActivate"), 1) << "already active in place";

    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(site.Count("OnUIDeactivate"), 1);
    EXPECT_EQ(site.Count("OnInPlaceDeactivate"), 1);
    EXPECT_FALSE(::IsWindow(window)) << "the window goes with in-place activity";
    HWND none = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlace->GetWindow(&none), E_FAIL);
    EXPECT_EQ(none, nullptr);
}

TEST_F(OcxContainer, ReleasingAnActiveControlDestroysItsWindow) {
    ASSERT_EQ(object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    HWND window = ControlWindow();
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(site.Count("OnInPlaceDeactivate"), 1);
}

TEST_F(OcxContainer, AboutBoxShowsItsTextsAndClosesOnOk) {
    std::wstring caption, okText, screenshot;
    std::vector<std::wstring> texts;
    std::thread user([&] {
        HWND box = WaitForTopLevelWindow([](HWND w) { return TextOf(w) == L"About VELDORINCTL Control"; });
        if (!box) return;
        PumpFor(0);
        caption = TextOf(box);
        for (HWND child : DescendantsOf(box)) texts.push_back(TextOf(child));
        HWND ok = ::GetDlgItem(box, IDOK);
        okText = TextOf(ok);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it paint
        screenshot = SaveScreenshot(box, L"about_box.bmp");
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    });
    auto outcome = Call(control.Get(), DISPID_ABOUTBOX);
    user.join();
    EXPECT_EQ(outcome->hr, S_OK);
    EXPECT_EQ(caption, L"About VELDORINCTL Control");
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"VELDORINCTL Control, Version 1.0"), texts.end());
    EXPECT_EQ(okText, L"OK");
    EXPECT_FALSE(screenshot.empty());
    EXPECT_EQ(::FindWindowW(nullptr, L"About VELDORINCTL Control"), nullptr) << "closed by OK";
}

TEST_F(OcxContainer, PropertiesVerbLetsTheSiteShowItsFrame) {
    site.ShowPropertyFrameWith(S_OK);
    EXPECT_EQ(object->DoVerb(OLEIVERB_PROPERTIES, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    EXPECT_EQ(object->DoVerb(0, nullptr, &site, 0, container.Get(), &kControlArea), S_OK);
    EXPECT_EQ(site.Count("ShowPropertyFrame"), 2) << "the site's frame, both times; no frame of our own";
}

TEST_F(OcxContainer, PropertiesVerbOpensTheFrameWithTheGeneralPage) {
    // The frame creates the page through the registry.
    ASSERT_EQ(ocx.RegisterServer(), S_OK);
    struct Unregister {
        const LoadedOcx& ocx;
        ~Unregister() { EXPECT_EQ(ocx.UnregisterServer(), S_OK); }
    } unregister{ocx};
    std::wstring caption, tab, pageText, screenshot;
    std::thread user([&] {
        HWND frame = WaitForTopLevelWindow([](HWND w) {
            return w != nullptr && Contains(TextOf(w), L"VELDORINCTL Control") && ClassOf(w) == L"#32770";
        });
        if (!frame) {
            // Not the frame we expect: close whatever dialog came, so that
            // the test fails instead of waiting forever.
            frame = WaitForTopLevelWindow([](HWND w) { return ClassOf(w) == L"#32770"; }, 2000);
            if (frame) caption = L"unexpected: " + TextOf(frame);
            if (frame) ::PostMessageW(frame, WM_CLOSE, 0, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let it lay out and paint
        caption = TextOf(frame);
        for (HWND child : DescendantsOf(frame)) {
            if (ClassOf(child) == WC_TABCONTROLW) {
                wchar_t text[64] = {};
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text;
                item.cchTextMax = 64;
                if (::SendMessageW(child, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) tab = text;
            }
            if (Contains(TextOf(child), L"TODO: Place controls")) pageText = TextOf(child);
        }
        screenshot = SaveScreenshot(frame, L"property_frame.bmp");
        ::PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(frame, IDCANCEL)));
    });
    const HRESULT hr = object->DoVerb(OLEIVERB_PROPERTIES, nullptr, &site, 0, container.Get(), &kControlArea);
    user.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(site.Count("ShowPropertyFrame"), 1) << "the site is asked first";
    EXPECT_TRUE(Contains(caption, L"VELDORINCTL Control")) << "caption: " << testing::PrintToString(caption);
    EXPECT_EQ(tab, L"General");
    EXPECT_EQ(pageText, L"TODO: Place controls to manipulate properties of VELDORINCTL Control on this dialog.");
    EXPECT_FALSE(screenshot.empty());
}

}  // namespace
}  // namespace veldorinctl::test
