// The type library embedded in the module, read back the way containers and
// script engines read it: library attributes, the three type descriptions in
// order, every member's DISPID, names and types, and the coclass's interfaces.
// The identities are compared with the C++ constants, so the IDL and the
// code cannot drift apart.
#include <gtest/gtest.h>
#include <oaidl.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "resources/dispids.h"
#include "resources/guids.h"
#include "tests/win/resource_module.h"
#include "win32/lent.h"

using Microsoft::WRL::ComPtr;

namespace {

// Library of the standard OLE Automation types, whose IDispatch both
// dispatch interfaces must derive from.
constexpr GUID kStdOleLibId = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class Bstr {
public:
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value_); }
    BSTR* put() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    std::wstring str() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : L""; }

private:
    BSTR value_ = nullptr;
};

struct Documentation {
    std::wstring name, text, helpFile;
    DWORD helpContext = 0xFFFFFFFF;
};

template <typename Source>
Documentation DocumentationOf(Source* source, MEMBERID id) {
    Bstr name, text, helpFile;
    Documentation doc;
    EXPECT_HRESULT_SUCCEEDED(source->GetDocumentation(id, name.put(), text.put(), &doc.helpContext, helpFile.put()));
    doc.name = name.str();
    doc.text = text.str();
    doc.helpFile = helpFile.str();
    return doc;
}

struct Parameter {
    const wchar_t* name;
    VARTYPE type;
};

struct Member {
    MEMBERID dispid;
    const wchar_t* name;
    std::vector<Parameter> parameters;
    VARTYPE result;
};

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(veldorinctl::test::ResourceModulePath().c_str(), REGKIND_NONE, &lib_));
    }

    ComPtr<ITypeInfo> TypeAt(UINT index) {
        ComPtr<ITypeInfo> info;
        EXPECT_HRESULT_SUCCEEDED(lib_->GetTypeInfo(index, &info));
        return info;
    }

    // Every member of a dispatch interface is a plain method with positional,
    // untagged parameters; only DISPID, names and types tell them apart.
    static void ExpectMembers(ITypeInfo* info, const std::vector<Member>& expected) {
        Lent<ITypeInfo, TYPEATTR> attr(info, &ITypeInfo::ReleaseTypeAttr);
        ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(attr.put()));
        EXPECT_EQ(attr->cVars, 0) << "no properties";
        ASSERT_EQ(attr->cFuncs, expected.size());
        for (UINT i = 0; i < expected.size(); ++i) {
            const Member& member = expected[i];
            SCOPED_TRACE(member.name);
            Lent<ITypeInfo, FUNCDESC> func(info, &ITypeInfo::ReleaseFuncDesc);
            ASSERT_HRESULT_SUCCEEDED(info->GetFuncDesc(i, func.put()));
            EXPECT_EQ(func->memid, member.dispid);
            EXPECT_EQ(func->funckind, FUNC_DISPATCH);
            EXPECT_EQ(func->invkind, INVOKE_FUNC);
            EXPECT_EQ(func->callconv, CC_STDCALL);
            EXPECT_EQ(func->wFuncFlags, 0);
            EXPECT_EQ(func->cParamsOpt, 0);
            EXPECT_EQ(func->elemdescFunc.tdesc.vt, member.result);
            ASSERT_EQ(func->cParams, static_cast<SHORT>(member.parameters.size()));

            BSTR names[4] = {};
            UINT count = 0;
            ASSERT_HRESULT_SUCCEEDED(info->GetNames(func->memid, names, 4, &count));
            std::vector<std::wstring> got;
            for (UINT n = 0; n < count; ++n) {
                got.emplace_back(names[n]);
                SysFreeString(names[n]);
            }
            std::vector<std::wstring> want{member.name};
            for (UINT p = 0; p < member.parameters.size(); ++p) {
                want.emplace_back(member.parameters[p].name);
                EXPECT_EQ(func->lprgelemdescParam[p].tdesc.vt, member.parameters[p].type);
                EXPECT_EQ(func->lprgelemdescParam[p].paramdesc.wParamFlags, PARAMFLAG_NONE);
            }
            EXPECT_EQ(got, want);

            const Documentation doc = DocumentationOf(info, func->memid);
            EXPECT_EQ(doc.text, L"");
            EXPECT_EQ(doc.helpContext, 0u);
        }
    }

    ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibraryTest, LibraryAttributesIdentifyTheControlModule) {
    Lent<ITypeLib, TLIBATTR> attr(lib_.Get(), &ITypeLib::ReleaseTLibAttr);
    ASSERT_HRESULT_SUCCEEDED(lib_->GetLibAttr(attr.put()));
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_VELDORINCTLLib));
    EXPECT_EQ(attr->lcid, 0u);
    // Made for the architecture it is built into: RegisterTypeLib files it
    // under win64 or win32 by this.
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, kVeldorinctlTypeLibMajor);
    EXPECT_EQ(attr->wMinorVerNum, kVeldorinctlTypeLibMinor);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    // The loader adds "has a disk image" to whatever the file says.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, LIBFLAG_FCONTROL);

    const Documentation doc = DocumentationOf(lib_.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.name, L"VELDORINCTLLib");
    EXPECT_EQ(doc.text, L"VELDORINCTL ActiveX Control module");
    EXPECT_EQ(doc.helpFile, L"VELDORINCTL.hlp");
    EXPECT_EQ(doc.helpContext, 0u);
}

