// The control through IDispatch as a page's script engine uses it: names,
// DISPIDs, argument coercion and its errors, the refusal before
// initialisation, and the methods' road to a simulated reader and back.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "resources/dispids.h"
#include "device/download_ca.h"
#include "tests/win/ocx_client.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

struct OcxDispatch : SimulatedReaders {
    void TearDown() override {
        // The control closes what it opened before the fixture counts handles.
        control.Reset();
        SimulatedReaders::TearDown();
    }

    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IDispatch> control = CreateControl(ocx);
};

TEST_F(OcxDispatch, MapNamesResolveWithoutRegardToCase) {
    // Locale 0 asks the dispatch map, whether or not a type library is
    // registered; the names as written are checked against the type
    // library by OcxDispids.
    EXPECT_EQ(IdOf(control.Get(), L"devcall"), DISPID_DEVCALL);
    EXPECT_EQ(IdOf(control.Get(), L"DEVCALL"), DISPID_DEVCALL);
    EXPECT_EQ(IdOf(control.Get(), L"getx509sn"), DISPID_GETX509SN);
    EXPECT_EQ(IdOf(control.Get(), L"aboutbox"), DISPID_ABOUTBOX);
    EXPECT_EQ(IdOf(control.Get(), L"DoClick"), DISPID_DOCLICK) << "the framework's stock method";
}

