// Every dispatch member called with every kind of argument a script engine
// or a container can pass, as docs/page-api.md describes the outcome: a
// text argument takes anything that can be made a string, a number argument
// anything that can be made a 32-bit number, everything else is refused
// with the argument named, before the method runs. Argument lists and
// invocation flags of the wrong shape are refused as a whole. Nothing may
// crash, leak a reader handle or an object reference, or grow the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "device/download_ca.h"
#include "resources/dispids.h"
#include "tests/win/ocx_client.h"
#include "tests/win/process_memory.h"
#include "tests/win/simulated_readers.h"

namespace veldorinctl::test {
namespace {

// An object a script hands over: its default value (DISPID_VALUE) is a
// string, or reading it fails. It counts its references for real.
class DefaultValueObject : public IDispatch {
public:
    explicit DefaultValueObject(const wchar_t* value) : value_(value) {}
    virtual ~DefaultValueObject() = default;
    ULONG References() const { return references_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return --references_; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (dispid != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!value_) return E_FAIL;
        if (!result) return E_INVALIDARG;
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(value_);
        return S_OK;
    }

private:
    const wchar_t* value_;  // null: reading the default value fails
    ULONG references_ = 1;  // the test's own
};

// One argument and what each kind of parameter makes of it: S_OK when it
// is taken, else the error Invoke returns.
struct ArgumentCase {
    std::string name;
    VARIANT value;  // owned by the catalogue
    HRESULT asText;
    HRESULT asNumber;
};

constexpr HRESULT kTaken = S_OK;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
constexpr HRESULT kNoObject = DISP_E_BADVARTYPE;  // a null object has no value at all

std::wstring Repeated(size_t length) {
    static const std::wstring kPattern = L"AQIDBAUG";
    std::wstring text(length, L'A');
    for (size_t i = 0; i < length; ++i) text[i] = kPattern[i % kPattern.size()];
    return text;
}

// Every argument of the sweep, and each of them by reference (typed, and
// through a VARIANT), pointing at the same storage.
class ArgumentCatalogue {
public:
    ArgumentCatalogue(IDispatch* textDefault, IDispatch* failingDefault) {
        AddScalars();
        AddStrings();
        AddObjects(textDefault, failingDefault);
        AddArrays();
        AddReferences();
    }
    const std::deque<ArgumentCase>& Cases() const { return cases_; }

private:
    VARIANT& Own(VARTYPE vt) {
        VARIANT& value = *storage_.emplace_back().get();
        value.vt = vt;
        return value;
    }
    void Add(std::string name, const VARIANT& value, HRESULT asText, HRESULT asNumber) {
        cases_.push_back({std::move(name), value, asText, asNumber});
    }

    void AddScalars() {
        Add("EMPTY", Own(VT_EMPTY), kTaken, kTaken);
        Add("NULL", Own(VT_NULL), kMismatch, kMismatch);
        auto number = [&](const char* name, VARTYPE vt, auto set, HRESULT asNumber = kTaken) {
            VARIANT& value = Own(vt);
            set(value);
            Add(name, value, kTaken, asNumber);
        };
        number("I1", VT_I1, [](VARIANT& v) { v.cVal = -2; });
        number("UI1", VT_UI1, [](VARIANT& v) { v.bVal = 200; });
        number("I2", VT_I2, [](VARIANT& v) { v.iVal = -30000; });
        number("UI2", VT_UI2, [](VARIANT& v) { v.uiVal = 60000; });
        number("I4", VT_I4, [](VARIANT& v) { v.lVal = 1; });
        number("UI4", VT_UI4, [](VARIANT& v) { v.ulVal = 7; });
        // The runtime takes this one as -1 rather than overflow: a handle
        // DevClose does not know, a variant LoadCA refuses.
        number("UI4 above I4", VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; });
        number("INT", VT_INT, [](VARIANT& v) { v.intVal = -5; });
        number("UINT", VT_UINT, [](VARIANT& v) { v.uintVal = 5; });
        number("I8", VT_I8, [](VARIANT& v) { v.llVal = -3; });
        number(
            "I8 beyond I4", VT_I8, [](VARIANT& v) { v.llVal = 1LL << 40; }, kOverflow);
        number("UI8", VT_UI8, [](VARIANT& v) { v.ullVal = 9; });
        number("R4", VT_R4, [](VARIANT& v) { v.fltVal = 1.5f; });
        number("R8", VT_R8, [](VARIANT& v) { v.dblVal = -2.25; });
        number(
            "R8 beyond I4", VT_R8, [](VARIANT& v) { v.dblVal = 1e20; }, kOverflow);
        number("CY", VT_CY, [](VARIANT& v) { v.cyVal.int64 = 12345; });
        number("DATE", VT_DATE, [](VARIANT& v) { v.date = 46000.5; });
        number("BOOL", VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; });
        number("DECIMAL", VT_DECIMAL, [](VARIANT& v) {
            v.decVal.Lo64 = 42;
            v.vt = VT_DECIMAL;  // the DECIMAL overlays vt: set it again
        });
        VARIANT& missing = Own(VT_ERROR);
        missing.scode = DISP_E_PARAMNOTFOUND;  // what VBScript passes for an omitted argument
        Add("ERROR", missing, kMismatch, kMismatch);
    }

