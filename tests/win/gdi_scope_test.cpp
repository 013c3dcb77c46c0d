// The DC and GDI wrappers: a selected object is deselected at the end of its
// scope, so the caller's object can then be freed, and freed it is.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32/selected_object.h"
#include "win32/unique_gdi_object.h"
#include "win32/window_dc.h"

namespace {

UniqueFont MakeFont() {
    return UniqueFont(
        ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
}

TEST(SelectedObject, SelectsForItsScopeAndPutsThePreviousObjectBack) {
    const WindowDC screen(nullptr);
    ASSERT_TRUE(screen);
    const UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    ASSERT_TRUE(memory);
    const HGDIOBJ before = ::GetCurrentObject(memory.get(), OBJ_FONT);
    const UniqueFont font = MakeFont();
    ASSERT_TRUE(font);
    {
        const SelectedObject selected(memory.get(), font.get());
        EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_FONT), font.get());
    }
    EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_FONT), before);
}

TEST(SelectedObject, SelectsNothingForANullObject) {
    const UniqueMemoryDC memory(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(memory);
    const HGDIOBJ before = ::GetCurrentObject(memory.get(), OBJ_FONT);
    { const SelectedObject selected(memory.get(), nullptr); }
    EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_FONT), before);
}

TEST(UniqueGdiObject, FreesTheObject) {
    UniqueFont font = MakeFont();
    const HFONT handle = font.get();
    ASSERT_EQ(::GetObjectType(handle), static_cast<DWORD>(OBJ_FONT));
    font.reset();
    EXPECT_EQ(::GetObjectType(handle), 0u) << "the font is gone";
}

}  // namespace
