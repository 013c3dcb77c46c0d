// The type library and the control agree on every DISPID. The test walks
// the functions of the type library's two interfaces as a container reads
// them and holds the control to each: its name resolves to the type
// library's DISPID (locale 0 asks the dispatch map; a locale asks the
// registered type library), Invoke takes that DISPID with the type
// library's parameter count and types and answers with its result type, and
// the control fires its event under the event interface's DISPID.
#include <windows.h>

#include <gtest/gtest.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "resources/dispids.h"
#include "tests/win/ocx_client.h"
#include "tests/win/simulated_readers.h"
#include "win32/lent.h"

namespace veldorinctl::test {
namespace {

// One function of a dispatch interface, copied out of its FUNCDESC.
struct Function {
    MEMBERID id;
    std::wstring name;
    std::vector<VARTYPE> params;
    VARTYPE result;
};

std::vector<Function> FunctionsOf(ITypeInfo* info) {
    std::vector<Function> functions;
    Lent<ITypeInfo, TYPEATTR> attributes(info, &ITypeInfo::ReleaseTypeAttr);
    if (FAILED(info->GetTypeAttr(attributes.put()))) return functions;
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        Lent<ITypeInfo, FUNCDESC> description(info, &ITypeInfo::ReleaseFuncDesc);
        if (FAILED(info->GetFuncDesc(i, description.put()))) continue;
        Function function{description->memid, {}, {}, description->elemdescFunc.tdesc.vt};
        for (SHORT p = 0; p < description->cParams; ++p)
            function.params.push_back(description->lprgelemdescParam[p].tdesc.vt);
        UniqueBstr name;
        if (SUCCEEDED(info->GetDocumentation(function.id, name.put(), nullptr, nullptr, nullptr)))
            function.name.assign(name.get(), ::SysStringLen(name.get()));
        functions.push_back(std::move(function));
    }
    return functions;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// An argument the parameter type takes, and one it refuses.
UniqueVariant Fitting(VARTYPE type) {
    return type == VT_I4 ? Long(0) : Text(L"");
}
UniqueVariant Unfitting(VARTYPE type) {
    return type == VT_I4 ? Text(L"one") : Null();
}

VARTYPE ResultTypeOf(VARTYPE declared) {
    return declared == VT_VOID ? VARTYPE{VT_EMPTY} : declared;
}

struct OcxDispids : SimulatedReaders {
    void SetUp() override {
        SimulatedReaders::SetUp();
        // A locale other than 0 is answered from the registered type library.
        ASSERT_EQ(ocx.RegisterServer(), S_OK);
        registered = true;
        ASSERT_HRESULT_SUCCEEDED(
            ::LoadTypeLibEx(BesideTestProgram(L"VELDORINCTL.OCX").c_str(), REGKIND_NONE, library.GetAddressOf()));
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(DIID__DVELDORINCTL, &methods));
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(DIID__DVELDORINCTLEvents, &events));
    }

    void TearDown() override {
        control.Reset();
        if (registered) {
            EXPECT_EQ(ocx.UnregisterServer(), S_OK);
        }
        SimulatedReaders::TearDown();
    }

    // Invoke with the type library's signature: a wrong count is refused,
    // each parameter refuses what its type does not take (so nothing runs),
    // and a call with fitting arguments answers with the declared type.
    void ExpectInvokeAgrees(const Function& function) {
        std::vector<UniqueVariant> arguments;
        for (VARTYPE type : function.params) arguments.push_back(Fitting(type));
        arguments.push_back(Long(0));
        std::vector<UniqueVariant*> tooMany;
        for (auto& argument : arguments) tooMany.push_back(&argument);
        EXPECT_EQ(Call(control.Get(), function.id, tooMany)->hr, DISP_E_BADPARAMCOUNT);
        arguments.pop_back();

        for (size_t refused = 0; refused < function.params.size(); ++refused) {
            std::vector<UniqueVariant> mixed;
            std::vector<UniqueVariant*> pointers;
            for (size_t i = 0; i < function.params.size(); ++i)
                mixed.push_back(i == refused ? Unfitting(function.params[i]) : Fitting(function.params[i]));
            for (auto& argument : mixed) pointers.push_back(&argument);
            auto outcome = Call(control.Get(), function.id, pointers);
            EXPECT_EQ(outcome->hr, DISP_E_TYPEMISMATCH) << "parameter " << refused;
            EXPECT_EQ(outcome->argError, function.params.size() - 1 - refused) << "parameter " << refused;
        }

        // AboutBox waits for a person; its own test runs it.
        if (function.id == DISPID_ABOUTBOX) return;
        std::vector<UniqueVariant*> fitting;
        for (auto& argument : arguments) fitting.push_back(&argument);
        auto outcome = Call(control.Get(), function.id, fitting);
        EXPECT_EQ(outcome->hr, S_OK);
        EXPECT_EQ(outcome->result->vt, ResultTypeOf(function.result));
    }

    Apartment apartment;
    LoadedOcx ocx;
    bool registered = false;
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> methods, events;
    SinkLog log;
    EventSink sink{"page", log};
    ComPtr<IDispatch> control = CreateControl(ocx);
};

TEST_F(OcxDispids, TypeLibraryFunctionsAgreeWithTheControl) {
    const std::vector<Function> functions = FunctionsOf(methods.Get());
    ASSERT_FALSE(functions.empty());
    for (const Function& function : functions) {
        SCOPED_TRACE(Narrow(function.name));
        for (LCID lcid : {LCID{0}, LCID{0x0409}, LCID{0x0804}})
            EXPECT_EQ(IdOf(control.Get(), function.name.c_str(), lcid), function.id) << "locale " << lcid;
        ExpectInvokeAgrees(function);
    }

    // The control's one event of its own, fired as a page makes it fire.
    const int reader = Attach("155B 4612 65 echo");
    const DWORD cookie = Connect(control.Get(), &sink);
    ASSERT_NE(Call(control.Get(), DISPID_DEVOPEN)->result->lVal, 0);
    UniqueVariant command = Text(L"AQID");
    ASSERT_EQ(Call(control.Get(), DISPID_DEVCALLASYNC, {&command})->hr, S_OK);
    ASSERT_TRUE(VeldorinSim_WaitForReceived(reader, 1, 5000));
    ASSERT_TRUE(PumpUntil([&] { return log.Count() >= 1; }));
    Disconnect(control.Get(), cookie);
    const SinkCall fired = log.Calls().front();
    bool described = false;
    for (const Function& event : FunctionsOf(events.Get())) {
        if (event.id != fired.dispid) continue;
        described = true;
        EXPECT_EQ(event.name, L"DevCallAsyncBack");
        EXPECT_EQ(event.params, std::vector<VARTYPE>{VT_BSTR});
        EXPECT_EQ(fired.argumentCount, event.params.size());
    }
    EXPECT_TRUE(described) << "fired as DISPID " << fired.dispid << ", which the event interface does not list";
}

}  // namespace
}  // namespace veldorinctl::test
