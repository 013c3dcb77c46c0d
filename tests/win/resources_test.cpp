// The module's resources as Windows itself finds them: each one present in
// exactly its language, the strings, the two dialog templates field by field,
// the icon's two images, the toolbox bitmap, the version block and the
// manifest's settings as an activation context reports them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "resources/resource.h"
#include "tests/win/resource_module.h"

namespace {

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct ModuleDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

// CreateActCtxW reports failure as INVALID_HANDLE_VALUE, not null.
class ActivationContext {
public:
    explicit ActivationContext(const ACTCTXW& request) : handle_(CreateActCtxW(&request)) {}
    ActivationContext(const ActivationContext&) = delete;
    ActivationContext& operator=(const ActivationContext&) = delete;
    ~ActivationContext() {
        if (valid()) ReleaseActCtx(handle_);
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::wstring IdText(LPCWSTR id) {
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : id;
}

using Located = std::tuple<std::wstring, std::wstring, WORD>;  // type, name, language

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found) {
    reinterpret_cast<std::set<Located>*>(found)->emplace(IdText(type), IdText(name), language);
    return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
    return EnumResourceLanguagesW(module, type, name, AddLanguage, found);
}
BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR found) {
    return EnumResourceNamesW(module, type, AddName, found);
}

std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR type, UINT id, WORD language) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (!found) return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    return std::vector<BYTE>(data, data + SizeofResource(module, found));
}

