// The control's state as a container keeps it: exactly four values in a
// property bag, the same values through a stream and a storage, another
// version accepted, and unreadable state falling back to a reset control
// that still works (and keeps its reader connection).
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/ocx_client.h"
#include "tests/win/ole_fakes.h"
#include "tests/win/simulated_readers.h"
#include "win32/window_dc.h"

namespace veldorinctl::test {
namespace {

// The control starts 100 by 50 pixels large, kept in HIMETRIC.
SIZEL InitialExtent() {
    const WindowDC screen(nullptr);
    return SIZEL{::MulDiv(100, 2540, ::GetDeviceCaps(screen.get(), LOGPIXELSX)),
                 ::MulDiv(50, 2540, ::GetDeviceCaps(screen.get(), LOGPIXELSY))};
}

SIZEL ExtentOf(IDispatch* control) {
    ComPtr<IOleObject> object;
    SIZEL extent{-1, -1};
    EXPECT_HRESULT_SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&object)));
    if (object) {
        EXPECT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    }
    return extent;
}

void SetExtentOf(IDispatch* control, SIZEL extent) {
    ComPtr<IOleObject> object;
    ASSERT_HRESULT_SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&object)));
    ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
}

// An initialised control answers methods; one that is not refuses them.
bool AnswersMethods(IDispatch* control) {
    return Call(control, IdOf(control, L"GetX509Sn"), {})->hr != E_UNEXPECTED;
}

ComPtr<IStream> NewStream() {
    ComPtr<IStream> stream;
    EXPECT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf()), S_OK);
    return stream;
}

void Rewind(IStream* stream) {
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
}

ComPtr<IStream> StreamOfBytes(const std::vector<unsigned char>& bytes) {
    ComPtr<IStream> stream = NewStream();
    ULONG written = 0;
    EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    Rewind(stream.Get());
    return stream;
}

struct OcxPersistence : ::testing::Test {
    template <class Interface>
    ComPtr<Interface> As(const ComPtr<IDispatch>& control) {
        ComPtr<Interface> persist;
        EXPECT_HRESULT_SUCCEEDED(control.As(&persist));
        return persist;
    }

    Apartment apartment;
    LoadedOcx ocx;
};

TEST_F(OcxPersistence, BagSaveWritesExactlyTheFourValues) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    FakePropertyBag bag;
    ASSERT_EQ(As<IPersistPropertyBag>(control)->Save(&bag, TRUE, TRUE), S_OK);
    EXPECT_EQ(bag.Written(), (std::vector<std::wstring>{L"_Version", L"_ExtentX", L"_ExtentY", L"_StockProps"}));
    EXPECT_EQ(bag.LongValue(L"_Version"), 65536);
    EXPECT_EQ(bag.LongValue(L"_StockProps"), 0);
    EXPECT_EQ(bag.LongValue(L"_ExtentX"), InitialExtent().cx);
    EXPECT_EQ(bag.LongValue(L"_ExtentY"), InitialExtent().cy);
    control.Reset();
    EXPECT_EQ(bag.References(), 1u) << "the control keeps no hold on the bag";
}

TEST_F(OcxPersistence, BagLoadTakesTheExtentAndMissingValuesTakeDefaults) {
    FakePropertyBag bag;
    bag.Put(L"_ExtentX", long{5000});
    bag.Put(L"_ExtentY", L"3000");  // a page's params are text
    ComPtr<IDispatch> control = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistPropertyBag>(control)->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(control.Get()).cx, 5000);
    EXPECT_EQ(ExtentOf(control.Get()).cy, 3000);
    EXPECT_TRUE(AnswersMethods(control.Get()));

    FakePropertyBag saved;
    ASSERT_EQ(As<IPersistPropertyBag>(control)->Save(&saved, TRUE, TRUE), S_OK);
    EXPECT_EQ(saved.LongValue(L"_Version"), 65536) << "a missing version saves as this version";

    FakePropertyBag empty;
    ComPtr<IDispatch> fresh = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistPropertyBag>(fresh)->Load(&empty, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(fresh.Get()).cx, InitialExtent().cx);
    EXPECT_TRUE(AnswersMethods(fresh.Get()));
}

