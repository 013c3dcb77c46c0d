// The OCX's exports as COM uses them: class objects for the two classes and
// nothing else, and DllCanUnloadNow following every live object and every
// hold on a factory.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/ocx_client.h"

namespace veldorinctl::test {
namespace {

struct OcxModule : ::testing::Test {
    Apartment apartment;
    LoadedOcx ocx;
};

TEST_F(OcxModule, UnknownClassIsNotAvailableAndClearsThePointer) {
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ocx.GetClassObject(DIID__DVELDORINCTL, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    // A class id that differs from the control's in its last byte only.
    CLSID nearly = CLSID_VELDORINCTL;
    nearly.Data4[7] ^= 1;
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ocx.GetClassObject(nearly, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(OcxModule, ControlAndPropertyPageHaveFactories) {
    for (const CLSID& clsid : {CLSID_VELDORINCTL, CLSID_VELDORINCTLPropPage}) {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(ocx.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())), S_OK);
        ComPtr<IUnknown> object;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())),
                  S_OK);
        EXPECT_EQ(object.Reset(), 0u) << "the last Release frees the object";
    }
    // A factory answers only for its own interfaces.
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ocx.GetClassObject(CLSID_VELDORINCTL, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(OcxModule, UnloadableOnlyWithoutLiveControls) {
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
    ComPtr<IDispatch> first = CreateControl(ocx);
    ComPtr<IDispatch> second = CreateControl(ocx);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(first.Reset(), 0u);
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE) << "one control still lives";
    EXPECT_EQ(second.Reset(), 0u);
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxModule, UnloadableOnlyWithoutHeldFactories) {
    ComPtr<IClassFactory> factory = ocx.ControlFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE) << "a container holds the factory";
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE) << "two locks are held";
    factory = ocx.ControlFactory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE) << "one lock is held";
    factory = ocx.ControlFactory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxModule, PropertyPageCountsAsLiveObject) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(ocx.GetClassObject(CLSID_VELDORINCTLPropPage, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    ComPtr<IUnknown> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(page.GetAddressOf())), S_OK);
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(page.Reset(), 0u);
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
}

TEST_F(OcxModule, FailedCreationLeavesNothingAlive) {
    ComPtr<IClassFactory> factory = ocx.ControlFactory();
    ASSERT_TRUE(factory);
    void* object = reinterpret_cast<void*>(0x1234);
    ComPtr<IUnknown> outer = factory;  // any object will do as a would-be aggregator
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    outer.Reset();
    factory.Reset();
    EXPECT_EQ(ocx.CanUnloadNow(), S_OK) << "the control whose query failed was freed";
}

TEST_F(OcxModule, ControlAnswersItsInterfacesWithOneIdentity) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    ASSERT_TRUE(control);
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(control.As(&identity));
    for (const IID* iid : {&IID_IDispatch, &DIID__DVELDORINCTL, &IID_IConnectionPointContainer, &IID_IProvideClassInfo,
                           &IID_IProvideClassInfo2, &IID_IPersist, &IID_IPersistStreamInit, &IID_IPersistPropertyBag}) {
        ComPtr<IUnknown> part;
        ASSERT_EQ(control->QueryInterface(*iid, reinterpret_cast<void**>(part.GetAddressOf())), S_OK);
        ComPtr<IUnknown> back;
        ASSERT_HRESULT_SUCCEEDED(part.As(&back));
        EXPECT_EQ(back.Get(), identity.Get());
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(control->QueryInterface(DIID__DVELDORINCTLEvents, reinterpret_cast<void**>(none.GetAddressOf())),
              E_NOINTERFACE)
        << "the event interface is the control's source, not something it implements";
    EXPECT_EQ(none, nullptr);

    CLSID clsid{};
    ComPtr<IPersist> persist;
    ASSERT_HRESULT_SUCCEEDED(control.As(&persist));
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VELDORINCTL);
    persist.Reset();
    identity.Reset();
    EXPECT_EQ(control.Reset(), 0u);
}

}  // namespace
}  // namespace veldorinctl::test
