// The control under the administrators' machine policy: IObjectSafety, the
// site lock's verdict from the URL the client site gives, what a refused
// page can still do, and the exchange time limit against a silent reader.
// Each test writes its own policy into the registry and removes it.
#include <objsafe.h>

#include <chrono>

#include "resources/dispids.h"
#include "tests/vectors/certificate_vectors.h"
#include "tests/win/browser_site.h"
#include "tests/win/ocx_client.h"
#include "tests/win/ole_fakes.h"
#include "tests/win/scoped_machine_policy.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

// MinGW's headers give IObjectSafety no __uuidof, so ComPtr::As cannot reach it.
ComPtr<IObjectSafety> SafetyOf(IDispatch* control) {
    ComPtr<IObjectSafety> safety;
    EXPECT_HRESULT_SUCCEEDED(
        control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())));
    return safety;
}

class OcxSiteLock : public SimulatedReaders {
protected:
    void TearDown() override {
        control.Reset();
        SimulatedReaders::TearDown();
    }

    // A new control, reading the policy as it stands now.
    void Create() { control = CreateControl(ocx); }

    HRESULT SetSite(IOleClientSite* site) {
        ComPtr<IOleObject> object;
        EXPECT_HRESULT_SUCCEEDED(control.As(&object));
        return object->SetClientSite(site);
    }

    HRESULT AskSafety(REFIID iid, DWORD options) {
        return SafetyOf(control.Get())->SetInterfaceSafetyOptions(iid, options, options);
    }

    long DevOpen() { return Call(control.Get(), DISPID_DEVOPEN)->result->lVal; }
    std::wstring DevCall(const wchar_t* command) {
        UniqueVariant argument = Text(command);
        return Call(control.Get(), DISPID_DEVCALL, {&argument})->Text();
    }
    long LoadCA(long variant, const wchar_t* certificate) {
        UniqueVariant flag = Long(variant), text = Text(certificate);
        return Call(control.Get(), DISPID_LOADCA, {&flag, &text})->result->lVal;
    }

    ScopedMachinePolicy policy;
    Apartment apartment;
    LoadedOcx ocx;
    ComPtr<IDispatch> control;
};

TEST_F(OcxSiteLock, SafetyOptionsMatchTheComponentCategories) {
    Create();
    const ComPtr<IObjectSafety> safety = SafetyOf(control.Get());
    ASSERT_TRUE(safety);
    struct Expected {
        const IID* iid;
        DWORD options;
    };
    for (const Expected& e :
         {Expected{&IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER},
          Expected{&DIID__DVELDORINCTL, INTERFACESAFE_FOR_UNTRUSTED_CALLER},
          Expected{&IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA},
          Expected{&IID_IPersistStreamInit, INTERFACESAFE_FOR_UNTRUSTED_DATA},
          Expected{&IID_IPersistStorage, INTERFACESAFE_FOR_UNTRUSTED_DATA}, Expected{&IID_IOleObject, 0}}) {
        DWORD supported = 99, enabled = 99;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(*e.iid, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, e.options);
        EXPECT_EQ(enabled, e.options);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(*e.iid, e.options, e.options), S_OK);
        const DWORD other = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
        if (e.options != other) {
            EXPECT_EQ(safety->SetInterfaceSafetyOptions(*e.iid, other, other), E_FAIL) << "a bit it does not support";
        }
    }
    DWORD supported = 99, enabled = 99;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IWebBrowser2, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IWebBrowser2, 0, 0), E_NOINTERFACE);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(AskSafety(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER), S_OK) << "no policy: no site needed";
}

TEST_F(OcxSiteLock, AnUnlistedPageIsRefusedAndUsesNoReader) {
    ASSERT_TRUE(policy.SetAllowedSites({L"https://allowed.example", L"https://*.corp.example"}));
    const int reader = Attach("155B 4612 65 ca 1");
    Create();
    BrowserSite evil(L"https://allowed.example.evil.example/");
    ASSERT_HRESULT_SUCCEEDED(SetSite(&evil));
    EXPECT_EQ(AskSafety(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER), E_FAIL);
    EXPECT_EQ(AskSafety(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA), E_FAIL);

    EXPECT_EQ(DevOpen(), 0);
    EXPECT_EQ(DevCall(L"AQID"), L"");
    EXPECT_EQ(LoadCA(1, L"AQIDBAUG"), 177);
    EXPECT_EQ(VeldorinSim_Connections(reader), 0) << "the reader was never opened";
    const CertificateVector& vector = CertificateVectors().front();
    const std::wstring text(vector.text.begin(), vector.text.end());
    UniqueVariant argument = Text(text.c_str());
    EXPECT_EQ(Call(control.Get(), DISPID_GETX509SN, {&argument})->Text(),
              std::wstring(vector.serial->begin(), vector.serial->end()))
        << "the certificate methods keep working";

    // A new site is judged again.
    BrowserSite allowed(L"https://Deep.Sub.CORP.example./page");
    ASSERT_HRESULT_SUCCEEDED(SetSite(&allowed));
    EXPECT_EQ(AskSafety(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER), S_OK);
    EXPECT_NE(DevOpen(), 0);
    ASSERT_HRESULT_SUCCEEDED(SetSite(nullptr));
    EXPECT_EQ(AskSafety(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER), E_FAIL) << "no site, no page";
    EXPECT_EQ(evil.References(), 1u);
    EXPECT_EQ(allowed.References(), 1u);
}

TEST_F(OcxSiteLock, WithoutASiteOrWithAPolicyOfTheWrongTypeEveryPageIsRefused) {
    ASSERT_TRUE(policy.SetAllowedSites({L"https://allowed.example"}));
    Attach("155B 4612 65 echo");
    Create();
    EXPECT_EQ(DevOpen(), 0) << "a control that was never given a site";
    control.Reset();

    ASSERT_TRUE(policy.SetAllowedSitesOfWrongType(L"https://allowed.example"));
    Create();
    BrowserSite allowed(L"https://allowed.example/");
    ASSERT_HRESULT_SUCCEEDED(SetSite(&allowed));
    EXPECT_EQ(AskSafety(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER), E_FAIL);
    EXPECT_EQ(DevOpen(), 0);
    ASSERT_HRESULT_SUCCEEDED(SetSite(nullptr));
}

TEST_F(OcxSiteLock, TheExchangeTimeoutEndsACallToASilentReader) {
    ASSERT_TRUE(policy.SetExchangeTimeoutSeconds(1));
    Attach("155B 4612 65 silent");
    Create();
    ASSERT_NE(DevOpen(), 0) << "a time limit alone locks nothing";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DevCall(L"AQID"), L"");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(LoadCA(1, L"AQIDBAUG"), 178);
}

}  // namespace
}  // namespace veldorinctl::test