TEST_F(OcxPersistence, AnotherVersionLoadsAndSavesAsThisOne) {
    FakePropertyBag bag;
    bag.Put(L"_Version", long{0x20003});
    bag.Put(L"_ExtentX", long{1234});
    bag.Put(L"_ExtentY", long{567});
    bag.Put(L"_StockProps", long{0});
    ComPtr<IDispatch> control = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistPropertyBag>(control)->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(control.Get()).cx, 1234);
    EXPECT_EQ(ExtentOf(control.Get()).cy, 567);
    FakePropertyBag saved;
    ASSERT_EQ(As<IPersistPropertyBag>(control)->Save(&saved, TRUE, TRUE), S_OK);
    EXPECT_EQ(saved.LongValue(L"_Version"), 65536);
}

TEST_F(OcxPersistence, StreamRoundTripCarriesTheExtent) {
    ComPtr<IDispatch> original = CreateControl(ocx);
    SetExtentOf(original.Get(), SIZEL{4321, 876});
    auto persist = As<IPersistStreamInit>(original);
    EXPECT_EQ(persist->IsDirty(), S_OK) << "a new extent is unsaved state";
    ComPtr<IStream> stream = NewStream();
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    ULARGE_INTEGER written{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &written), S_OK);
    ULARGE_INTEGER most{};
    ASSERT_EQ(persist->GetSizeMax(&most), S_OK);
    EXPECT_EQ(written.QuadPart, 16u);
    EXPECT_GE(most.QuadPart, written.QuadPart);

    Rewind(stream.Get());
    ComPtr<IDispatch> copy = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistStreamInit>(copy)->Load(stream.Get()), S_OK);
    EXPECT_EQ(ExtentOf(copy.Get()).cx, 4321);
    EXPECT_EQ(ExtentOf(copy.Get()).cy, 876);
    EXPECT_EQ(As<IPersistStreamInit>(copy)->IsDirty(), S_FALSE);
    EXPECT_TRUE(AnswersMethods(copy.Get()));
}

TEST_F(OcxPersistence, StorageRoundTripCarriesTheExtent) {
    ComPtr<ILockBytes> bytes;
    ASSERT_EQ(::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.GetAddressOf()), S_OK);
    ComPtr<IStorage> storage;
    ASSERT_EQ(::StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                             storage.GetAddressOf()),
              S_OK);
    ComPtr<IDispatch> original = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistStorage>(original)->InitNew(storage.Get()), S_OK);
    SetExtentOf(original.Get(), SIZEL{777, 888});
    ASSERT_EQ(As<IPersistStorage>(original)->Save(storage.Get(), TRUE), S_OK);
    ASSERT_EQ(As<IPersistStorage>(original)->SaveCompleted(nullptr), S_OK);

    ComPtr<IDispatch> copy = CreateControl(ocx, false);
    ASSERT_EQ(As<IPersistStorage>(copy)->Load(storage.Get()), S_OK);
    EXPECT_EQ(ExtentOf(copy.Get()).cx, 777);
    EXPECT_EQ(ExtentOf(copy.Get()).cy, 888);
}