template <typename T>
T ReadAt(const std::vector<BYTE>& bytes, size_t at) {
    T value{};
    if (at + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

// One control of a DIALOG template; class and title as text, ordinals as "#n".
struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::wstring windowClass, title;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& i, std::ostream* out) {
    *out << "{style 0x" << std::hex << i.style << std::dec << ", " << i.x << ',' << i.y << ' ' << i.cx << 'x' << i.cy
         << ", id " << i.id << ", class " << ::testing::PrintToString(i.windowClass) << ", title "
         << ::testing::PrintToString(i.title) << '}';
}

struct Dialog {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, windowClass, caption, font;
    WORD pointSize = 0;
    std::vector<Item> items;
};

// Reads a DIALOG (not DIALOGEX) template, the form windres writes for DIALOG.
Dialog ReadDialog(const std::vector<BYTE>& bytes) {
    size_t at = 0;
    auto word = [&] { return at += 2, ReadAt<WORD>(bytes, at - 2); };
    auto dword = [&] { return at += 4, ReadAt<DWORD>(bytes, at - 4); };
    auto text = [&] {
        std::wstring s;
        while (wchar_t c = word()) s += c;
        return s;
    };
    auto ordinalOrText = [&] {
        if (ReadAt<WORD>(bytes, at) != 0xFFFF) return text();
        word();
        return L"#" + std::to_wstring(word());
    };
    Dialog d;
    d.style = dword(), d.exStyle = dword();
    const WORD count = word();
    d.x = word(), d.y = word(), d.cx = word(), d.cy = word();
    d.menu = ordinalOrText(), d.windowClass = ordinalOrText(), d.caption = text();
    if (d.style & DS_SETFONT) d.pointSize = word(), d.font = text();
    for (WORD n = 0; n < count && at < bytes.size(); ++n) {
        at = (at + 3) & ~size_t{3};
        Item item{};
        item.style = dword();
        dword();  // extended style
        item.x = word(), item.y = word(), item.cx = word(), item.cy = word();
        item.id = word();
        item.windowClass = ordinalOrText();
        item.title = ordinalOrText();
        word();  // no creation data
        d.items.push_back(item);
    }
    return d;
}

const std::wstring kStatic = L"#130", kButton = L"#128";  // the predefined class ordinals
constexpr WORD kNoId = 0xFFFF;                            // IDC_STATIC

class ModuleResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_.reset(
            LoadLibraryExW(veldorinctl::test::ResourceModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    static void TearDownTestSuite() { module_.reset(); }
    void SetUp() override { ASSERT_TRUE(module_) << "cannot load the resource module"; }
    static HMODULE module() { return module_.get(); }
    static inline UniqueModule module_;
};

TEST_F(ModuleResourcesTest, EveryResourceIsPresentInExactlyItsLanguage) {
    const std::set<Located> expected = {
        {IdText(RT_STRING), L"#1", kChinesePrc},     // ids 1 and 2
        {IdText(RT_STRING), L"#13", kChinesePrc},    // id 200
        {IdText(RT_STRING), L"#4069", kChinesePrc},  // id 0xFE41
        {IdText(RT_DIALOG), L"#1", kChinesePrc},
        {IdText(RT_DIALOG), L"#200", kChinesePrc},
        {IdText(RT_GROUP_ICON), L"#1", kChinesePrc},
        {IdText(RT_ICON), L"#1", kChinesePrc},
        {IdText(RT_ICON), L"#2", kChinesePrc},
        {IdText(RT_BITMAP), L"#1", kChinesePrc},
        {IdText(RT_VERSION), L"#1", kEnglishUs},
        {IdText(RT_MANIFEST), L"#2", kEnglishUs},
        {L"TYPELIB", L"#1", kEnglishUs},
    };
    std::set<Located> found;
    EnumResourceTypesW(module(), AddType, reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(found, expected);
}

TEST_F(ModuleResourcesTest, StringTable) {
    const std::tuple<UINT, const wchar_t*> strings[] = {
        {IDS_VELDORINCTL, L"VELDORINCTL Control"},
        {IDS_VELDORINCTL_PPG, L"VELDORINCTL Property Page"},
        {IDS_VELDORINCTL_PPG_CAPTION, L"General"},
        {IDS_VELDORINCTL_VERB_PROPERTIES, L"&Properties..."},
    };
    for (const auto& [id, text] : strings) {
        wchar_t buffer[128] = {};
        EXPECT_GT(LoadStringW(module(), id, buffer, 128), 0) << id;
        EXPECT_STREQ(buffer, text) << id;
    }
}

TEST_F(ModuleResourcesTest, AboutBoxTemplate) {
    const Dialog about = ReadDialog(ResourceBytes(module(), RT_DIALOG, IDD_ABOUTBOX_VELDORINCTL, kChinesePrc));
    EXPECT_EQ(about.style, DWORD{DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT});
    EXPECT_EQ(about.exStyle, 0u);
    EXPECT_EQ(std::tie(about.x, about.y, about.cx, about.cy), std::make_tuple(34, 22, 260, 55));
    EXPECT_EQ(about.menu + about.windowClass, L"");
    EXPECT_EQ(about.caption, L"About VELDORINCTL Control");
    EXPECT_EQ(about.pointSize, 8);
    EXPECT_EQ(about.font, L"MS Sans Serif");
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<Item> items = {
        {child | SS_ICON, 10, 10, 20, 20, kNoId, kStatic, L"#1"},
        {child | WS_GROUP | SS_LEFT, 40, 10, 170, 8, kNoId, kStatic, L"VELDORINCTL Control, Version 1.0"},
        {child | WS_GROUP | SS_LEFT, 40, 25, 170, 8, kNoId, kStatic, L"Copyright (C) The VELDORINCTL developers"},
        {child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 221, 7, 32, 14, IDOK, kButton, L"OK"},
    };
    EXPECT_EQ(about.items, items);
}

TEST_F(ModuleResourcesTest, PropertyPageTemplate) {
    const Dialog page = ReadDialog(ResourceBytes(module(), RT_DIALOG, IDD_PROPPAGE_VELDORINCTL, kChinesePrc));
    EXPECT_EQ(page.style, DWORD{WS_CHILD | DS_SETFONT});
    EXPECT_EQ(std::tie(page.x, page.y, page.cx, page.cy), std::make_tuple(0, 0, 250, 62));
    EXPECT_EQ(page.caption, L"");
    EXPECT_EQ(page.pointSize, 8);
    EXPECT_EQ(page.font, L"MS Sans Serif");
    const std::vector<Item> items = {
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 7, 25, 229, 16, kNoId, kStatic,
         L"TODO: Place controls to manipulate properties of VELDORINCTL Control on this dialog."},
    };
    EXPECT_EQ(page.items, items);
}

TEST_F(ModuleResourcesTest, IconHasA32And16PixelImageIn16Colours) {
    const std::vector<BYTE> group = ResourceBytes(module(), RT_GROUP_ICON, IDI_ABOUTDLL, kChinesePrc);
    ASSERT_EQ(ReadAt<WORD>(group, 2), 1) << "an icon, not a cursor";
    ASSERT_EQ(ReadAt<WORD>(group, 4), 2) << "two images";
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t entry = 6 + 14 * i;  // width, height, colours, 0, planes, bits, bytes, id
        EXPECT_EQ(ReadAt<BYTE>(group, entry), sizes[i]);
        EXPECT_EQ(ReadAt<BYTE>(group, entry + 1), sizes[i]);
        EXPECT_EQ(ReadAt<BYTE>(group, entry + 2), 16);
        EXPECT_EQ(ReadAt<WORD>(group, entry + 6), 4);
        const WORD id = ReadAt<WORD>(group, entry + 12);
        // The system picks this image for this size, and can make an icon of it.
        EXPECT_EQ(
            LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, sizes[i], sizes[i], LR_DEFAULTCOLOR),
            id);
        std::vector<BYTE> image = ResourceBytes(module(), RT_ICON, id, kChinesePrc);
        const auto info = ReadAt<BITMAPINFOHEADER>(image, 0);
        EXPECT_EQ(info.biWidth, sizes[i]);
        EXPECT_EQ(info.biHeight, 2 * sizes[i]) << "colour and mask";
        EXPECT_EQ(info.biBitCount, 4);
        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                              sizes[i], sizes[i], LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr);
        if (icon) DestroyIcon(icon);
    }
}