TEST_F(TypeLibraryTest, HoldsTheThreeTypesInOrder) {
    struct Expected {
        const wchar_t* name;
        TYPEKIND kind;
        GUID guid;
        WORD flags;
        const wchar_t* text;
    };
    const Expected expected[] = {
        {L"_DVELDORINCTL", TKIND_DISPATCH, DIID__DVELDORINCTL, TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE,
         L"Dispatch interface for VELDORINCTL Control"},
        {L"_DVELDORINCTLEvents", TKIND_DISPATCH, DIID__DVELDORINCTLEvents, TYPEFLAG_FDISPATCHABLE,
         L"Event interface for VELDORINCTL Control"},
        {L"VELDORINCTL", TKIND_COCLASS, CLSID_VELDORINCTL, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL,
         L"VELDORINCTL Control"},
    };
    ASSERT_EQ(lib_->GetTypeInfoCount(), std::size(expected));
    for (UINT i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        ComPtr<ITypeInfo> info = TypeAt(i);
        ASSERT_TRUE(info);
        Lent<ITypeInfo, TYPEATTR> attr(info.Get(), &ITypeInfo::ReleaseTypeAttr);
        ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(attr.put()));
        EXPECT_EQ(attr->typekind, expected[i].kind);
        EXPECT_TRUE(IsEqualGUID(attr->guid, expected[i].guid));
        EXPECT_EQ(attr->wTypeFlags, expected[i].flags);
        EXPECT_EQ(attr->wMajorVerNum, 0);
        EXPECT_EQ(attr->wMinorVerNum, 0);
        const Documentation doc = DocumentationOf(info.Get(), MEMBERID_NIL);
        EXPECT_EQ(doc.name, expected[i].name);
        EXPECT_EQ(doc.text, expected[i].text);
    }
}

TEST_F(TypeLibraryTest, DispatchInterfaceMembers) {
    ExpectMembers(TypeAt(0).Get(),
                  {
                      {DISPID_DEVOPEN, L"DevOpen", {}, VT_I4},
                      {DISPID_DEVCLOSE, L"DevClose", {{L"hDev", VT_I4}}, VT_VOID},
                      {DISPID_DEVCALL, L"DevCall", {{L"cmd", VT_BSTR}}, VT_BSTR},
                      {DISPID_DEVCALLASYNC, L"DevCallAsync", {{L"cmd", VT_BSTR}}, VT_VOID},
                      {DISPID_GETX509VALIDDATE, L"GetX509ValidDate", {{L"b64CAData", VT_BSTR}}, VT_BSTR},
                      {DISPID_LOADCA, L"LoadCA", {{L"nFlag", VT_I4}, {L"b64CAData", VT_BSTR}}, VT_I4},
                      {DISPID_GETX509SN, L"GetX509Sn", {{L"b64CAData", VT_BSTR}}, VT_BSTR},
                      {DISPID_ABOUTBOX, L"AboutBox", {}, VT_VOID},
                  });
}

TEST_F(TypeLibraryTest, EventInterfaceMembers) {
    ExpectMembers(TypeAt(1).Get(),
                  {
                      {DISPID_DEVCALLASYNCBACK, L"DevCallAsyncBack", {{L"backData", VT_BSTR}}, VT_VOID},
                      {DISPID_DOCLICK, L"DoClick", {}, VT_VOID},
                  });
}

TEST_F(TypeLibraryTest, DispatchInterfacesDeriveFromStdOleIDispatch) {
    for (UINT index : {0u, 1u}) {
        SCOPED_TRACE(index);
        ComPtr<ITypeInfo> info = TypeAt(index);
        ASSERT_TRUE(info);
        HREFTYPE ref = 0;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeOfImplType(0, &ref));
        ComPtr<ITypeInfo> base;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(ref, &base));
        Lent<ITypeInfo, TYPEATTR> baseAttr(base.Get(), &ITypeInfo::ReleaseTypeAttr);
        ASSERT_HRESULT_SUCCEEDED(base->GetTypeAttr(baseAttr.put()));
        EXPECT_TRUE(IsEqualGUID(baseAttr->guid, IID_IDispatch));

        ComPtr<ITypeLib> stdole;
        UINT position = 0;
        ASSERT_HRESULT_SUCCEEDED(base->GetContainingTypeLib(&stdole, &position));
        Lent<ITypeLib, TLIBATTR> stdoleAttr(stdole.Get(), &ITypeLib::ReleaseTLibAttr);
        ASSERT_HRESULT_SUCCEEDED(stdole->GetLibAttr(stdoleAttr.put()));
        EXPECT_TRUE(IsEqualGUID(stdoleAttr->guid, kStdOleLibId));
        EXPECT_EQ(stdoleAttr->wMajorVerNum, 2);
        EXPECT_EQ(stdoleAttr->wMinorVerNum, 0);
    }
}

TEST_F(TypeLibraryTest, CoclassNamesDispatchAndSourceInterfaces) {
    ComPtr<ITypeInfo> coclass = TypeAt(2);
    ASSERT_TRUE(coclass);
    Lent<ITypeInfo, TYPEATTR> attr(coclass.Get(), &ITypeInfo::ReleaseTypeAttr);
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(attr.put()));
    ASSERT_EQ(attr->cImplTypes, 2);

    const struct {
        GUID iid;
        INT flags;
    } expected[] = {
        {DIID__DVELDORINCTL, IMPLTYPEFLAG_FDEFAULT},
        {DIID__DVELDORINCTLEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (UINT i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        INT flags = -1;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(flags, expected[i].flags);
        HREFTYPE ref = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref));
        ComPtr<ITypeInfo> implemented;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(ref, &implemented));
        Lent<ITypeInfo, TYPEATTR> implAttr(implemented.Get(), &ITypeInfo::ReleaseTypeAttr);
        ASSERT_HRESULT_SUCCEEDED(implemented->GetTypeAttr(implAttr.put()));
        EXPECT_TRUE(IsEqualGUID(implAttr->guid, expected[i].iid));
    }
}

}  // namespace