// Each: unreadable state. The load reports E_FAIL and the control works as
// new, with the initial extent.
TEST_F(OcxPersistence, UnreadableStateResetsAnInitialisedControl) {
    std::vector<std::pair<const char*, std::function<HRESULT(IDispatch*)>>> loads;
    loads.emplace_back("stream cut short", [&](IDispatch* control) {
        ComPtr<IStream> stream = StreamOfBytes({0, 0, 1, 0, 0x10, 0x27});
        ComPtr<IPersistStreamInit> persist;
        control->QueryInterface(IID_PPV_ARGS(&persist));
        return persist->Load(stream.Get());
    });
    loads.emplace_back("empty stream", [&](IDispatch* control) {
        ComPtr<IStream> stream = NewStream();
        ComPtr<IPersistStreamInit> persist;
        control->QueryInterface(IID_PPV_ARGS(&persist));
        return persist->Load(stream.Get());
    });
    loads.emplace_back("stock properties we do not have", [&](IDispatch* control) {
        ComPtr<IStream> stream = StreamOfBytes({0, 0, 1, 0, 10, 0, 0, 0, 10, 0, 0, 0, 1, 0, 0, 0});
        ComPtr<IPersistStreamInit> persist;
        control->QueryInterface(IID_PPV_ARGS(&persist));
        return persist->Load(stream.Get());
    });
    loads.emplace_back("extent that is not a number", [&](IDispatch* control) {
        FakePropertyBag bag;
        bag.Put(L"_ExtentX", L"wide");
        ComPtr<IPersistPropertyBag> persist;
        control->QueryInterface(IID_PPV_ARGS(&persist));
        return persist->Load(&bag, nullptr);
    });
    loads.emplace_back("negative extent", [&](IDispatch* control) {
        FakePropertyBag bag;
        bag.Put(L"_ExtentX", long{-5});
        ComPtr<IPersistPropertyBag> persist;
        control->QueryInterface(IID_PPV_ARGS(&persist));
        return persist->Load(&bag, nullptr);
    });
    for (const auto& [what, load] : loads) {
        SCOPED_TRACE(what);
        ComPtr<IDispatch> control = CreateControl(ocx, false);
        EXPECT_EQ(load(control.Get()), E_FAIL);
        EXPECT_TRUE(AnswersMethods(control.Get())) << "initialised all the same";
        EXPECT_EQ(ExtentOf(control.Get()).cx, InitialExtent().cx);
        EXPECT_EQ(ExtentOf(control.Get()).cy, InitialExtent().cy);
    }
}

TEST_F(OcxPersistence, FailedReloadResetsARunningControlToItsDefaults) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    SetExtentOf(control.Get(), SIZEL{9999, 9999});
    ComPtr<IStream> stream = StreamOfBytes({1, 2, 3});
    EXPECT_EQ(As<IPersistStreamInit>(control)->Load(stream.Get()), E_FAIL);
    EXPECT_EQ(ExtentOf(control.Get()).cx, InitialExtent().cx);
}

struct OcxReset : SimulatedReaders {
    Apartment apartment;
    LoadedOcx ocx;
};

TEST_F(OcxReset, ResetLeavesAnOpenConnectionOpen) {
    Attach("6A8A 0801 33 echo");
    ComPtr<IDispatch> control = CreateControl(ocx);
    auto opened = Call(control.Get(), IdOf(control.Get(), L"DevOpen"));
    ASSERT_EQ(opened->result->vt, VT_I4);
    ASSERT_NE(opened->result->lVal, 0);

    ComPtr<IPersistStreamInit> persist;
    ASSERT_HRESULT_SUCCEEDED(control.As(&persist));
    ComPtr<IStream> stream = StreamOfBytes({7});
    ASSERT_EQ(persist->Load(stream.Get()), E_FAIL) << "the failed load resets the control";

    UniqueVariant command = Text(L"AKQEAA==");
    auto answer = Call(control.Get(), IdOf(control.Get(), L"DevCall"), {&command});
    EXPECT_EQ(answer->hr, S_OK);
    EXPECT_EQ(answer->Text(), L"AKQEAA==") << "the reader still answers on the same connection";

    UniqueVariant handle = Long(opened->result->lVal);
    EXPECT_EQ(Call(control.Get(), IdOf(control.Get(), L"DevClose"), {&handle})->hr, S_OK);
}

}  // namespace
}  // namespace veldorinctl::test