    void String(std::string name, const std::wstring& text, HRESULT asNumber = kMismatch) {
        VARIANT& value = Own(VT_BSTR);
        value.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        Add(std::move(name), value, kTaken, asNumber);
    }

    void AddStrings() {
        Add("BSTR null", Own(VT_BSTR), kTaken, kMismatch);
        String("BSTR empty", L"");
        String("BSTR number", L"2", kTaken);
        for (size_t length : {1u, 4095u, 4096u, 4097u, 65536u, 16u << 20}) {
            String("BSTR of " + std::to_string(length), Repeated(length));
        }
        String("BSTR with NULs", std::wstring(L"AQ\0\0ID", 6));
        String("BSTR with a lone high surrogate", L"AQ\xD800ID");
        String("BSTR with a lone low surrogate",
               L"\xDC00"
               L"AQID");
        String("BSTR non-ASCII", L"AQID \x00E9\x20AC\x65E5\x672C \xD83D\xDE00");
    }

    void AddObjects(IDispatch* textDefault, IDispatch* failingDefault) {
        Add("DISPATCH null", Own(VT_DISPATCH), kNoObject, kNoObject);
        VARIANT& text = Own(VT_DISPATCH);
        text.pdispVal = textDefault;
        textDefault->AddRef();
        Add("DISPATCH with a text default", text, kTaken, kTaken);  // its default is "2"
        VARIANT& failing = Own(VT_DISPATCH);
        failing.pdispVal = failingDefault;
        failingDefault->AddRef();
        Add("DISPATCH whose default fails", failing, kMismatch, kMismatch);
        VARIANT& unknown = Own(VT_UNKNOWN);
        unknown.punkVal = textDefault;
        textDefault->AddRef();
        Add("UNKNOWN", unknown, kMismatch, kMismatch);
    }

    void AddArrays() {
        VARIANT& bytes = Own(VT_ARRAY | VT_UI1);
        bytes.parray = ::SafeArrayCreateVector(VT_UI1, 0, 3);
        Add("SAFEARRAY of UI1", bytes, kTaken, kMismatch);  // its bytes become the string's
        VARIANT& strings = Own(VT_ARRAY | VT_BSTR);
        strings.parray = ::SafeArrayCreateVector(VT_BSTR, 0, 2);
        Add("SAFEARRAY of BSTR", strings, kMismatch, kMismatch);
    }

    // A reference takes the referenced value's fate. EMPTY and NULL have no
    // typed reference; every value has one through a VARIANT.
    void AddReferences() {
        const size_t values = cases_.size();
        for (size_t i = 0; i < values; ++i) {
            const ArgumentCase base = cases_[i];
            VARIANT& target = *storage_[i].get();
            VARIANT through{};
            through.vt = VT_VARIANT | VT_BYREF;
            through.pvarVal = &target;
            Add(base.name + " through BYREF VARIANT", through, base.asText, base.asNumber);
            if (base.value.vt == VT_EMPTY || base.value.vt == VT_NULL) continue;
            VARIANT typed{};
            typed.vt = static_cast<VARTYPE>(base.value.vt | VT_BYREF);
            typed.byref = &target.bVal;  // every member of the union starts here
            if (base.value.vt == VT_DECIMAL) typed.pdecVal = &target.decVal;
            Add(base.name + " BYREF", typed, base.asText, base.asNumber);
        }
    }

    std::deque<UniqueVariant> storage_;  // a deque: references stay valid as it grows
    std::deque<ArgumentCase> cases_;
};

enum class Param { Text, Number };
enum class Result { Handle, Nothing, Text, CertificateText, Code };

struct Member {
    const char* name;
    DISPID dispid;
    std::vector<Param> params;
    Result result;
    bool reachesReaderAtOnce;  // a refused call must leave the reader untouched
};

