// The property page as a frame drives it: its title and size, its dialog
// shown as a child of the frame's window, the objects it is given back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "tests/win/ocx_client.h"
#include "tests/win/window_capture.h"

namespace veldorinctl::test {
namespace {

struct OcxPropertyPage : ::testing::Test {
    void SetUp() override {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(ocx.GetClassObject(CLSID_VELDORINCTLPropPage, IID_IClassFactory,
                                     reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(page.GetAddressOf())),
                  S_OK);
        frame = ::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 200, nullptr,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(frame, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(page.Reset(), 0u) << "the last release frees the page";
        ::DestroyWindow(frame);
    }

    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IPropertyPage> page;
    HWND frame = nullptr;
};

TEST_F(OcxPropertyPage, TellsItsTitleAndSize) {
    PROPPAGEINFO info{};
    info.cb = sizeof info;
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"General");
    // 250 by 62 dialog units in an 8-point font: wider than tall, and
    // neither a handful of pixels nor a screenful.
    EXPECT_GT(info.size.cx, 250);
    EXPECT_LT(info.size.cx, 1000);
    EXPECT_GT(info.size.cy, 62);
    EXPECT_LT(info.size.cy, info.size.cx);
    ::CoTaskMemFree(info.pszTitle);
    ::CoTaskMemFree(info.pszDocString);
    ::CoTaskMemFree(info.pszHelpFile);
}

TEST_F(OcxPropertyPage, ShowsItsDialogInTheFrameAndTakesItAway) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    IUnknown* objects[] = {control.Get()};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);

    const RECT area{10, 10, 390, 150};
    ASSERT_EQ(page->Activate(frame, &area, FALSE), S_OK);
    EXPECT_EQ(page->Activate(frame, &area, FALSE), E_UNEXPECTED) << "active once";
    ASSERT_EQ(page->Show(SW_SHOW), S_OK);
    std::wstring text;
    HWND dialog = nullptr;
    for (HWND child : DescendantsOf(frame)) {
        const std::wstring childText = TextOf(child);
        if (std::wcsncmp(childText.c_str(), L"TODO: Place controls", 20) == 0) {
            text = childText;
            dialog = ::GetParent(child);
        }
    }
    EXPECT_EQ(text, L"TODO: Place controls to manipulate properties of VELDORINCTL Control on this dialog.");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::GetParent(dialog), frame);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);

    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED) << "nothing to show once deactivated";

    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(control.Reset(), 0u) << "the page gave the control back";
}

}  // namespace
}  // namespace veldorinctl::test
