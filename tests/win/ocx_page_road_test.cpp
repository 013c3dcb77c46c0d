// The road a page takes: the control created by its ProgID through the
// registry, names bound through the registered type library as a script
// engine binds them, and every method used against a simulated reader.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "device/download_ca.h"
#include "tests/vectors/certificate_vectors.h"
#include "tests/win/ocx_client.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // Base64 and dates: ASCII
}

struct PageRoad : SimulatedReaders {
    void SetUp() override {
        SimulatedReaders::SetUp();
        ASSERT_EQ(ocx.RegisterServer(), S_OK);
        CLSID clsid{};
        ASSERT_EQ(::CLSIDFromProgID(L"VELDORINCTL.VELDORINCTLCtrl.1", &clsid), S_OK);
        ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(control.GetAddressOf())),
                  S_OK);
        ComPtr<IPersistPropertyBag> persist;
        ASSERT_HRESULT_SUCCEEDED(control.As(&persist));
        ASSERT_EQ(persist->InitNew(), S_OK);
    }

    void TearDown() override {
        control.Reset();
        EXPECT_EQ(ocx.UnregisterServer(), S_OK);
        SimulatedReaders::TearDown();
    }

    // As a script engine calls: the name bound in the user's locale.
    std::unique_ptr<Outcome> Script(const wchar_t* name, std::vector<UniqueVariant*> arguments = {}) {
        return Call(control.Get(), IdOf(control.Get(), name, LOCALE_USER_DEFAULT), std::move(arguments));
    }

    Apartment apartment;
    LoadedOcx ocx;
    SinkLog log;
    EventSink sink{"page", log};
    ComPtr<IDispatch> control;
};

TEST_F(PageRoad, EveryMethodOnceAsAPageUsesThem) {
    const int reader = Attach("6A8A 0801 33 fixed 9000 then echo");
    Connect(control.Get(), &sink);

    auto opened = Script(L"DevOpen");
    ASSERT_EQ(opened->result->vt, VT_I4);
    ASSERT_NE(opened->result->lVal, 0);
    UniqueVariant handle = Long(opened->result->lVal);

    UniqueVariant select = Text(L"AKQEAA==");
    EXPECT_EQ(Script(L"DevCall", {&select})->Text(), L"kAA=");

    UniqueVariant command = Text(L"gMoAAA==");
    EXPECT_EQ(Script(L"DevCallAsync", {&command})->hr, S_OK);
    ASSERT_TRUE(PumpUntil([&] { return log.Count() == 1; }));
    EXPECT_EQ(log.Calls()[0].text, L"gMoAAA==");

    const CertificateVector& certificate = CertificateVectors().front();
    ASSERT_TRUE(certificate.validity && certificate.serial);
    UniqueVariant text = Text(Wide(certificate.text).c_str());
    EXPECT_EQ(Script(L"GetX509ValidDate", {&text})->Text(), Wide(*certificate.validity));
    EXPECT_EQ(Script(L"GetX509Sn", {&text})->Text(), Wide(*certificate.serial));

    UniqueVariant variant = Long(7);
    EXPECT_EQ(Script(L"LoadCA", {&variant, &text})->result->lVal, kCaBadVariant);
    EXPECT_EQ(Script(L"DevClose", {&handle})->hr, S_OK);
    EXPECT_EQ(VeldorinSim_ReceivedCount(reader), 2);
}

TEST_F(PageRoad, CertificateLoadsIntoACaReader) {
    const int reader = Attach("155B 4612 65 ca 2");
    ASSERT_NE(Script(L"DevOpen")->result->lVal, 0);
    const CertificateVector& certificate = CertificateVectors().front();
    UniqueVariant variant = Long(2), text = Text(Wide(certificate.text).c_str());
    auto loaded = Script(L"LoadCA", {&variant, &text});
    ASSERT_EQ(loaded->hr, S_OK);
    EXPECT_EQ(loaded->result->lVal, kCaLoaded);
    EXPECT_EQ(Problems(reader), "");
}

TEST_F(PageRoad, CertificateTextsMatchTheSharedVectors) {
    for (const CertificateVector& vector : CertificateVectors()) {
        UniqueVariant text = Text(Wide(vector.text).c_str());
        auto validity = Script(L"GetX509ValidDate", {&text});
        auto serial = Script(L"GetX509Sn", {&text});
        ASSERT_EQ(validity->hr, S_OK);
        ASSERT_EQ(serial->hr, S_OK);
        if (vector.validity) {
            EXPECT_EQ(validity->Text(), Wide(*vector.validity)) << vector.name;
        } else {
            EXPECT_TRUE(validity->IsNullString()) << vector.name;
        }
        if (vector.serial) {
            EXPECT_EQ(serial->Text(), Wide(*vector.serial)) << vector.name;
        } else {
            EXPECT_TRUE(serial->IsNullString()) << vector.name;
        }
    }
}

}  // namespace
}  // namespace veldorinctl::test