TEST_F(ModuleResourcesTest, ToolboxBitmapIs16By15In16Colours) {
    const std::vector<BYTE> bitmap = ResourceBytes(module(), RT_BITMAP, IDB_VELDORINCTL, kChinesePrc);
    const auto info = ReadAt<BITMAPINFOHEADER>(bitmap, 0);
    EXPECT_EQ(info.biWidth, 16);
    EXPECT_EQ(info.biHeight, 15);
    EXPECT_EQ(info.biBitCount, 4);
    EXPECT_EQ(info.biCompression, DWORD{BI_RGB});
    // Header, 16 palette entries, 15 rows of 8 bytes: nothing missing, nothing extra.
    EXPECT_EQ(bitmap.size(), sizeof info + 16 * sizeof(RGBQUAD) + 15 * 8);
}

TEST_F(ModuleResourcesTest, VersionBlock) {
    const std::wstring path = veldorinctl::test::ResourceModulePath();
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    auto query = [&](const std::wstring& key) -> const void* {
        void* value = nullptr;
        UINT length = 0;
        return VerQueryValueW(block.data(), key.c_str(), &value, &length) && length ? value : nullptr;
    };
    auto text = [&](const wchar_t* name) -> std::wstring {
        const void* value = query(std::wstring(L"\\StringFileInfo\\040904b0\\") + name);
        return value ? static_cast<const wchar_t*>(value) : L"<absent>";
    };

    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(std::tie(fixed->dwFileVersionMS, fixed->dwFileVersionLS), std::make_tuple(0x00010005u, 0x00060007u));
    EXPECT_EQ(std::tie(fixed->dwProductVersionMS, fixed->dwProductVersionLS),
              std::make_tuple(0x00010005u, 0x00060007u));
    EXPECT_EQ(std::tie(fixed->dwFileFlagsMask, fixed->dwFileFlags), std::make_tuple(0x3Fu, 0u));
    EXPECT_EQ(fixed->dwFileOS, DWORD{VOS__WINDOWS32});
    EXPECT_EQ(std::tie(fixed->dwFileType, fixed->dwFileSubtype), std::make_tuple(DWORD{VFT_DLL}, 0u));

    const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(std::make_tuple(translation[0], translation[1]), std::make_tuple(0x0409, 1200));

    EXPECT_EQ(text(L"FileVersion"), L"1.5.6.7");
    EXPECT_EQ(text(L"ProductVersion"), L"1.5.6.7");
    EXPECT_EQ(text(L"InternalName"), L"VELDORINCTL");
    EXPECT_EQ(text(L"OriginalFilename"), L"VELDORINCTL.OCX");
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"ProductName", L"LegalCopyright"})
        EXPECT_NE(text(name), L"<absent>") << name;
    // Hosts that find this entry would register the module on their own.
    EXPECT_EQ(text(L"OLESelfRegister"), L"<absent>");
}

TEST_F(ModuleResourcesTest, ManifestRunsAsInvokerWithoutUiAccessAndDpiAware) {
    const std::wstring path = veldorinctl::test::ResourceModulePath();
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(IDR_VELDORINCTL_MANIFEST);
    ActivationContext context(request);
    ASSERT_TRUE(context.valid()) << "the manifest does not parse";

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
    ASSERT_TRUE(QueryActCtxW(0, context.get(), nullptr, RunlevelInformationInActivationContext, &runLevel,
                             sizeof runLevel, nullptr));
    EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel.UiAccess, 0u);

    wchar_t dpiAware[16] = {};
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxSettingsW(0, context.get(), nullptr, L"dpiAware", dpiAware, std::size(dpiAware), &written));
    EXPECT_STREQ(dpiAware, L"true");
}

}  // namespace