TEST_F(OcxDispatch, UnknownNamesAndParameterNamesGetNoDispid) {
    DISPID ids[2] = {42, 42};
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"DevCalls")};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);

    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"DevCall"), const_cast<LPOLESTR>(L"cmd")};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, withParameter, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_DEVCALL);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    LPOLESTR name[] = {const_cast<LPOLESTR>(L"DevCall")};
    EXPECT_EQ(control->GetIDsOfNames(IID_IDispatch, name, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(OcxDispatch, DispidsWithoutEntryAreNotFound) {
    // Entries are reached by their DISPIDs only: 8 and 9 are the positions
    // of AboutBox and DoClick in the map; -600 is the stock Click, which is
    // off; 0x10001 would be the first entry of the framework's (empty) map.
    for (DISPID dispid : {-600, 0, 8, 9, 10, 0x10001, DISPID_VALUE, DISPID_UNKNOWN}) {
        EXPECT_EQ(Call(control.Get(), dispid)->hr, DISP_E_MEMBERNOTFOUND) << "DISPID " << dispid;
    }
}

TEST_F(OcxDispatch, ArgumentListErrorsStopBeforeTheMethod) {
    const int reader = Attach("155B 4612 65 echo");
    ASSERT_NE(Call(control.Get(), DISPID_DEVOPEN)->result->lVal, 0);

    EXPECT_EQ(Call(control.Get(), DISPID_DEVCALL)->hr, DISP_E_BADPARAMCOUNT);
    UniqueVariant a = Text(L"AQID"), b = Text(L"AQID");
    EXPECT_EQ(Call(control.Get(), DISPID_DEVCALL, {&a, &b})->hr, DISP_E_BADPARAMCOUNT);

    DISPID named = 0;
    DISPPARAMS params{a.get(), &named, 1, 1};
    UniqueVariant result;
    EXPECT_EQ(control->Invoke(DISPID_DEVCALL, IID_NULL, 0, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    params.cNamedArgs = 0;
    EXPECT_EQ(
        control->Invoke(DISPID_DEVCALL, IID_IDispatch, 0, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(
        control->Invoke(DISPID_DEVCALL, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, result.put(), nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND)
        << "methods cannot be assigned to";

    EXPECT_EQ(VeldorinSim_ReceivedCount(reader), 0) << "no refused call reached the reader";
}

TEST_F(OcxDispatch, CoercionErrorsNameTheArgument) {
    const int reader = Attach("155B 4612 65 echo");
    ASSERT_NE(Call(control.Get(), DISPID_DEVOPEN)->result->lVal, 0);

    UniqueVariant notANumber = Text(L"one"), certificate = Text(L"AQID");
    auto outcome = Call(control.Get(), DISPID_LOADCA, {&notANumber, &certificate});
    EXPECT_EQ(outcome->hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(outcome->argError, 1u) << "nFlag is the last entry of rgvarg";

    UniqueVariant tooBig;
    tooBig->vt = VT_R8;
    tooBig->dblVal = 1e20;
    outcome = Call(control.Get(), DISPID_LOADCA, {&tooBig, &certificate});
    EXPECT_EQ(outcome->hr, DISP_E_OVERFLOW);
    EXPECT_EQ(outcome->argError, 1u);

    UniqueVariant flag = Long(1), null = Null();
    outcome = Call(control.Get(), DISPID_LOADCA, {&flag, &null});
    EXPECT_EQ(outcome->hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(outcome->argError, 0u);

    outcome = Call(control.Get(), DISPID_DEVCALL, {&null});
    EXPECT_EQ(outcome->hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(outcome->argError, 0u);
    EXPECT_EQ(VeldorinSim_ReceivedCount(reader), 0);
}

TEST_F(OcxDispatch, MethodsWaitForTheContainerToInitialise) {
    const int reader = Attach("155B 4612 65 echo");
    ComPtr<IDispatch> fresh = CreateControl(ocx, false);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(IdOf(fresh.Get(), L"DevOpen"), DISPID_DEVOPEN) << "names resolve from the start";
    auto outcome = Call(fresh.Get(), DISPID_DEVOPEN);
    EXPECT_EQ(outcome->hr, E_UNEXPECTED);
    EXPECT_EQ(outcome->result->vt, VT_EMPTY);
    EXPECT_EQ(Call(fresh.Get(), 12345)->hr, E_UNEXPECTED);
    EXPECT_EQ(VeldorinSim_Connections(reader), 0) << "the reader was not opened";

    // A script host reads why from the error information.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_HRESULT_SUCCEEDED(fresh.As(&support));
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(DIID__DVELDORINCTL), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPersistStreamInit), S_FALSE);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(::GetErrorInfo(0, error.GetAddressOf()), S_OK);
    UniqueBstr description;
    ASSERT_EQ(error->GetDescription(description.put()), S_OK);
    EXPECT_NE(std::wstring(description.get()).find(L"initialised by its container"), std::wstring::npos);
    EXPECT_NE(std::wstring(description.get()).find(L"<object>"), std::wstring::npos);
    GUID source{};
    EXPECT_EQ(error->GetGUID(&source), S_OK);
    EXPECT_EQ(source, DIID__DVELDORINCTL);
    ASSERT_EQ(Call(fresh.Get(), 1)->hr, E_UNEXPECTED);  // error information set again

    ComPtr<IPersistPropertyBag> bag;
    ASSERT_HRESULT_SUCCEEDED(fresh.As(&bag));
    EXPECT_EQ(bag->InitNew(), S_OK);
    EXPECT_EQ(bag->InitNew(), E_UNEXPECTED) << "a control is initialised once";
    ComPtr<IPersistStreamInit> stream;
    ASSERT_HRESULT_SUCCEEDED(fresh.As(&stream));
    EXPECT_EQ(stream->InitNew(), E_UNEXPECTED);
    outcome = Call(fresh.Get(), DISPID_DEVOPEN);
    EXPECT_EQ(outcome->hr, S_OK);
    EXPECT_NE(outcome->result->lVal, 0);
    EXPECT_EQ(::GetErrorInfo(0, error.ReleaseAndGetAddressOf()), S_FALSE) << "no stale error after a good call";
}

TEST_F(OcxDispatch, CommandTravelsToTheReaderAndBack) {
    const int reader = Attach("155B 4612 65 echo");
    auto opened = Call(control.Get(), DISPID_DEVOPEN);
    ASSERT_EQ(opened->hr, S_OK);
    ASSERT_EQ(opened->result->vt, VT_I4);
    const long handle = opened->result->lVal;
    ASSERT_NE(handle, 0);

    UniqueVariant command = Text(L"AQID");
    auto answer = Call(control.Get(), DISPID_DEVCALL, {&command});
    ASSERT_EQ(answer->hr, S_OK);
    EXPECT_EQ(answer->Text(), L"AQID");
    ASSERT_EQ(Received(reader), (std::vector<Bytes>{{1, 2, 3}}));

    // Script engines read a method's result with both flags set.
    DISPPARAMS params{command.get(), nullptr, 1, 0};
    UniqueVariant result;
    EXPECT_EQ(control->Invoke(DISPID_DEVCALL, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                              result.put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(std::wstring(result->bstrVal), L"AQID");

    UniqueVariant hDev = Long(handle);
    EXPECT_EQ(Call(control.Get(), DISPID_DEVCLOSE, {&hDev})->hr, S_OK);
    EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000)) << "DevClose closed the reader";
    EXPECT_EQ(Call(control.Get(), DISPID_DEVCALL, {&command})->Text(), L"") << "no connection after DevClose";
}

TEST_F(OcxDispatch, NumberAsCommandArrivesAsItsText) {
    const int reader = Attach("155B 4612 65 echo");
    ASSERT_NE(Call(control.Get(), DISPID_DEVOPEN)->result->lVal, 0);
    UniqueVariant number = Long(12345);
    // "12345" decodes to the three bytes of "1234" (the lone "5" is dropped).
    EXPECT_EQ(Call(control.Get(), DISPID_DEVCALL, {&number})->Text(), L"1234");
    EXPECT_EQ(Received(reader), (std::vector<Bytes>{{0xD7, 0x6D, 0xF8}}));
}

TEST_F(OcxDispatch, NullStringArgumentsAreNoText) {
    const int reader = Attach("155B 4612 65 echo");
    ASSERT_NE(Call(control.Get(), DISPID_DEVOPEN)->result->lVal, 0);
    UniqueVariant null = Text(nullptr), flag = Long(1);

    auto answer = Call(control.Get(), DISPID_DEVCALL, {&null});
    ASSERT_EQ(answer->hr, S_OK);
    ASSERT_EQ(answer->result->vt, VT_BSTR);
    ASSERT_NE(answer->result->bstrVal, nullptr) << "an empty answer is an empty string, not a null one";
    EXPECT_EQ(::SysStringLen(answer->result->bstrVal), 0u);

    for (DISPID certificateMethod : {DISPID_GETX509VALIDDATE, DISPID_GETX509SN}) {
        auto parsed = Call(control.Get(), certificateMethod, {&null});
        EXPECT_EQ(parsed->hr, S_OK);
        EXPECT_TRUE(parsed->IsNullString()) << "DISPID " << certificateMethod;
    }
    auto loaded = Call(control.Get(), DISPID_LOADCA, {&flag, &null});
    EXPECT_EQ(loaded->hr, S_OK);
    EXPECT_EQ(loaded->result->vt, VT_I4);
    EXPECT_EQ(loaded->result->lVal, kCaSendFailed);

    EXPECT_EQ(Call(control.Get(), DISPID_DEVCALLASYNC, {&null})->hr, S_OK);
    EXPECT_EQ(VeldorinSim_ReceivedCount(reader), 0) << "no text, nothing to send";
}

TEST_F(OcxDispatch, CertificateMethodsGiveNullForNonCertificates) {
    UniqueVariant notDer = Text(L"AQID"), empty = Text(L""), flag = Long(3);
    for (DISPID method : {DISPID_GETX509VALIDDATE, DISPID_GETX509SN}) {
        for (UniqueVariant* text : {&notDer, &empty}) {
            auto outcome = Call(control.Get(), method, {text});
            EXPECT_EQ(outcome->hr, S_OK);
            EXPECT_TRUE(outcome->IsNullString()) << "DISPID " << method;
        }
    }
    EXPECT_EQ(Call(control.Get(), DISPID_LOADCA, {&flag, &notDer})->result->lVal, kCaBadVariant);
}

TEST_F(OcxDispatch, DoClickSucceedsAndDoesNothing) {
    auto outcome = Call(control.Get(), DISPID_DOCLICK);
    EXPECT_EQ(outcome->hr, S_OK);
    EXPECT_EQ(outcome->result->vt, VT_EMPTY);
}

TEST_F(OcxDispatch, AboutBoxRunsUntilClosed) {
    // The dialog is modal: a helper thread finds it and presses OK.
    std::atomic<bool> seen{false};
    std::thread closer([&] {
        for (int i = 0; i < 500 && !seen; ++i) {
            HWND dialog = ::FindWindowW(nullptr, L"About VELDORINCTL Control");
            if (dialog) {
                seen = true;
                ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            ::Sleep(10);
        }
    });
    auto outcome = Call(control.Get(), DISPID_ABOUTBOX);
    closer.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(outcome->hr, S_OK);
    EXPECT_EQ(outcome->result->vt, VT_EMPTY);
}

}  // namespace
}  // namespace veldorinctl::test