// AboutBox is left out: it opens a modal dialog (OcxDispatch covers it).
const std::vector<Member>& Members() {
    static const std::vector<Member> members = {
        {"DevOpen", DISPID_DEVOPEN, {}, Result::Handle, false},
        {"DevCall", DISPID_DEVCALL, {Param::Text}, Result::Text, true},
        {"LoadCA", DISPID_LOADCA, {Param::Number, Param::Text}, Result::Code, true},
        {"GetX509ValidDate", DISPID_GETX509VALIDDATE, {Param::Text}, Result::CertificateText, false},
        {"GetX509Sn", DISPID_GETX509SN, {Param::Text}, Result::CertificateText, false},
        {"DevClose", DISPID_DEVCLOSE, {Param::Number}, Result::Nothing, false},
        {"DevCallAsync", DISPID_DEVCALLASYNC, {Param::Text}, Result::Nothing, false},
        {"DoClick", DISPID_DOCLICK, {}, Result::Nothing, false},
    };
    return members;
}

// A value each parameter takes, for the positions not being swept.
VARIANT Plain(Param param) {
    VARIANT value{};
    if (param == Param::Number) {
        value.vt = VT_I4;
        value.lVal = 1;
    } else {
        static const BSTR kCommand = ::SysAllocString(L"AQID");
        value.vt = VT_BSTR;
        value.bstrVal = kCommand;
    }
    return value;
}

void ExpectDocumentedResult(const Member& member, const VARIANT& result, const std::string& what) {
    switch (member.result) {
        case Result::Handle:
            ASSERT_EQ(result.vt, VT_I4) << what;
            EXPECT_NE(result.lVal, 0) << what << ": a reader is attached";
            break;
        case Result::Nothing:
            EXPECT_EQ(result.vt, VT_EMPTY) << what;
            break;
        case Result::Text:
            ASSERT_EQ(result.vt, VT_BSTR) << what;
            EXPECT_NE(result.bstrVal, nullptr) << what << ": no answer is an empty string";
            break;
        case Result::CertificateText:
            ASSERT_EQ(result.vt, VT_BSTR) << what;
            EXPECT_EQ(result.bstrVal, nullptr) << what << ": no argument of the sweep is a certificate";
            break;
        case Result::Code: {
            ASSERT_EQ(result.vt, VT_I4) << what;
            const std::array<long, 6> documented = {kCaLoaded,     kCaRefused,       kCaBadVariant,
                                                    kCaSendFailed, kCaReceiveFailed, kCaBadAnswer};
            EXPECT_NE(std::find(documented.begin(), documented.end(), result.lVal), documented.end())
                << what << ": code " << result.lVal;
            break;
        }
    }
}

class OcxMethodSweep : public SimulatedReaders {
protected:
    void SetUp() override {
        SimulatedReaders::SetUp();
        reader = Attach("155B 4612 65 echo");
    }

    void TearDown() override {
        control.Reset();
        // The catalogue holds its own: 2 of the first (as DISPATCH and UNKNOWN), 1 of the other.
        EXPECT_EQ(textDefault.References(), 3u) << "references to the page's objects given back";
        EXPECT_EQ(failingDefault.References(), 2u);
        SimulatedReaders::TearDown();
    }

    HRESULT Invoke(DISPID dispid, WORD flags, std::vector<VARIANT> lastFirst, UniqueVariant& result,
                   UINT* argError = nullptr, std::vector<DISPID> named = {}) {
        DISPPARAMS params{lastFirst.empty() ? nullptr : lastFirst.data(), named.empty() ? nullptr : named.data(),
                          static_cast<UINT>(lastFirst.size()), static_cast<UINT>(named.size())};
        EXCEPINFO exception{};
        return control->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), &exception,
                               argError);
    }

    void Open() {
        UniqueVariant handle;
        ASSERT_EQ(Invoke(DISPID_DEVOPEN, DISPATCH_METHOD, {}, handle), S_OK);
        ASSERT_NE(handle->lVal, 0);
    }

    // Each argument in each parameter of each member, the others plain.
    void SweepArguments() {
        for (const Member& member : Members()) {
            Open();
            for (size_t position = 0; position < member.params.size(); ++position) {
                for (const ArgumentCase& argument : catalogue.Cases()) {
                    SweepOne(member, position, argument);
                }
            }
        }
    }

    void SweepOne(const Member& member, size_t position, const ArgumentCase& argument) {
        const UINT count = static_cast<UINT>(member.params.size());
        std::vector<VARIANT> lastFirst(count);
        for (UINT i = 0; i < count; ++i) lastFirst[count - 1 - i] = Plain(member.params[i]);
        const UINT index = count - 1 - static_cast<UINT>(position);
        lastFirst[index] = argument.value;

        const std::string what =
            std::string(member.name) + " given " + argument.name + " as argument " + std::to_string(position + 1);
        const HRESULT expected = member.params[position] == Param::Text ? argument.asText : argument.asNumber;
        const int receivedBefore = VeldorinSim_ReceivedCount(reader);
        UniqueVariant result;
        UINT argError = ~0u;
        const HRESULT hr = Invoke(member.dispid, DISPATCH_METHOD | DISPATCH_PROPERTYGET, lastFirst, result, &argError);
        if (expected == S_OK) {
            ASSERT_EQ(hr, S_OK) << what;
            ExpectDocumentedResult(member, *result.get(), what);
            return;
        }
        EXPECT_EQ(hr, expected) << what;
        EXPECT_EQ(argError, index) << what << ": the refused argument is named";
        EXPECT_EQ(result->vt, VT_EMPTY) << what;
        if (member.reachesReaderAtOnce) {
            EXPECT_EQ(VeldorinSim_ReceivedCount(reader), receivedBefore) << what << " reached the reader";
        }
    }

    // Argument lists and flags of the wrong shape, with a plain argument list.
    void SweepShapes() {
        for (const Member& member : Members()) {
            const UINT count = static_cast<UINT>(member.params.size());
            std::vector<VARIANT> plain;
            for (UINT i = 0; i < count; ++i) plain.insert(plain.begin(), Plain(member.params[i]));
            UniqueVariant result;
            const std::string what = member.name;

            std::vector<VARIANT> tooMany = plain;
            tooMany.push_back(Plain(Param::Text));
            EXPECT_EQ(Invoke(member.dispid, DISPATCH_METHOD, tooMany, result), DISP_E_BADPARAMCOUNT) << what;
            if (count > 0) {
                std::vector<VARIANT> tooFew(plain.begin() + 1, plain.end());
                EXPECT_EQ(Invoke(member.dispid, DISPATCH_METHOD, tooFew, result), DISP_E_BADPARAMCOUNT) << what;
                EXPECT_EQ(Invoke(member.dispid, DISPATCH_METHOD, plain, result, nullptr, {0}), DISP_E_NONAMEDARGS)
                    << what << " with a named argument";
                EXPECT_EQ(Invoke(member.dispid, DISPATCH_PROPERTYPUT, plain, result, nullptr, {DISPID_PROPERTYPUT}),
                          DISP_E_MEMBERNOTFOUND)
                    << what << " assigned to";
            }
            for (WORD flags : {WORD{0}, WORD{DISPATCH_PROPERTYPUT}, WORD{DISPATCH_PROPERTYPUTREF}}) {
                EXPECT_EQ(Invoke(member.dispid, flags, plain, result), DISP_E_MEMBERNOTFOUND)
                    << what << " with flags " << flags;
            }
            EXPECT_EQ(
                control->Invoke(member.dispid, IID_NULL, 0, DISPATCH_METHOD, nullptr, result.put(), nullptr, nullptr),
                E_INVALIDARG)
                << what << " without DISPPARAMS";

            // A caller that wants no result, or reads it as a property.
            DISPPARAMS params{plain.empty() ? nullptr : plain.data(), nullptr, count, 0};
            EXPECT_EQ(control->Invoke(member.dispid, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                      S_OK)
                << what << " with no result wanted";
            ASSERT_EQ(Invoke(member.dispid, DISPATCH_PROPERTYGET, plain, result), S_OK) << what << " as a property";
            ExpectDocumentedResult(member, *result.get(), what + " as a property");
            if (member.dispid == DISPID_DEVCLOSE) Open();
        }
    }

    void Sweep() {
        SweepArguments();
        SweepShapes();
    }

    Apartment apartment;
    LoadedOcx ocx;
    DefaultValueObject textDefault{L"2"};
    DefaultValueObject failingDefault{nullptr};
    ArgumentCatalogue catalogue{&textDefault, &failingDefault};
    int reader = 0;
    ComPtr<IDispatch> control = CreateControl(ocx);
};

TEST_F(OcxMethodSweep, EveryMemberTakesOrRefusesEveryArgumentAsDocumented) {
    Sweep();
}

TEST_F(OcxMethodSweep, RepeatedSweepsHoldMemoryFlat) {
    Sweep();  // the first settles caches and the heap's high-water mark
    const size_t before = CommittedBytes();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 2; ++i) Sweep();
    const size_t after = CommittedBytes();
    // A leaked copy of one of the big strings would be 16 MiB or more; the
    // heap's own growth over two sweeps has been about 1 MiB.
    EXPECT_LT(after, before + (4u << 20)) << "before " << before << " bytes, after " << after;
}

}  // namespace
}  // namespace veldorinctl::test
